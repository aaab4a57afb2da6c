#pragma once

#include <set>
#include <string>

#include "clipboard/clipboard_entry.h"

namespace zovrel {

class ProfileDocument;

// 64 lower-case hex digits of a SHA-256 over an entry's content: kind, text, file paths, image
// name and image bytes (never the time or DataSize). The program's only notion of equal content.
std::wstring ComputeFingerprint(const ClipboardEntry& entry);

// Ordered by plain code-unit comparison, no duplicates.
using FingerprintSet = std::set<std::wstring>;

// The history's ignore list, kept in the index file's "Meta" section.
void LoadIgnoredFingerprints(const std::wstring& indexPath, FingerprintSet& set);
void SaveIgnoredFingerprints(const std::wstring& indexPath, const FingerprintSet& set);

// The same, on an index already in memory (the history files write the index in one piece).
void ReadIgnoredFingerprints(const ProfileDocument& index, FingerprintSet& set);
void WriteIgnoredFingerprints(ProfileDocument& index, const FingerprintSet& set);

}  // namespace zovrel
