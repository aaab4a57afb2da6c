#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/local_time.h"
#include "clipboard/clipboard_entry.h"
#include "transfer/received_file.h"

namespace zovrel {

// Where content from the device is stored: files in one folder per local day under "files",
// images as copies under "clipboard_images".

// "%Y-%m-%d" of a local date.
std::wstring ReceivedDayFolderName(const LocalTime& day);
// Data root + "files" + today's folder, created if missing.
std::wstring ReceivedDayFolder();

// Makes a name from the device safe to create in a folder: no control or reserved characters,
// no trailing dots or blanks, no device names (CON, COM1, ...), at most 255 UTF-16 units with
// the extension kept. Ordinary names come back unchanged; empty means nothing usable is left.
std::wstring SafeReceivedFileName(std::wstring_view name);

// Creates the target of a file transfer in today's folder, replacing a same-named file of the
// day, with `size` bytes reserved. On failure nothing is left on disk and `file` is closed.
bool OpenReceivedFileForWriting(const std::wstring& name, int32_t size, std::wstring& path,
                                ReceivedFile& file);
void DeleteReceivedFile(const std::wstring& path);

// Removes day folders whose local midnight is more than `days` days before now.
void CleanupReceivedFolders(int days);
void CleanupReceivedFoldersAt(int days, int64_t nowUnixSeconds);
void AfterReceivedFile(const std::wstring& savedPath);

// Stores a copy of a received image under "clipboard_images"; the full path, or empty.
std::wstring SaveReceivedImage(const Bytes& bytes, const std::wstring& name);

// What a finished inbound transfer hands over, copied out of the session.
struct ReceivedContent {
    uint16_t dataType = 0;
    std::wstring name;       // the descriptor's file name as the device sent it
    Bytes data;              // text and image transfers
    std::wstring savedPath;  // file transfers
    int32_t declaredSize = 0;
};

// Fills `entry` (time now, no id); false when there is no content to keep.
bool BuildEntryFromReceived(const ReceivedContent& content, ClipboardEntry& entry);

}  // namespace zovrel
