#pragma once

// The system colours the High Contrast palettes draw with.

#include "ui/contrast_rules.h"

namespace zovrel::ui {

SystemColours CurrentSystemColours();

}  // namespace zovrel::ui
