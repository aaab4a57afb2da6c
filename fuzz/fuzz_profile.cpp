// Profile files (settings, history index and entry files) may be edited by hand or left
// half-written: any bytes must parse to a document that writes and reads back the same, and a
// value stored into it must come back without disturbing other keys.
#include <string_view>

#include "base/text.h"
#include "fuzz_check.h"
#include "settings/profile.h"

namespace {

using zovrel::ProfileDocument;

constexpr std::wstring_view kKeys[][2] = {
    {L"Settings", L"UartComPort"}, {L"Settings", L"UartDebugLog"}, {L"Meta", L"Count"},
    {L"Meta", L"Order"},           {L"Entry", L"ImageFileName"},   {L"Entry", L"Kind"},
};

void CheckSameKeys(const ProfileDocument& a, const ProfileDocument& b) {
    for (const auto& [section, key] : kKeys)
        FUZZ_CHECK(a.Get(section, key) == b.Get(section, key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is a file, optionally followed by "\0" and a value to store.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\0');
    const std::string_view file = input.substr(0, cut);
    const std::string_view value = cut == std::string_view::npos ? "" : input.substr(cut + 1);

    ProfileDocument doc = ProfileDocument::Parse(file);
    const std::string once = doc.ToBytes();
    const ProfileDocument reread = ProfileDocument::Parse(once);
    FUZZ_CHECK(reread.ToBytes() == once);
    CheckSameKeys(doc, reread);

    const std::wstring port = doc.GetString(L"Settings", L"UartComPort", L"", 511);
    FUZZ_CHECK(zovrel::Utf16Length(port) <= 511);

    const auto count = doc.Get(L"Meta", L"Count");
    doc.Set(L"Entry", L"ImageFileName", zovrel::FromUtf8(value));
    doc.Remove(L"Entry", L"Kind");
    const ProfileDocument stored = ProfileDocument::Parse(doc.ToBytes());
    CheckSameKeys(doc, stored);
    FUZZ_CHECK(stored.Get(L"Meta", L"Count") == count);
    FUZZ_CHECK(!stored.Get(L"Entry", L"Kind").has_value());
    return 0;
}
