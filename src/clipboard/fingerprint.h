#pragma once

#include <set>
#include <string>

#include "clipboard/clipboard_entry.h"

namespace zovrel {

class ProfileDocument;

// 64 lower-case hex digits of a SHA-256 over an entry's content: kind, text, file paths, image
// name and image bytes (never the time or DataSize). The program's only notion of equal content.
// Empty when the entry's image file can no longer be read as recorded: unknown, not "no image".
std::wstring ComputeFingerprint(const ClipboardEntry& entry);
// The same over everything but the image bytes (their count and the image name do count). For
// an entry without an image it equals the fingerprint; for one with an image it guards a stored
// fingerprint against changes to the rest of the entry.
std::wstring ComputeContentHashWithoutImage(const ClipboardEntry& entry);
// True for 64 lower-case hexadecimal digits.
bool IsFingerprintText(const std::wstring& text);

// Ordered by plain code-unit comparison, no duplicates.
using FingerprintSet = std::set<std::wstring>;

// The history's ignore list, kept in the index file's "Meta" section.
void LoadIgnoredFingerprints(const std::wstring& indexPath, FingerprintSet& set);
void SaveIgnoredFingerprints(const std::wstring& indexPath, const FingerprintSet& set);

// The same, on an index already in memory (the history files write the index in one piece).
void ReadIgnoredFingerprints(const ProfileDocument& index, FingerprintSet& set);
void WriteIgnoredFingerprints(ProfileDocument& index, const FingerprintSet& set);

}  // namespace zovrel
