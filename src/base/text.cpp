#include "base/text.h"

#include <climits>
#include <cstdarg>
#include <cwchar>
#include <vector>

namespace zovrel {
namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendWide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}
bool OutsideUnicode(char32_t c) {
    return c > 0x10FFFF;
}
bool OutsideBmp(char32_t c) {
    return c >= 0x10000;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        // A lone surrogate or a value outside Unicode cannot be encoded.
        if (IsSurrogate(c) || OutsideUnicode(c))
            c = REPLACEMENT_CHARACTER;
        AppendUtf8(out, c);
    }
    return out;
}

// Decodes with the "maximal subpart" rule: each ill-formed subsequence becomes one U+FFFD.
std::wstring FromUtf8(const void* data, std::ptrdiff_t count) {
    std::wstring out;
    if (data == nullptr || count < 1)
        return out;
    const auto* s = static_cast<const uint8_t*>(data);
    const size_t n = static_cast<size_t>(count);
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        const uint8_t b = s[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        uint8_t lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            if (b == 0xF4)
                hi = 0x8F;
        } else {
            AppendWide(out, REPLACEMENT_CHARACTER);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const uint8_t c = s[j];
            const uint8_t low = (k == 0) ? lo : 0x80;
            const uint8_t high = (k == 0) ? hi : 0xBF;
            if (c < low || c > high) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            AppendWide(out, REPLACEMENT_CHARACTER);
            i = j;  // resume at the first byte that did not fit
            continue;
        }
        AppendWide(out, cp);
        i = j;
    }
    return out;
}

size_t Utf16Length(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return text.size();
    } else {
        size_t n = 0;
        for (wchar_t c : text)
            n += OutsideBmp(static_cast<char32_t>(c)) ? 2 : 1;
        return n;
    }
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring TrimText(std::wstring_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::wstring(text.substr(b, e - b));
}

std::string TrimText(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && IsBlank(static_cast<unsigned char>(text[e - 1])))
        --e;
    return std::string(text.substr(b, e - b));
}

int64_t ParseLeadingInt64(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    // The magnitude, held just past INT64_MAX so that INT64_MIN is exact.
    constexpr uint64_t LIMIT = static_cast<uint64_t>(INT64_MAX) + 1;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
        // Checked before multiplying: past the limit the product would wrap around.
        value = value > (LIMIT - digit) / 10 ? LIMIT : value * 10 + digit;
    }
    if (negative)
        return value == LIMIT ? INT64_MIN : -static_cast<int64_t>(value);
    return value == LIMIT ? INT64_MAX : static_cast<int64_t>(value);
}

int ParseLeadingInt(std::wstring_view text) {
    const int64_t value = ParseLeadingInt64(text);
    if (value > INT_MAX)
        return INT_MAX;
    return value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

uint32_t ParseLeadingUInt32(std::wstring_view text) {
    const int64_t value = ParseLeadingInt64(text);
    const uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (magnitude > UINT32_MAX)
        return UINT32_MAX;
    const uint32_t low = static_cast<uint32_t>(magnitude);
    return value < 0 ? 0u - low : low;
}

std::vector<std::wstring> SplitTrimmed(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::wstring_view::npos)
            end = text.size();
        std::wstring piece = TrimText(text.substr(start, end - start));
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        start = end + 1;
    }
    return pieces;
}

std::wstring FormatText(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), n);
        // vswprintf reports -1 when the buffer is too small; grow until it fits, with a bound so
        // an encoding error cannot loop forever.
        if (buffer.size() >= (size_t{1} << 26))
            return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

static wchar_t LowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

bool IsBidiControl(wchar_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::wstring RemoveBidiControls(std::wstring_view text) {
    std::wstring kept;
    kept.reserve(text.size());
    for (wchar_t c : text) {
        if (!IsBidiControl(c)) {
            kept.push_back(c);
        }
    }
    return kept;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

std::wstring ToLowerAscii(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        c = LowerAscii(c);
    return out;
}

}  // namespace zovrel
