#include "ui/hotkey_rules.h"

#include <array>
#include <cwchar>

#include "base/text.h"

namespace zovrel::ui {

namespace {

struct KeyName {
    unsigned key;
    const wchar_t* name;
};

constexpr std::array<KeyName, 27> KEY_NAMES = {{
    {0x08, L"Backspace"}, {0x09, L"Tab"},      {0x0D, L"Enter"},       {0x13, L"Pause"},
    {0x1B, L"Esc"},       {0x20, L"Space"},    {0x21, L"PageUp"},      {0x22, L"PageDown"},
    {0x23, L"End"},       {0x24, L"Home"},     {0x25, L"Left"},        {0x26, L"Up"},
    {0x27, L"Right"},     {0x28, L"Down"},     {0x2C, L"PrintScreen"}, {0x2D, L"Insert"},
    {0x2E, L"Delete"},    {0x6A, L"Multiply"}, {0x6B, L"Add"},         {0x6D, L"Subtract"},
    {0x6E, L"Decimal"},   {0x6F, L"Divide"},   {0xBA, L";"},           {0xBB, L"="},
    {0xBC, L","},         {0xBD, L"-"},        {0xBE, L"."},
}};

struct ModifierName {
    unsigned bit;
    const wchar_t* name;
};
constexpr std::array<ModifierName, 4> MODIFIER_NAMES = {{
    {HOTKEY_CONTROL, L"Ctrl"},
    {HOTKEY_ALT, L"Alt"},
    {HOTKEY_SHIFT, L"Shift"},
    {HOTKEY_WIN, L"Win"},
}};

// Shift, Ctrl, Alt (either side) and the Win keys are modifiers, never the key itself.
bool IsModifierKey(unsigned key) {
    return (key >= 0x10 && key <= 0x12) || key == 0x5B || key == 0x5C ||
           (key >= 0xA0 && key <= 0xA5);
}

std::wstring KeyText(unsigned key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
        return std::wstring(1, static_cast<wchar_t>(key));
    }
    if (key >= 0x70 && key <= 0x87) {
        return FormatText(L"F%u", key - 0x70 + 1);
    }
    if (key >= 0x60 && key <= 0x69) {
        return FormatText(L"Num%u", key - 0x60);
    }
    for (const KeyName& named : KEY_NAMES) {
        if (named.key == key) {
            return named.name;
        }
    }
    return FormatText(L"0x%02X", key);
}

std::optional<unsigned> KeyFromText(std::wstring_view text) {
    if (text.size() == 1) {
        const wchar_t c = text[0] >= L'a' && text[0] <= L'z' ? text[0] - L'a' + L'A' : text[0];
        if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
            return static_cast<unsigned>(c);
        }
    }
    for (unsigned key = 0x70; key <= 0x87; ++key) {
        if (EqualsIgnoreCase(text, KeyText(key))) {
            return key;
        }
    }
    for (unsigned key = 0x60; key <= 0x69; ++key) {
        if (EqualsIgnoreCase(text, KeyText(key))) {
            return key;
        }
    }
    for (const KeyName& named : KEY_NAMES) {
        if (EqualsIgnoreCase(text, named.name)) {
            return named.key;
        }
    }
    if (text.size() == 4 && EqualsIgnoreCase(text.substr(0, 2), L"0x")) {
        const std::wstring digits(text.substr(2));
        wchar_t* end = nullptr;
        const unsigned long key = std::wcstoul(digits.c_str(), &end, 16);
        if (end != nullptr && *end == L'\0' && key >= 1 && key <= 0xFE && !IsModifierKey(key)) {
            return static_cast<unsigned>(key);
        }
    }
    return std::nullopt;
}

// The navigation keys beside the main block, and the keypad's divide, are "extended": the
// hotkey control names them apart from the keypad keys with the same number.
bool IsExtendedKey(unsigned key) {
    return (key >= 0x21 && key <= 0x28) || key == 0x2D || key == 0x2E || key == 0x6F;
}

constexpr unsigned CONTROL_SHIFT = 0x01;
constexpr unsigned CONTROL_CONTROL = 0x02;
constexpr unsigned CONTROL_ALT = 0x04;
constexpr unsigned CONTROL_EXT = 0x08;

}  // namespace

std::wstring HotkeyText(const Hotkey& hotkey) {
    if (hotkey.Empty()) {
        return L"";
    }
    std::wstring text;
    for (const ModifierName& modifier : MODIFIER_NAMES) {
        if ((hotkey.modifiers & modifier.bit) != 0) {
            text += modifier.name;
            text += L'+';
        }
    }
    return text + KeyText(hotkey.key);
}

std::optional<Hotkey> ParseHotkeyText(std::wstring_view text) {
    const std::wstring trimmed = TrimText(text);
    if (trimmed.empty()) {
        return Hotkey{};
    }
    Hotkey hotkey;
    size_t start = 0;
    while (start <= trimmed.size()) {
        size_t end = trimmed.find(L'+', start);
        if (end == std::wstring::npos) {
            end = trimmed.size();
        }
        const std::wstring piece = TrimText(std::wstring_view(trimmed).substr(start, end - start));
        const bool last = end == trimmed.size();
        bool isModifier = false;
        for (const ModifierName& modifier : MODIFIER_NAMES) {
            if (EqualsIgnoreCase(piece, modifier.name)) {
                hotkey.modifiers |= modifier.bit;
                isModifier = true;
            }
        }
        if (!last) {
            if (!isModifier) {
                return std::nullopt;
            }
        } else {
            const std::optional<unsigned> key = isModifier ? std::nullopt : KeyFromText(piece);
            if (!key) {
                return std::nullopt;
            }
            hotkey.key = *key;
        }
        start = end + 1;
    }
    return hotkey;
}

Hotkey HotkeyFromSetting(const std::optional<std::wstring>& text, const Hotkey& fallback) {
    if (!text) {
        return fallback;
    }
    return ParseHotkeyText(*text).value_or(fallback);
}

Hotkey HotkeyFromControl(unsigned value, const Hotkey& shown) {
    if (!shown.Empty() && (shown.modifiers & HOTKEY_WIN) != 0 &&
        (value & 0xFFFF) == HotkeyControlValue(shown)) {
        return shown;
    }
    const unsigned key = value & 0xFF;
    const unsigned flags = (value >> 8) & 0xFF;
    if (key == 0) {
        return Hotkey{};
    }
    Hotkey hotkey{0, key};
    if ((flags & CONTROL_CONTROL) != 0) {
        hotkey.modifiers |= HOTKEY_CONTROL;
    }
    if ((flags & CONTROL_ALT) != 0) {
        hotkey.modifiers |= HOTKEY_ALT;
    }
    if ((flags & CONTROL_SHIFT) != 0) {
        hotkey.modifiers |= HOTKEY_SHIFT;
    }
    return hotkey;
}

unsigned HotkeyControlValue(const Hotkey& hotkey) {
    if (hotkey.Empty()) {
        return 0;
    }
    unsigned flags = IsExtendedKey(hotkey.key) ? CONTROL_EXT : 0;
    if ((hotkey.modifiers & HOTKEY_CONTROL) != 0) {
        flags |= CONTROL_CONTROL;
    }
    if ((hotkey.modifiers & HOTKEY_ALT) != 0) {
        flags |= CONTROL_ALT;
    }
    if ((hotkey.modifiers & HOTKEY_SHIFT) != 0) {
        flags |= CONTROL_SHIFT;
    }
    return (flags << 8) | (hotkey.key & 0xFF);
}

std::optional<std::wstring> HotkeyRefusal(const Hotkey& show, const Hotkey& send) {
    constexpr unsigned kNeeded = HOTKEY_CONTROL | HOTKEY_ALT | HOTKEY_WIN;
    for (const Hotkey& hotkey : {show, send}) {
        if (!hotkey.Empty() && (hotkey.modifiers & kNeeded) == 0) {
            return std::wstring(HOTKEY_NEEDS_MODIFIER);
        }
    }
    if (!show.Empty() && show == send) {
        return std::wstring(HOTKEYS_SAME);
    }
    return std::nullopt;
}

}  // namespace zovrel::ui
