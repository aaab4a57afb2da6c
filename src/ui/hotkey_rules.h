#pragma once

// The two global hotkeys, decided without a window: their texts in the settings file
// ("Ctrl+Alt+V"), what the standard hotkey control holds, and which pair "保存" refuses.

#include <optional>
#include <string>
#include <string_view>

namespace zovrel::ui {

// Modifier bits as RegisterHotKey takes them (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN).
inline constexpr unsigned HOTKEY_ALT = 0x1;
inline constexpr unsigned HOTKEY_CONTROL = 0x2;
inline constexpr unsigned HOTKEY_SHIFT = 0x4;
inline constexpr unsigned HOTKEY_WIN = 0x8;

// A key with its modifiers; key 0 means no hotkey (disabled).
struct Hotkey {
    unsigned modifiers = 0;
    unsigned key = 0;  // virtual-key number
    bool Empty() const { return key == 0; }
    bool operator==(const Hotkey&) const = default;
};

// The hotkeys' ids with RegisterHotKey, their settings keys and defaults.
enum class HotkeyAction { Show = 1, Send = 2 };
inline constexpr wchar_t HOTKEY_SHOW_SETTING[] = L"HotkeyShow";
inline constexpr wchar_t HOTKEY_SEND_SETTING[] = L"HotkeySend";
inline constexpr Hotkey DEFAULT_SHOW_HOTKEY{HOTKEY_CONTROL | HOTKEY_ALT, 'V'};
inline constexpr Hotkey DEFAULT_SEND_HOTKEY{HOTKEY_CONTROL | HOTKEY_ALT, 'S'};

// "Ctrl+Alt+Shift+Win+Key", the modifiers always in that order; empty for no hotkey. Keys
// without a name of their own are written as their number, "0xBA".
std::wstring HotkeyText(const Hotkey& hotkey);
// The text read back: names and modifiers in any letter case and order, blanks around the
// pieces allowed. An empty text is no hotkey; none when the text cannot be read.
std::optional<Hotkey> ParseHotkeyText(std::wstring_view text);
// The hotkey a setting stands for: the default when the key is absent or cannot be read, none
// when it is empty.
Hotkey HotkeyFromSetting(const std::optional<std::wstring>& text, const Hotkey& fallback);

// The hotkey control's value (low byte the key, high byte its HOTKEYF_ flags) and back. The
// control cannot show Win: a hotkey with Win that the user left as it was keeps it.
Hotkey HotkeyFromControl(unsigned value, const Hotkey& shown);
unsigned HotkeyControlValue(const Hotkey& hotkey);

// Why "保存" refuses the pair, or none. A hotkey needs Ctrl, Alt or Win (Shift alone would take
// a character from every program); the two must differ.
std::optional<std::wstring> HotkeyRefusal(const Hotkey& show, const Hotkey& send);

inline constexpr wchar_t HOTKEY_NEEDS_MODIFIER[] = L"快捷键必须包含 Ctrl、Alt 或 Win";
inline constexpr wchar_t HOTKEYS_SAME[] = L"两个快捷键不能相同";

}  // namespace zovrel::ui
