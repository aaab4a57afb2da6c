// The history folder is the user's to edit and can be left half-written: whatever its index and
// entry files hold, loading must give a sound history that saves and loads back the same.
#include <fstream>
#include <set>
#include <string_view>

#include "base/paths.h"
#include "clipboard/history_files.h"
#include "fuzz_check.h"
#include "test_support.h"

namespace {

// Pieces of the input, cut at each "\n====\n": the index, then per id 1, 2, ... its .meta and
// one content file whose kind rotates.
constexpr std::string_view CUT = "\n====\n";
constexpr const char* CONTENT[] = {".txt", ".files", ".img", ".png", ".dib"};

// Each entry's id, negative when it is pinned.
std::vector<int64_t> Ids(const zovrel::HistoryState& s) {
    std::vector<int64_t> ids;
    for (const auto& e : s.entries)
        ids.push_back(e.entry.pinned ? -e.entry.id : e.entry.id);
    return ids;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zovrel::test::TempFolder scratch("zovrel-fuzz-history");
    EmptyFolder(scratch.Path());
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int piece = 0; start <= input.size() && piece < 64; ++piece) {
        const size_t cut = std::min(input.find(CUT, start), input.size());
        const std::string name = piece == 0 ? "index.ini"
                                 : piece % 2 == 1
                                     ? std::to_string((piece + 1) / 2) + ".meta"
                                     : std::to_string(piece / 2) + CONTENT[piece / 2 % 5];
        std::ofstream(scratch.Path() / name, std::ios::binary)
            .write(input.data() + start, static_cast<std::streamsize>(cut - start));
        start = cut + CUT.size();
    }

    const std::wstring folder = scratch.Text();
    zovrel::HistoryState state;
    zovrel::HistoryFiles files(folder);
    const bool loaded = files.LoadHistoryFiles(state);
    FUZZ_CHECK(loaded == !state.entries.empty());
    FUZZ_CHECK(state.entries.size() <= zovrel::MAX_HISTORY_ENTRIES);
    std::set<int64_t> seen;
    for (auto& s : state.entries) {
        FUZZ_CHECK(s.entry.id > 0 && s.entry.id <= state.nextId);
        FUZZ_CHECK(seen.insert(s.entry.id).second);
        // A load hashes nothing; a stored fingerprint is taken only when it still holds.
        FUZZ_CHECK(s.fingerprint.empty());
        zovrel::TakeStoredFingerprint(s);
        const std::wstring fresh = zovrel::ComputeFingerprint(s.entry);
        FUZZ_CHECK(s.fingerprint.empty() || s.fingerprint == fresh);
        s.fingerprint = fresh;
    }
    FUZZ_CHECK(state.entries.empty() || state.current.id > 0);
    // Pinned entries come first, whatever order the index gave.
    for (size_t i = 1; i < state.entries.size(); ++i)
        FUZZ_CHECK(state.entries[i - 1].entry.pinned || !state.entries[i].entry.pinned);

    // Saved with every fingerprint known, each one loads back as stored while its entry is the
    // same, and is never wrong for it. (An entry can change in the round trip: a stray .files
    // beside a text entry is not saved again.)
    files.SaveHistoryFiles(state);
    zovrel::HistoryState again;
    zovrel::HistoryFiles(folder).LoadHistoryFiles(again);
    FUZZ_CHECK(Ids(again) == Ids(state));
    FUZZ_CHECK(again.nextId == state.nextId);
    for (size_t i = 0; i < again.entries.size(); ++i) {
        zovrel::TakeStoredFingerprint(again.entries[i]);
        const std::wstring fresh = zovrel::ComputeFingerprint(again.entries[i].entry);
        FUZZ_CHECK(again.entries[i].fingerprint.empty() || again.entries[i].fingerprint == fresh);
        // Only an image's fingerprint is stored; any other is computed when needed.
        if (fresh == state.entries[i].fingerprint && again.entries[i].entry.image.IsFile())
            FUZZ_CHECK(again.entries[i].fingerprint == fresh);
    }
    return 0;
}
