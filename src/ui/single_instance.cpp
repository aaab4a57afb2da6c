#include "ui/single_instance.h"

namespace zovrel::ui {

bool IsRunningInstanceWindow(bool otherProcess, std::wstring_view className) {
    return otherProcess && className == MAIN_WINDOW_CLASS;
}

}  // namespace zovrel::ui
