#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zovrel {

// A serial port present right now.
struct PortInfo {
    std::wstring portName;     // as the system reports it, trimmed ("COM3", "/dev/ttyUSB0")
    std::wstring displayText;  // what the port selector shows
    std::wstring description;  // the device's own description; may be empty
};

// The present ports, sorted by PortSortKey, each with its device description. Reads the system
// every time; never fails (the list is empty when the system table cannot be read).
std::vector<PortInfo> EnumeratePorts();

// The names of EnumeratePorts, same order.
std::vector<std::wstring> ListPortNames();

// True when a port of this name is present, letter case ignored. Reads only the port names,
// never the device descriptions. Natively any existing character device path (a pty, a
// symlink to one) counts as present.
bool IsPortPresent(std::wstring_view name);

// "description (name)", or just the description when it already names the port, or just the
// name when there is no description.
std::wstring MakeDisplayText(std::wstring_view name, std::wstring_view description);

// The number in a port name: COM3 gives 3, COM10 gives 10, a name without a number after its
// "COM" gives 0.
int PortSortKey(std::wstring_view name);

// Orders ports by PortSortKey ascending with the exchange sort the port selector has always
// used; entries with equal keys end in the order that procedure leaves them.
void SortPorts(std::vector<PortInfo>& ports);

// Where a session asks whether its port is present; tests substitute their own.
class PortPresence {
  public:
    virtual ~PortPresence() = default;
    virtual bool IsPortPresent(std::wstring_view name) = 0;
};

// The system's answer, for the serial reader, which asks on every pass. On Windows the device
// table is walked again only after it has changed (the registry signals each change), so a
// quiet pass costs one check instead of a walk; natively it is IsPortPresent. Safe to call from
// any thread.
std::unique_ptr<PortPresence> CreateSystemPortPresence();

}  // namespace zovrel
