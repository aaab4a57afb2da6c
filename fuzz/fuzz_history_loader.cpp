// The history folder is the user's to edit and can be left half-written: whatever its index and
// entry files hold, loading must give a sound history that saves and loads back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "clipboard/history_files.h"
#include "fuzz_check.h"

namespace {

namespace fs = std::filesystem;

// Pieces of the input, cut at each "\n====\n": the index, then per id 1, 2, ... its .meta and
// one content file whose kind rotates.
constexpr std::string_view kCut = "\n====\n";
constexpr const char* kContent[] = {".txt", ".files", ".img", ".png", ".dib"};

// A scratch folder of this process, removed when it ends.
struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("zovrel-fuzz-history-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& Folder() {
    static const ScratchFolder folder;
    return folder.path;
}

void Put(const std::string& name, std::string_view bytes) {
    std::ofstream(Folder() / name, std::ios::binary).write(bytes.data(), bytes.size());
}

std::vector<int64_t> Ids(const zovrel::HistoryState& s) {
    std::vector<int64_t> ids;
    for (const auto& e : s.entries)
        ids.push_back(e.entry.id);
    return ids;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(Folder(), ec))
        fs::remove_all(item.path(), ec);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int piece = 0; start <= input.size() && piece < 64; ++piece) {
        size_t cut = input.find(kCut, start);
        if (cut == std::string_view::npos)
            cut = input.size();
        const std::string_view bytes = input.substr(start, cut - start);
        start = cut + kCut.size();
        if (piece == 0) {
            Put("index.ini", bytes);
        } else {
            const int id = (piece + 1) / 2;
            Put(std::to_string(id) + (piece % 2 == 1 ? ".meta" : kContent[id % 5]), bytes);
        }
    }

    const std::wstring folder = zovrel::TextFromPath(Folder());
    zovrel::HistoryState state;
    zovrel::HistoryFiles files(folder);
    const bool loaded = files.LoadHistoryFiles(state);
    FUZZ_CHECK(loaded == !state.entries.empty());
    FUZZ_CHECK(state.entries.size() <= zovrel::kMaxHistoryEntries);
    std::set<int64_t> seen;
    for (const auto& s : state.entries) {
        FUZZ_CHECK(s.entry.id > 0 && s.entry.id <= state.nextId);
        FUZZ_CHECK(seen.insert(s.entry.id).second);
        FUZZ_CHECK(s.fingerprint == zovrel::ComputeFingerprint(s.entry));
    }
    FUZZ_CHECK(state.entries.empty() || state.current.id > 0);

    files.SaveHistoryFiles(state);
    zovrel::HistoryState again;
    zovrel::HistoryFiles fresh(folder);
    fresh.LoadHistoryFiles(again);
    FUZZ_CHECK(Ids(again) == Ids(state));
    FUZZ_CHECK(again.nextId == state.nextId);
    return 0;
}
