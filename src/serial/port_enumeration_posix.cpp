#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>

#include "base/text.h"
#include "serial/port_enumeration.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in)
        std::getline(in, line);
    return TrimText(line);
}

// Calls `visit` with the /dev path of every tty that sits on real serial hardware: it has a
// bound driver, and a serial-core port reports a known UART type (the kernel registers
// ttyS0..ttyS31 whether or not a UART is fitted).
void ForEachSerialDevice(
    const std::function<void(const std::string& name, const fs::path& sys)>& visit) {
    std::error_code ec;
    fs::directory_iterator it("/sys/class/tty", ec);
    if (ec)
        return;
    for (const auto& entry : it) {
        const fs::path sys = entry.path();
        std::error_code e;
        if (!fs::exists(sys / "device" / "driver", e))
            continue;
        if (fs::exists(sys / "type", e) && ReadFirstLine(sys / "type") == "0")
            continue;
        const std::string name = sys.filename().string();
        if (!fs::exists("/dev/" + name, e))
            continue;
        visit(name, sys);
    }
}

// The USB product text of the device behind a tty, looked up a few levels above it.
std::string UsbProduct(const fs::path& sys) {
    std::error_code ec;
    fs::path dir = fs::canonical(sys / "device", ec);
    if (ec)
        return {};
    for (int level = 0; level < 4 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (fs::exists(dir / "product", ec))
            return ReadFirstLine(dir / "product");
        dir = dir.parent_path();
    }
    return {};
}

// Device path to the stable name udev gives it under /dev/serial/by-id.
std::map<std::string, std::string> ByIdNames() {
    std::map<std::string, std::string> names;
    std::error_code ec;
    fs::directory_iterator it("/dev/serial/by-id", ec);
    if (ec)
        return names;
    for (const auto& entry : it) {
        std::error_code e;
        const fs::path target = fs::canonical(entry.path(), e);
        if (!e)
            names[target.string()] = entry.path().filename().string();
    }
    return names;
}

std::string DevicePath(std::wstring_view name) {
    std::string path = ToUtf8(TrimText(name));
    if (!path.empty() && path[0] != '/')
        path = "/dev/" + path;
    return path;
}

}  // namespace

std::vector<PortInfo> EnumeratePorts() {
    const auto byId = ByIdNames();
    std::vector<PortInfo> ports;
    ForEachSerialDevice([&](const std::string& name, const fs::path& sys) {
        const std::string path = "/dev/" + name;
        std::string description = UsbProduct(sys);
        if (description.empty()) {
            const auto found = byId.find(path);
            if (found != byId.end())
                description = found->second;
        }
        const std::wstring portName = FromUtf8(path);
        const std::wstring text = TrimText(FromUtf8(description));
        ports.push_back({portName, MakeDisplayText(portName, text), text});
    });
    // Directory order is arbitrary; start from name order so the list does not shuffle.
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.portName < b.portName; });
    SortPorts(ports);
    return ports;
}

bool IsPortPresent(std::wstring_view name) {
    const std::string path = DevicePath(name);
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
        return true;
    bool found = false;
    const std::wstring wanted = FromUtf8(path);
    ForEachSerialDevice([&](const std::string& device, const fs::path&) {
        if (!found && EqualsIgnoreCase(FromUtf8("/dev/" + device), wanted))
            found = true;
    });
    return found;
}

namespace {

class StatPresence final : public PortPresence {
  public:
    bool IsPortPresent(std::wstring_view name) override { return zovrel::IsPortPresent(name); }
};

}  // namespace

std::unique_ptr<PortPresence> CreateSystemPortPresence() {
    return std::make_unique<StatPresence>();
}

}  // namespace zovrel
