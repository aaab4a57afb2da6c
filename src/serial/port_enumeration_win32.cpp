#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win32_handle.h"
#include "serial/port_enumeration.h"

namespace zovrel {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}: the "Ports (COM & LPT)" device class.
const GUID PORTS_CLASS = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// DEVPKEY_Device_BusReportedDeviceDesc, spelled out so no GUID-instantiating header is needed.
const DEVPROPKEY BUS_REPORTED_DEVICE_DESC = {
    {0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}}, 4};

// Text from a registry or property buffer: stops at the first zero, trimmed.
std::wstring BufferText(const wchar_t* buffer, size_t bytes) {
    const size_t count = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < count && buffer[length] != L'\0')
        ++length;
    return TrimText(std::wstring_view(buffer, length));
}

std::wstring ToUpperAscii(std::wstring text) {
    for (auto& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

constexpr wchar_t SERIAL_COMM_KEY[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The system's serial device table, or an invalid key when it cannot be opened. KEY_READ
// includes the right to watch it for changes.
UniqueRegKey OpenSerialComm() {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SERIAL_COMM_KEY, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(opened);
}

// Calls `visit` with every non-empty port name of the table, in registry order. Gives the
// result that ended the walk: ERROR_NO_MORE_ITEMS when it read the whole table.
LONG WalkSerialComm(HKEY key, const std::function<void(const std::wstring&)>& visit) {
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[128 + 1] = {};
        DWORD type = 0;
        DWORD dataBytes = 256;
        const LONG result = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        // A value too long for the buffers is skipped, not taken as the end of the table:
        // stopping there would hide every port listed after it.
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            return result;
        if (type != REG_SZ)
            continue;
        const std::wstring name = BufferText(data, dataBytes);
        if (!name.empty())
            visit(name);
    }
}

bool ListsName(const std::vector<std::wstring>& names, std::wstring_view name) {
    const std::wstring wanted = TrimText(name);
    if (wanted.empty())
        return false;
    for (const auto& listed : names)
        if (EqualsIgnoreCase(listed, wanted))
            return true;
    return false;
}

// Keeps the table's names and walks it again only after the registry has signalled a change.
// The signal also comes when the thread that asked for it ends (the reader is restarted on
// every connect), which costs one walk and never a missed change.
class WatchedPresence final : public PortPresence {
  public:
    bool IsPortPresent(std::wstring_view name) override {
        std::lock_guard lock(lock_);
        if (!watching_ || ::WaitForSingleObject(changed_.Get(), 0) != WAIT_TIMEOUT)
            Walk();
        return ListsName(names_, name);
    }

  private:
    void Walk() {
        watching_ = false;
        names_.clear();
        if (!key_.IsValid())
            key_ = OpenSerialComm();
        if (!key_.IsValid() || !changed_.IsValid())
            return;
        ::ResetEvent(changed_.Get());
        // Asked before the walk, so a change made during it is seen by the next call.
        const bool watched =
            ::RegNotifyChangeKeyValue(key_.Get(), FALSE,
                                      REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                      changed_.Get(), TRUE) == ERROR_SUCCESS;
        if (WalkSerialComm(key_.Get(), [&](const std::wstring& n) { names_.push_back(n); }) !=
            ERROR_NO_MORE_ITEMS) {
            key_.Reset();  // deleted or unreadable: opened afresh next time
            return;
        }
        watching_ = watched;
    }

    std::mutex lock_;  // innermost: nothing else is taken while it is held
    UniqueHandle changed_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueRegKey key_;
    std::vector<std::wstring> names_;
    bool watching_ = false;
};

std::wstring RegistryPropertyText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512 + 1] = {};
    DWORD type = 0;
    DWORD needed = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                             reinterpret_cast<BYTE*>(buffer), 1024, &needed))
        return {};
    if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ)
        return {};
    return BufferText(buffer, needed < 1024 ? needed : 1024);
}

std::wstring BusReportedText(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t buffer[512 + 1] = {};
    DEVPROPTYPE type = 0;
    DWORD needed = 0;
    if (!::SetupDiGetDevicePropertyW(set, &device, &BUS_REPORTED_DEVICE_DESC, &type,
                                     reinterpret_cast<BYTE*>(buffer), 1024, &needed, 0))
        return {};
    if (type != DEVPROP_TYPE_STRING)
        return {};
    return BufferText(buffer, needed < 1024 ? needed : 1024);
}

// Upper-case port name to the device manager's description of the device behind it.
std::map<std::wstring, std::wstring> BuildFriendlyNameMap() {
    std::map<std::wstring, std::wstring> map;
    const UniqueDeviceInfoSet set(
        ::SetupDiGetClassDevsW(&PORTS_CLASS, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.IsValid())
        return map;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!::SetupDiEnumDeviceInfo(set.Get(), index, &device))
            break;
        // Gives INVALID_HANDLE_VALUE, not null, when the device has no such key.
        const UniqueRegKey key(
            ::SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        if (!key.IsValid())
            continue;
        wchar_t portName[64 + 1] = {};
        DWORD type = 0;
        DWORD bytes = 128;
        if (::RegQueryValueExW(key.Get(), L"PortName", nullptr, &type,
                               reinterpret_cast<BYTE*>(portName), &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            continue;
        const std::wstring name = ToUpperAscii(BufferText(portName, bytes));
        if (name.empty())
            continue;
        std::wstring description = BusReportedText(set.Get(), device);
        if (description.empty())
            description = RegistryPropertyText(set.Get(), device, SPDRP_FRIENDLYNAME);
        if (description.empty())
            description = RegistryPropertyText(set.Get(), device, SPDRP_DEVICEDESC);
        if (!description.empty())
            map[name] = description;
    }
    return map;
}

}  // namespace

std::vector<PortInfo> EnumeratePorts() {
    std::vector<PortInfo> ports;
    std::vector<std::wstring> names;
    const UniqueRegKey key = OpenSerialComm();
    if (!key.IsValid())
        return ports;
    WalkSerialComm(key.Get(), [&](const std::wstring& name) { names.push_back(name); });
    const auto friendly = BuildFriendlyNameMap();
    for (const auto& name : names) {
        const auto found = friendly.find(ToUpperAscii(name));
        const std::wstring description = found != friendly.end() ? found->second : std::wstring();
        ports.push_back({name, MakeDisplayText(name, description), description});
    }
    SortPorts(ports);
    return ports;
}

bool IsPortPresent(std::wstring_view name) {
    std::vector<std::wstring> names;
    const UniqueRegKey key = OpenSerialComm();
    if (key.IsValid())
        WalkSerialComm(key.Get(), [&](const std::wstring& listed) { names.push_back(listed); });
    return ListsName(names, name);
}

std::unique_ptr<PortPresence> CreateSystemPortPresence() {
    return std::make_unique<WatchedPresence>();
}

}  // namespace zovrel
