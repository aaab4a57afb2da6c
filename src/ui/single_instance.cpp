#include "ui/single_instance.h"

namespace zovrel::ui {

namespace {
constexpr std::wstring_view MAIN_TITLE = L"zovrel";
constexpr std::wstring_view PAGE_TITLE_PREFIX = L"zovrel - ";
}  // namespace

bool IsRunningInstanceTitle(std::wstring_view title) {
    return title == MAIN_TITLE || title.starts_with(PAGE_TITLE_PREFIX);
}

bool IsRunningInstanceWindow(bool otherProcess, bool visible, std::wstring_view title) {
    return otherProcess && visible && IsRunningInstanceTitle(title);
}

}  // namespace zovrel::ui
