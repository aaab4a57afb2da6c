#include "base/text.h"
#include "protocol/diagnostics.h"

namespace zovrel {

// The native build stands in for Windows' ANSI code page with UTF-8, the usual narrow encoding
// of a Linux desktop.
std::wstring DecodeNarrowText(const uint8_t* data, size_t count) {
    return FromUtf8(data, static_cast<std::ptrdiff_t>(count));
}

}  // namespace zovrel
