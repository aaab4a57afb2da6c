#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zovrel {

// Wide text is UTF-16 in the Windows build and UTF-32 in the native build. These conversions
// give byte-identical UTF-8 in both builds; invalid input becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(const void* data, std::ptrdiff_t count);
inline std::wstring FromUtf8(std::string_view utf8) {
    return FromUtf8(utf8.data(), static_cast<std::ptrdiff_t>(utf8.size()));
}

// Number of UTF-16 code units the text occupies (what Windows counts in a file name).
size_t Utf16Length(std::wstring_view text);

// Blank, tab, CR, LF, VT and FF.
bool IsBlank(wchar_t c);
std::wstring TrimText(std::wstring_view text);
std::string TrimText(std::string_view text);
// The pieces between separators, each trimmed; empty pieces are left out.
std::vector<std::wstring> SplitTrimmed(std::wstring_view text, wchar_t separator);

// The leading decimal integer of a text after blanks, with an optional sign: "  12abc" is 12,
// "abc" is 0. Out-of-range values saturate.
int64_t ParseLeadingInt64(std::wstring_view text);
int ParseLeadingInt(std::wstring_view text);
// As the C library reads an unsigned 32-bit number: saturates at the maximum (for a large
// negative number too), and a minus sign wraps ("-1" is 4294967295).
uint32_t ParseLeadingUInt32(std::wstring_view text);

// printf-style formatting of wide text. Wide strings are passed with %ls in both builds.
std::wstring FormatText(const wchar_t* format, ...);

// Case-insensitive comparison of ASCII letters (port names, keys, extensions).
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);
std::wstring ToLowerAscii(std::wstring_view text);

// The explicit bidirectional embeddings, overrides and isolates (U+202A..U+202E,
// U+2066..U+2069): a name from elsewhere carrying one could show "exe.txt" as "txt.exe".
bool IsBidiControl(wchar_t c);
std::wstring RemoveBidiControls(std::wstring_view text);

}  // namespace zovrel
