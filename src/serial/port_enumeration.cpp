#include "serial/port_enumeration.h"

#include <climits>
#include <utility>

#include "base/text.h"

namespace zovrel {
namespace {

std::wstring ToUpperAscii(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return out;
}

// Every non-overlapping "COM", left to right, in one pass.
std::wstring RemoveCom(std::wstring_view text) {
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, 3) == L"COM") {
            i += 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

std::vector<std::wstring> ListPortNames() {
    std::vector<std::wstring> names;
    for (auto& port : EnumeratePorts())
        names.push_back(std::move(port.portName));
    return names;
}

std::wstring MakeDisplayText(std::wstring_view name, std::wstring_view description) {
    if (description.empty())
        return std::wstring(name);
    if (ToUpperAscii(description).find(ToUpperAscii(name)) != std::wstring::npos)
        return std::wstring(description);
    return FormatText(L"%ls (%ls)", std::wstring(description).c_str(), std::wstring(name).c_str());
}

int PortSortKey(std::wstring_view name) {
    // Read like the C library's wide-string-to-integer conversion: blanks, a sign, digits;
    // out-of-range values saturate instead of overflowing.
    const std::wstring rest = RemoveCom(ToUpperAscii(name));
    size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i]))
        ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == L'+' || rest[i] == L'-'))
        negative = rest[i++] == L'-';
    long long value = 0;
    for (; i < rest.size() && rest[i] >= L'0' && rest[i] <= L'9'; ++i) {
        value = value * 10 + (rest[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void SortPorts(std::vector<PortInfo>& ports) {
    if (ports.size() < 2)
        return;
    for (size_t i = 0; i + 1 < ports.size(); ++i)
        for (size_t j = i + 1; j < ports.size(); ++j)
            if (PortSortKey(ports[i].portName) > PortSortKey(ports[j].portName))
                std::swap(ports[i], ports[j]);
}

}  // namespace zovrel
