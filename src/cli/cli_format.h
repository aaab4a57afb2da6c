#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "clipboard/clipboard_entry.h"
#include "serial/port_enumeration.h"

namespace zovrel {

// "NAME<TAB>DISPLAY TEXT".
std::wstring FormatPortLine(const PortInfo& port);

// The text on one line: every run of blanks, tabs and line breaks becomes one blank, the ends are
// trimmed, and a text longer than `maxChars` characters is cut and ends in "…".
std::wstring OneLineText(std::wstring_view text, size_t maxChars);

// "text", "image", "files", or "kind<N>" for a number the history kept from disk.
std::wstring EntryKindName(uint32_t kind);

// "INDEX<TAB>ID<TAB>KIND<TAB>SIZE<TAB>YYYY-MM-DD hh:mm:ss<TAB>TEXT" with the local time of the
// entry and its text on one line (the file list or the image name when it has no text).
std::wstring FormatHistoryLine(int index, const ClipboardEntry& entry);

// One progress line for stderr: the text when there is one, else "NN%"; empty when the post
// carries nothing to show.
std::wstring FormatProgressLine(int percent, const std::wstring& text);

}  // namespace zovrel
