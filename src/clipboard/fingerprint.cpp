#include "clipboard/fingerprint.h"

#include "base/sha256.h"
#include "base/text.h"
#include "settings/profile.h"

namespace zovrel {
namespace {

constexpr wchar_t META_SECTION[] = L"Meta";
constexpr wchar_t IGNORED_KEY[] = L"IgnoredFingerprints";
constexpr wchar_t OLDER_IGNORED_KEY[] = L"IgnoreFingerprint";
constexpr size_t MAX_VALUE_CHARS = 4095;

}  // namespace

namespace {

std::string CanonicalText(const ClipboardEntry& entry) {
    // Built by appending rather than formatting, so a text holding a NUL still counts whole.
    std::wstring canonical = std::to_wstring(static_cast<int>(entry.kind));
    canonical += L'\n';
    canonical += entry.text;
    canonical += L'\n';
    for (const auto& path : entry.files) {
        canonical += path;
        canonical += L'\n';
    }
    if (!entry.image.Empty()) {
        canonical += L"img:" + std::to_wstring(entry.image.Size()) + L":";
        canonical += entry.imageFileName;
        canonical += L'\n';
    }
    return ToUtf8(canonical);
}

std::wstring HexOf(const Sha256Digest& digest) {
    static constexpr wchar_t HEX_DIGITS[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(digest.size() * 2);
    for (uint8_t b : digest) {
        text += HEX_DIGITS[b >> 4];
        text += HEX_DIGITS[b & 0x0F];
    }
    return text;
}

}  // namespace

std::wstring ComputeFingerprint(const ClipboardEntry& entry) {
    SharedBytes image;
    if (!entry.image.Empty() && !entry.image.Read(image))
        return {};
    const std::string utf8 = CanonicalText(entry);
    Sha256 hash;
    hash.Update(utf8.data(), utf8.size());
    if (!image.empty())
        hash.Update(image.data(), image.size());
    return HexOf(hash.Finish());
}

std::wstring ComputeContentHashWithoutImage(const ClipboardEntry& entry) {
    const std::string utf8 = CanonicalText(entry);
    Sha256 hash;
    hash.Update(utf8.data(), utf8.size());
    return HexOf(hash.Finish());
}

bool IsFingerprintText(const std::wstring& text) {
    if (text.size() != 64)
        return false;
    for (wchar_t c : text)
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    return true;
}

void ReadIgnoredFingerprints(const ProfileDocument& index, FingerprintSet& set) {
    set.clear();
    const std::wstring joined = index.GetString(META_SECTION, IGNORED_KEY, L"", MAX_VALUE_CHARS);
    for (std::wstring& piece : SplitTrimmed(joined, L'|'))
        set.insert(std::move(piece));
    const std::wstring older =
        index.GetString(META_SECTION, OLDER_IGNORED_KEY, L"", MAX_VALUE_CHARS);
    if (!older.empty())
        set.insert(older);
}

void WriteIgnoredFingerprints(ProfileDocument& index, const FingerprintSet& set) {
    index.Remove(META_SECTION, OLDER_IGNORED_KEY);
    if (set.empty()) {
        index.Remove(META_SECTION, IGNORED_KEY);
        return;
    }
    std::wstring joined;
    for (const auto& f : set) {
        if (!joined.empty())
            joined += L'|';
        joined += f;
    }
    index.Set(META_SECTION, IGNORED_KEY, joined);
}

void LoadIgnoredFingerprints(const std::wstring& indexPath, FingerprintSet& set) {
    ProfileDocument index;
    if (!LoadProfile(indexPath, index))
        index = ProfileDocument();
    ReadIgnoredFingerprints(index, set);
}

void SaveIgnoredFingerprints(const std::wstring& indexPath, const FingerprintSet& set) {
    ProfileDocument index;
    // An index we cannot read is left alone rather than replaced by this one key.
    if (!LoadProfile(indexPath, index))
        return;
    WriteIgnoredFingerprints(index, set);
    SaveProfile(indexPath, index);
}

}  // namespace zovrel
