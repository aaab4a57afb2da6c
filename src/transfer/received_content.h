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
// no trailing dots or blanks, no device names (CON, COM1, ...), never the name of a file still
// being received, at most 255 UTF-16 units with the extension kept. Ordinary names come back
// unchanged; empty means nothing usable is left.
std::wstring SafeReceivedFileName(std::wstring_view name);

// "name (n).ext": the counter goes before the extension (a leading dot starts no extension),
// and the stem is shortened if the result would pass 255 UTF-16 units.
std::wstring NameWithCounter(std::wstring_view name, int counter);

// A file transfer writes into `partPath`, a temporary file beside `path`, and the file takes
// its name only once it has arrived whole, so a failed transfer never costs an older file.
struct ReceivedFilePaths {
    std::wstring path;      // where the file goes, and what the log shows
    std::wstring partPath;  // where it is written meanwhile
};

// Creates the target of a file transfer in today's folder with `size` bytes reserved; `name` is
// a SafeReceivedFileName. Partial files a crash left in the folder go first. On failure nothing
// is left on disk and `file` is closed.
bool OpenReceivedFileForWriting(const std::wstring& name, int32_t size, ReceivedFilePaths& paths,
                                ReceivedFile& file);
// Gives a finished, closed file its name, replacing a same-named older file of the day. When
// that one cannot be replaced (another program holds it open), the new file takes the first
// free NameWithCounter instead. The path it ended under, or empty when it could not be renamed.
std::wstring KeepReceivedFile(const ReceivedFilePaths& paths);
void DeleteReceivedFile(const std::wstring& path);

// Removes day folders whose local midnight is more than `days` days before now, and partial
// files a crash left in the others.
void CleanupReceivedFolders(int days);
void CleanupReceivedFoldersAt(int days, int64_t nowUnixSeconds);
void AfterReceivedFile(const std::wstring& savedPath);

// Stores a copy of a received image under "clipboard_images" as "<milliseconds>_<clean name>",
// never over another file; the full path, or empty.
std::wstring SaveReceivedImage(const Bytes& bytes, const std::wstring& name);
std::wstring SaveReceivedImageAt(const Bytes& bytes, const std::wstring& name,
                                 int64_t nowUnixMilliseconds);

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
