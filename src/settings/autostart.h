#pragma once

#include <string>

namespace zovrel {

// Starts the running executable at user logon (enable) or stops doing so. Windows: value
// "zovrel" under the per-user Run key. Elsewhere: the XDG autostart entry "zovrel.desktop".
// The command is the executable's path, in double quotes when it contains a blank.
// Disabling when nothing is registered succeeds.
bool SetAutostart(bool enable);
// The same for a given executable path.
bool SetAutostartFor(bool enable, const std::wstring& executablePath);

}  // namespace zovrel
