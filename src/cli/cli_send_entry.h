#pragma once

#include <string>

#include "cli/cli_arguments.h"
#include "clipboard/clipboard_entry.h"

namespace zovrel {

// The entry `send` hands to the engine for --text, --file (one or more) or --image (paths made
// absolute), as the clipboard would have produced it. False with the reason when the image cannot
// be read.
// --entry is looked up in the history by the caller.
bool BuildSendEntry(const CliArguments& arguments, ClipboardEntry& entry, std::wstring& error);

}  // namespace zovrel
