#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clipboard/stored_image.h"

namespace zovrel {

// Entry kinds as stored in `Kind`. Other numbers can come from disk and are kept unchanged.
constexpr uint32_t ENTRY_KIND_TEXT = 0;
constexpr uint32_t ENTRY_KIND_IMAGE = 1;
constexpr uint32_t ENTRY_KIND_FILES = 2;

// One piece of content: captured from the clipboard, received from the device, kept in the
// history, or sent. A plain value that entries cross threads as copies of: the image is shared
// bytes that never change or a reference to the history's file of them, so a copy is as cheap
// for an image as for a text and no change made through one copy shows in another.
struct ClipboardEntry {
    int64_t id = 0;  // assigned when added to the history; 0 otherwise
    uint32_t kind = ENTRY_KIND_TEXT;
    std::wstring text;                // the text, or a caption for files and images
    std::vector<std::wstring> files;  // full paths, files kind only
    StoredImage image;                // a DIB or an encoded image file; read it to get the bytes
    std::wstring imageFileName;       // tells the format; "clipboard.dib" from the clipboard
    int64_t dataSize = 0;             // UTF-8 length of the text, image bytes, or sum of file sizes
    uint64_t time = 0;                // UTC FILETIME of capture or reception
    bool pinned = false;              // kept above unpinned entries and never evicted
};

}  // namespace zovrel
