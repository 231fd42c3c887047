#pragma once

#include <cstdint>

#include "host/data/client_data_set.h"

namespace host {

// Data sets handed to another module's screen as integers. Only registered
// data sets can be looked up, so a stale or forged number finds nothing
// instead of a wild pointer. The owner forgets its data set before it dies.
std::int64_t HandleOf(TClientDataSet* dataSet);
TClientDataSet* DataSetFromHandle(std::int64_t handle);
void ForgetHandle(TClientDataSet* dataSet);

}  // namespace host
