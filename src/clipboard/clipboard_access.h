#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "clipboard/clipboard_entry.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zovrel {

// The registered clipboard format an encoded image goes to, by its file name's extension:
// "PNG", "JFIF", "GIF", or "Zovrel.Image" for anything else.
std::wstring ImageClipboardFormatName(std::wstring_view imageFileName);

// A CF_HDROP block: the 20-byte DROPFILES header (wide paths), each path as UTF-16 with its NUL,
// then one more NUL.
Bytes BuildDropFilesBlock(const std::vector<std::wstring>& paths);

// The caption of a files entry whose clipboard has no text of its own: the path of a single
// file, else "N 个文件".
std::wstring FilesCaption(const std::vector<std::wstring>& files);

// True when a CF_HDROP block of `size` bytes keeps its whole file list inside the block, so
// walking the list can never run past its end (other programs fill these blocks).
bool IsWellFormedDropFiles(const void* block, size_t size);

// Formats by which password managers mark clipboard content that must not be kept or shared.
inline constexpr wchar_t VIEWER_IGNORE_FORMAT[] = L"Clipboard Viewer Ignore";
inline constexpr wchar_t EXCLUDE_FROM_MONITOR_FORMAT[] =
    L"ExcludeClipboardContentFromMonitorProcessing";
inline constexpr wchar_t CAN_INCLUDE_IN_HISTORY_FORMAT[] = L"CanIncludeInClipboardHistory";
inline constexpr wchar_t CAN_UPLOAD_TO_CLOUD_FORMAT[] = L"CanUploadToCloudClipboard";

// What a read of the clipboard found.
enum class ClipboardReadResult {
    CONTENT,  // files, an image or non-empty text
    NOTHING,  // busy, empty or only formats we do not take
    PRIVATE,  // marked private by its owner; nothing was read
};

#ifdef _WIN32

// Opens the clipboard for the life of the object, retrying a few times while another program
// holds it (8 tries, 20 ms apart).
class ClipboardSession {
  public:
    explicit ClipboardSession(HWND owner);
    ~ClipboardSession();
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool IsOpen() const { return open_; }

  private:
    bool open_ = false;
};

// Reads files, an image or text (in that order of preference) into `entry`.
bool ReadClipboardEntry(HWND owner, ClipboardEntry& entry);
// The same, but content marked private is left unread.
ClipboardReadResult ReadClipboardEntryUnlessPrivate(HWND owner, ClipboardEntry& entry);
// Replaces the clipboard's content with the entry's image, file list or text. The files that
// exist are put; `filesChecked` says the caller has already kept only those (ExistingPaths, off
// the window's thread: a path on an unreachable share can take many seconds to answer, and the
// clipboard stays open meanwhile).
bool WriteEntryToClipboard(const ClipboardEntry& entry, HWND owner, bool filesChecked = false);
// The paths that exist, in their order.
std::vector<std::wstring> ExistingPaths(const std::vector<std::wstring>& files);

// While the clipboard is open: does it carry one of the private marks?
bool ClipboardIsMarkedPrivate();

#endif

}  // namespace zovrel
