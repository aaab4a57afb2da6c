#include "ui/window_placement.h"

#include <algorithm>

#include "base/text.h"

namespace zovrel::ui {

namespace {

constexpr int MAX_DIGITS = 6;
constexpr int VISIBLE_CORNER = 40;

int Unscale(int value, int dpi) {
    // The inverse of ScaleForDpi, rounded to the nearest pixel, symmetric around zero.
    const long long scaled = static_cast<long long>(value) * DEFAULT_DPI;
    const long long half = dpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / dpi : -((-scaled + half) / dpi));
}

}  // namespace

std::optional<int> ParseWindowNumber(std::wstring_view text) {
    const std::wstring trimmed = TrimText(text);
    std::wstring_view digits = trimmed;
    bool negative = false;
    if (!digits.empty() && (digits[0] == L'-' || digits[0] == L'+')) {
        negative = digits[0] == L'-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > MAX_DIGITS) {
        return std::nullopt;
    }
    int value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - L'0');
    }
    return negative ? -value : value;
}

std::optional<LayoutRect> RestoredWindowRect(const WindowPlacementTexts& saved, int dpi,
                                             const std::vector<LayoutRect>& workAreas,
                                             ClientSize minimum) {
    if (!saved.left || !saved.top || !saved.width || !saved.height || dpi <= 0) {
        return std::nullopt;
    }
    const std::optional<int> left = ParseWindowNumber(*saved.left);
    const std::optional<int> top = ParseWindowNumber(*saved.top);
    const std::optional<int> width = ParseWindowNumber(*saved.width);
    const std::optional<int> height = ParseWindowNumber(*saved.height);
    if (!left || !top || !width || !height || *width <= 0 || *height <= 0) {
        return std::nullopt;
    }
    LayoutRect window{ScaleForDpi(*left, dpi), ScaleForDpi(*top, dpi), ScaleForDpi(*width, dpi),
                      ScaleForDpi(*height, dpi)};
    window.w = std::max(window.w, minimum.width);
    window.h = std::max(window.h, minimum.height);
    const int corner = ScaleForDpi(VISIBLE_CORNER, dpi);
    const bool onScreen = std::any_of(workAreas.begin(), workAreas.end(), [&](const LayoutRect& a) {
        const int w = std::min(window.Right(), a.Right()) - std::max(window.x, a.x);
        const int h = std::min(window.Bottom(), a.Bottom()) - std::max(window.y, a.y);
        return w >= corner && h >= corner;
    });
    if (!onScreen) {
        return std::nullopt;
    }
    return window;
}

LayoutRect WindowRectToSave(const LayoutRect& window, int dpi) {
    if (dpi <= 0) {
        return window;
    }
    return {Unscale(window.x, dpi), Unscale(window.y, dpi), Unscale(window.w, dpi),
            Unscale(window.h, dpi)};
}

}  // namespace zovrel::ui
