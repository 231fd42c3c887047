#pragma once

#include <Qt>

#include "host/ui/types.h"

namespace desktop {

// A Qt key press as the form model knows keys: a virtual-key code and a
// shift state. Key 0 means the model has no code for it.
struct ModelKey {
    host::Word key = 0;
    host::TShiftState shift = 0;
};

ModelKey toModelKey(int qtKey, Qt::KeyboardModifiers modifiers);

// Menu text with the shortcut shown right-aligned, as QMenu lays out "\t".
QString menuText(const std::string& caption, const std::string& shortCut);

}  // namespace desktop
