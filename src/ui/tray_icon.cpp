#include "ui/tray_icon.h"

namespace zovrel::ui {

int ShellVersionFromDll(bool hasVersion, uint32_t major, uint32_t minor, uint32_t build) {
    if (!hasVersion) {
        return 0;
    }
    if (major >= 7 || (major == 6 && minor != 0)) {
        return 4;
    }
    if (major == 6) {
        return build < 6000 ? 2 : 3;
    }
    return major == 5 ? 1 : 0;
}

uint32_t NotifyRecordSize(int shellVersion) {
    switch (shellVersion) {
        case 1:
            return 952;
        case 2:
            return 968;
        case 3:
        case 4:
            return 976;
        default:
            return 168;
    }
}

size_t TooltipLimit(int shellVersion) {
    return NotifyRecordSize(shellVersion) == 168 ? 63 : 127;
}

std::wstring CutTooltip(std::wstring_view tooltip, size_t limit) {
    // Wide text is UTF-16 on Windows, where a pair cut in half would leave a lone surrogate.
    std::wstring cut;
    size_t units = 0;
    for (wchar_t c : tooltip) {
        const uint32_t code = static_cast<uint32_t>(c);
        const size_t size = (sizeof(wchar_t) == 4 && code > 0xFFFF) ? 2 : 1;
        const bool startsPair = sizeof(wchar_t) == 2 && code >= 0xD800 && code <= 0xDBFF;
        if (units + size > limit || (startsPair && units + 2 > limit)) {
            break;
        }
        cut.push_back(c);
        units += size;
    }
    return cut;
}

}  // namespace zovrel::ui
