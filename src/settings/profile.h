#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file_io.h"

namespace zovrel {

// A profile (INI) file in memory. Reads what a person may have edited by hand: UTF-8 with or
// without byte-order mark, UTF-16 with mark, CR LF / LF / CR line ends, blanks around names and
// values, names in any letter case (ASCII), one pair of quotes around a value. Lines it does not
// understand (comments, garbage) are kept as they are when the file is written back.
// Written as UTF-8 without byte-order mark, lines ending in CR LF.
class ProfileDocument {
  public:
    static constexpr size_t NO_LIMIT = static_cast<size_t>(-1);

    static ProfileDocument Parse(std::string_view bytes);

    // The value as read (trimmed, outer quotes removed), nullopt when the key is absent.
    std::optional<std::wstring> Get(std::wstring_view section, std::wstring_view key) const;
    // The value cut to at most `maxChars` UTF-16 code units, or `fallback` when absent.
    std::wstring GetString(std::wstring_view section, std::wstring_view key,
                           const std::wstring& fallback, size_t maxChars = NO_LIMIT) const;
    // The value's leading decimal integer (0 when it has none), `fallback` when absent or empty.
    int GetInt(std::wstring_view section, std::wstring_view key, int fallback) const;

    // Line breaks and NULs in names and values become blanks: a value must never start a new
    // line of its own, or a stored name could forge keys and sections.
    void Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
    // Removes every occurrence of the key in the section; true when one was there.
    bool Remove(std::wstring_view section, std::wstring_view key);

    std::string ToBytes() const;

  private:
    struct Line {
        bool isKey = false;
        std::wstring key;    // trimmed, when isKey
        std::wstring value;  // as read, when isKey
        std::wstring raw;    // the line as it will be written
    };
    struct Section {
        std::wstring name;
        std::wstring header;  // the "[name]" line as written
        std::vector<Line> lines;
    };

    Line* Find(std::wstring_view section, std::wstring_view key);
    const Line* Find(std::wstring_view section, std::wstring_view key) const;

    std::vector<Line> preamble_;  // lines before the first section
    std::vector<Section> sections_;
};

// Profile files are small; anything bigger is not one of ours.
inline constexpr size_t MAX_PROFILE_FILE_BYTES = 4 * 1024 * 1024;

// Loads a profile file. A missing file loads as an empty document (true); a file that exists
// but cannot be read gives false.
bool LoadProfile(const std::wstring& path, ProfileDocument& out);
// Writes the whole document with WriteFileAtomically.
bool SaveProfile(const std::wstring& path, const ProfileDocument& doc);

// One-key conveniences. Reads give the fallback when the file or key is missing or unreadable.
std::wstring ReadProfileString(const std::wstring& path, std::wstring_view section,
                               std::wstring_view key, const std::wstring& fallback,
                               size_t maxChars = ProfileDocument::NO_LIMIT);
int ReadProfileInt(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                   int fallback);
// Read, change one key, write back whole. False (file untouched) when the existing file cannot
// be read or the new one cannot be written.
bool WriteProfileString(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value);
bool DeleteProfileKey(const std::wstring& path, std::wstring_view section, std::wstring_view key);

}  // namespace zovrel
