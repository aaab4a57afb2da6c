#include "settings/settings_file.h"

#include "base/text.h"
#include "settings/data_root.h"
#include "settings/profile.h"

namespace zovrel {
namespace {

constexpr wchar_t SETTINGS_SECTION[] = L"Settings";
constexpr size_t MAX_PORT_CHARS = 511;

bool WriteSetting(const wchar_t* key, const std::wstring& value) {
    return WriteProfileString(GetSettingsFilePath(), SETTINGS_SECTION, key, value);
}

bool ReadFlag(const wchar_t* key) {
    return ReadProfileInt(GetSettingsFilePath(), SETTINGS_SECTION, key, 0) != 0;
}

bool WriteFlag(const wchar_t* key, bool on) {
    return WriteSetting(key, FormatText(L"%d", on ? 1 : 0));
}

}  // namespace

std::wstring ReadUartComPort() {
    return TrimText(ReadProfileString(GetSettingsFilePath(), SETTINGS_SECTION, L"UartComPort", L"",
                                      MAX_PORT_CHARS));
}

bool WriteUartComPort(const std::wstring& port) {
    return WriteSetting(L"UartComPort", TrimText(port));
}

bool ReadUartDebugLog() {
    return ReadFlag(L"UartDebugLog");
}
bool WriteUartDebugLog(bool on) {
    return WriteFlag(L"UartDebugLog", on);
}

bool ReadAutostart() {
    return ReadFlag(L"Autostart");
}
bool WriteAutostart(bool on) {
    return WriteFlag(L"Autostart", on);
}

std::optional<std::wstring> ReadSettingText(const wchar_t* key) {
    ProfileDocument doc;
    if (!LoadProfile(GetSettingsFilePath(), doc)) {
        return std::nullopt;
    }
    return doc.Get(SETTINGS_SECTION, key);
}

bool WriteSettingText(const wchar_t* key, const std::wstring& value) {
    return WriteSetting(key, value);
}

bool ReadNotifyOnReceive() {
    return ReadProfileInt(GetSettingsFilePath(), SETTINGS_SECTION, L"NotifyOnReceive", 1) != 0;
}
bool WriteNotifyOnReceive(bool on) {
    return WriteFlag(L"NotifyOnReceive", on);
}

namespace {
constexpr wchar_t WINDOW_KEYS[4][13] = {L"WindowLeft", L"WindowTop", L"WindowWidth",
                                        L"WindowHeight"};
}  // namespace

WindowPlacementTexts ReadWindowPlacement() {
    ProfileDocument doc;
    WindowPlacementTexts texts;
    if (!LoadProfile(GetSettingsFilePath(), doc)) {
        return texts;
    }
    texts.left = doc.Get(SETTINGS_SECTION, WINDOW_KEYS[0]);
    texts.top = doc.Get(SETTINGS_SECTION, WINDOW_KEYS[1]);
    texts.width = doc.Get(SETTINGS_SECTION, WINDOW_KEYS[2]);
    texts.height = doc.Get(SETTINGS_SECTION, WINDOW_KEYS[3]);
    return texts;
}

bool WriteWindowPlacement(int left, int top, int width, int height) {
    const std::wstring path = GetSettingsFilePath();
    ProfileDocument doc;
    if (!LoadProfile(path, doc)) {
        return false;
    }
    const int values[4] = {left, top, width, height};
    for (int i = 0; i < 4; ++i) {
        doc.Set(SETTINGS_SECTION, WINDOW_KEYS[i], FormatText(L"%d", values[i]));
    }
    return SaveProfile(path, doc);
}

}  // namespace zovrel
