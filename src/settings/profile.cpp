#include "settings/profile.h"

#include <cstdint>
#include <mutex>
#include <utility>

#include "base/text.h"

namespace zovrel {
namespace {

constexpr char32_t BYTE_ORDER_MARK = 0xFEFF;

std::wstring DecodeUtf16Le(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    const auto unit = [&](size_t i) {
        return static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    };
    const size_t count = bytes.size() / 2;  // an odd last byte is ignored
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = unit(i);
        if constexpr (sizeof(wchar_t) == 2) {
            out += static_cast<wchar_t>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 &&
                   unit(i + 1) <= 0xDFFF) {
            out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out += static_cast<wchar_t>(0xFFFD);
        } else {
            out += static_cast<wchar_t>(u);
        }
    }
    return out;
}

std::wstring Decode(std::string_view bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        text = DecodeUtf16Le(bytes.substr(2));
    } else {
        text = FromUtf8(bytes);
    }
    // Drop every leading mark (a UTF-8 one, or one doubled by an editor), so writing the text
    // back and reading it again gives the same document.
    size_t skip = 0;
    while (skip < text.size() && static_cast<char32_t>(text[skip]) == BYTE_ORDER_MARK)
        ++skip;
    text.erase(0, skip);
    return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r' && text[i] != L'\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::wstring Unquote(std::wstring value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::wstring SingleLine(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c == L'\r' || c == L'\n' || c == L'\0')
            c = L' ';
    return out;
}

bool IsAstral(char32_t c) {
    return c >= 0x10000;
}

// Cut to at most `maxUnits` UTF-16 code units without splitting a surrogate pair.
std::wstring CutUtf16(const std::wstring& text, size_t maxUnits) {
    if (maxUnits == ProfileDocument::NO_LIMIT)
        return text;
    size_t units = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        size_t width = 1;
        if constexpr (sizeof(wchar_t) == 2) {
            if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size())
                width = 2;
        } else {
            if (IsAstral(static_cast<char32_t>(text[i])))
                width = 2;
        }
        if (units + width > maxUnits)
            break;
        units += width;
        if (sizeof(wchar_t) == 2 && width == 2)
            ++i;
    }
    return text.substr(0, i);
}

// Load-change-save of one file must not lose another thread's change made in between.
std::mutex& ProfileWriteMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

ProfileDocument ProfileDocument::Parse(std::string_view bytes) {
    ProfileDocument doc;
    for (auto& raw : SplitLines(Decode(bytes))) {
        const std::wstring trimmed = TrimText(raw);
        if (!trimmed.empty() && trimmed.front() == L'[') {
            const size_t close = trimmed.find(L']');
            Section section;
            section.name = TrimText(std::wstring_view(trimmed).substr(
                1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            section.header = raw;
            doc.sections_.push_back(std::move(section));
            continue;
        }
        Line line;
        line.raw = raw;
        const size_t eq = trimmed.find(L'=');
        if (!trimmed.empty() && trimmed.front() != L';' && eq != std::wstring::npos) {
            line.isKey = true;
            line.key = TrimText(std::wstring_view(trimmed).substr(0, eq));
            line.value = trimmed.substr(eq + 1);
        }
        (doc.sections_.empty() ? doc.preamble_ : doc.sections_.back().lines)
            .push_back(std::move(line));
    }
    return doc;
}

const ProfileDocument::Line* ProfileDocument::Find(std::wstring_view section,
                                                   std::wstring_view key) const {
    for (const auto& s : sections_) {
        if (!EqualsIgnoreCase(s.name, section))
            continue;
        for (const auto& line : s.lines)
            if (line.isKey && EqualsIgnoreCase(line.key, key))
                return &line;
    }
    return nullptr;
}

ProfileDocument::Line* ProfileDocument::Find(std::wstring_view section, std::wstring_view key) {
    return const_cast<Line*>(std::as_const(*this).Find(section, key));
}

std::optional<std::wstring> ProfileDocument::Get(std::wstring_view section,
                                                 std::wstring_view key) const {
    const Line* line = Find(section, key);
    if (line == nullptr)
        return std::nullopt;
    return Unquote(TrimText(line->value));
}

std::wstring ProfileDocument::GetString(std::wstring_view section, std::wstring_view key,
                                        const std::wstring& fallback, size_t maxChars) const {
    const auto value = Get(section, key);
    return CutUtf16(value ? *value : fallback, maxChars);
}

int ProfileDocument::GetInt(std::wstring_view section, std::wstring_view key, int fallback) const {
    const auto value = Get(section, key);
    if (!value || value->empty())
        return fallback;
    return ParseLeadingInt(*value);
}

void ProfileDocument::Set(std::wstring_view section, std::wstring_view key,
                          std::wstring_view value) {
    const std::wstring safeSection = TrimText(SingleLine(section));
    const std::wstring safeKey = TrimText(SingleLine(key));
    const std::wstring safeValue = SingleLine(value);
    if (Line* line = Find(safeSection, safeKey)) {
        line->value = safeValue;
        line->raw = line->key + L"=" + safeValue;
        return;
    }
    Line line;
    line.isKey = true;
    line.key = safeKey;
    line.value = safeValue;
    line.raw = line.key + L"=" + safeValue;
    for (auto& s : sections_) {
        if (!EqualsIgnoreCase(s.name, safeSection))
            continue;
        // After the section's last key; in a section without keys, before its closing blank
        // lines, so they keep separating it from the next one.
        size_t at = s.lines.size();
        while (at > 0 && !s.lines[at - 1].isKey)
            --at;
        if (at == 0) {
            at = s.lines.size();
            while (at > 0 && TrimText(s.lines[at - 1].raw).empty())
                --at;
        }
        s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        return;
    }
    Section s;
    s.name = safeSection;
    s.header = L"[" + s.name + L"]";
    s.lines.push_back(std::move(line));
    sections_.push_back(std::move(s));
}

bool ProfileDocument::Remove(std::wstring_view section, std::wstring_view key) {
    bool removed = false;
    for (auto& s : sections_) {
        if (!EqualsIgnoreCase(s.name, section))
            continue;
        std::erase_if(s.lines, [&](const Line& line) {
            const bool match = line.isKey && EqualsIgnoreCase(line.key, key);
            removed = removed || match;
            return match;
        });
    }
    return removed;
}

std::string ProfileDocument::ToBytes() const {
    std::wstring text;
    const auto put = [&](const std::wstring& line) {
        text += line;
        text += L"\r\n";
    };
    for (const auto& line : preamble_)
        put(line.raw);
    for (const auto& s : sections_) {
        put(s.header);
        for (const auto& line : s.lines)
            put(line.raw);
    }
    return ToUtf8(text);
}

bool LoadProfile(const std::wstring& path, ProfileDocument& out) {
    std::string bytes;
    switch (ReadWholeFile(path, MAX_PROFILE_FILE_BYTES, bytes)) {
        case FileRead::READ:
            out = ProfileDocument::Parse(bytes);
            return true;
        case FileRead::MISSING:
            out = ProfileDocument();
            return true;
        case FileRead::FAILED:
            break;
    }
    return false;
}

bool SaveProfile(const std::wstring& path, const ProfileDocument& doc) {
    return WriteFileAtomically(path, doc.ToBytes());
}

std::wstring ReadProfileString(const std::wstring& path, std::wstring_view section,
                               std::wstring_view key, const std::wstring& fallback,
                               size_t maxChars) {
    ProfileDocument doc;
    if (!LoadProfile(path, doc))
        return CutUtf16(fallback, maxChars);
    return doc.GetString(section, key, fallback, maxChars);
}

int ReadProfileInt(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                   int fallback) {
    ProfileDocument doc;
    if (!LoadProfile(path, doc))
        return fallback;
    return doc.GetInt(section, key, fallback);
}

bool WriteProfileString(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
    std::lock_guard<std::mutex> lock(ProfileWriteMutex());
    ProfileDocument doc;
    // An existing file we cannot read is left alone rather than replaced by one key.
    if (!LoadProfile(path, doc))
        return false;
    doc.Set(section, key, value);
    return SaveProfile(path, doc);
}

bool DeleteProfileKey(const std::wstring& path, std::wstring_view section, std::wstring_view key) {
    std::lock_guard<std::mutex> lock(ProfileWriteMutex());
    ProfileDocument doc;
    if (!LoadProfile(path, doc))
        return false;
    if (!doc.Remove(section, key))
        return true;  // nothing to delete: no write needed
    return SaveProfile(path, doc);
}

}  // namespace zovrel
