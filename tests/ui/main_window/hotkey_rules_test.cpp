#include "ui/hotkey_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zovrel::ui {
namespace {

constexpr unsigned CTRL = HOTKEY_CONTROL, ALT = HOTKEY_ALT, SHIFT = HOTKEY_SHIFT, WIN = HOTKEY_WIN;

TEST(HotkeyRules, SettingTextReadsBackAndUnreadableFallsBackToTheDefault) {
    // Written text, and what reads back from it (also as a person may type it).
    const std::pair<Hotkey, const wchar_t*> written[] = {
        {{WIN | SHIFT | ALT | CTRL, '7'}, L"Ctrl+Alt+Shift+Win+7"},
        {{CTRL, 0x70 + 11}, L"Ctrl+F12"},
        {{CTRL | ALT, 0xBE}, L"Ctrl+Alt+."},
        {{CTRL | ALT, 0xDE}, L"Ctrl+Alt+0xDE"},  // no name of its own
        {{}, L""},
    };
    for (const auto& [hotkey, text] : written) {
        EXPECT_EQ(HotkeyText(hotkey), text);
        EXPECT_EQ(ParseHotkeyText(text), hotkey) << text;
    }
    EXPECT_EQ(ParseHotkeyText(L"  alt + ctrl +v "), (Hotkey{CTRL | ALT, 'V'}));
    EXPECT_EQ(ParseHotkeyText(L"CTRL+ALT+pageup"), (Hotkey{CTRL | ALT, 0x21}));

    const Hotkey fallback{CTRL | ALT, 'S'};
    for (const wchar_t* unreadable :
         {L"Ctrl+Alt", L"Ctrl+Alt+VV", L"Ctrl+Alt+V+B", L"Hyper+V", L"Ctrl++", L"Ctrl+0x11",
          L"Ctrl+0x00", L"Ctrl+0xFF", L"Ctrl+0x1G", L"V+Ctrl"}) {
        EXPECT_EQ(ParseHotkeyText(unreadable), std::nullopt) << unreadable;
        EXPECT_EQ(HotkeyFromSetting(std::wstring(unreadable), fallback), fallback) << unreadable;
    }
    EXPECT_EQ(HotkeyFromSetting(std::nullopt, fallback), fallback);  // absent
    EXPECT_EQ(HotkeyFromSetting(L"  ", fallback), Hotkey{});         // empty: disabled
    EXPECT_EQ(HotkeyFromSetting(L"Shift+F1", fallback), (Hotkey{SHIFT, 0x70}));
}

TEST(HotkeyRules, ControlValueKeepsWinWhenTheUserLeftItAlone) {
    // Low byte the key, high byte SHIFT 1, CONTROL 2, ALT 4, EXT 8 (the navigation keys).
    EXPECT_EQ(HotkeyControlValue({CTRL | ALT, 'V'}), 0x0656u);
    EXPECT_EQ(HotkeyControlValue({SHIFT, 0x25}), 0x0925u);
    EXPECT_EQ(HotkeyFromControl(0x0925, {}), (Hotkey{SHIFT, 0x25}));
    EXPECT_EQ(HotkeyFromControl(0x0600, {}), Hotkey{});  // modifiers alone: cleared

    const Hotkey withWin{CTRL | WIN, 'K'};
    EXPECT_EQ(HotkeyFromControl(HotkeyControlValue(withWin), withWin), withWin);
    EXPECT_EQ(HotkeyFromControl(0x024C, withWin), (Hotkey{CTRL, 'L'}));  // changed: as shown
}

TEST(HotkeyRules, SaveRefusesAKeyWithoutCtrlAltOrWinAndTheSameKeyTwice) {
    // The two hotkeys and the refusal.
    const std::tuple<Hotkey, Hotkey, std::optional<std::wstring>> cases[] = {
        {{WIN, 'V'}, {ALT, 0x70}, std::nullopt},
        {{}, {}, std::nullopt},  // both disabled
        {{SHIFT, 'V'}, {CTRL, 'S'}, HOTKEY_NEEDS_MODIFIER},
        {{CTRL, 'V'}, {SHIFT, 0x70}, HOTKEY_NEEDS_MODIFIER},
        {{CTRL | ALT, 'V'}, {CTRL | ALT, 'V'}, HOTKEYS_SAME},
        {{CTRL | ALT, 'V'}, {CTRL | ALT | SHIFT, 'V'}, std::nullopt},
    };
    for (const auto& [show, send, refusal] : cases) {
        EXPECT_EQ(HotkeyRefusal(show, send), refusal)
            << HotkeyText(show) << " / " << HotkeyText(send);
    }
}

}  // namespace
}  // namespace zovrel::ui
