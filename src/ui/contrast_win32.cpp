#include "ui/contrast_win32.h"

#include <windows.h>

namespace zovrel::ui {

SystemColours CurrentSystemColours() {
    return {::GetSysColor(COLOR_WINDOW),    ::GetSysColor(COLOR_WINDOWTEXT),
            ::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_HIGHLIGHTTEXT),
            ::GetSysColor(COLOR_BTNFACE),   ::GetSysColor(COLOR_BTNTEXT)};
}

}  // namespace zovrel::ui
