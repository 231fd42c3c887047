#pragma once

#include "host/services/module_entries.h"
