#pragma once

// Image bytes (a packed DIB, or any format GDI+ decodes) to screen bitmaps, optionally scaled.
// Every failure gives an invalid bitmap; callers draw nothing in its place. GDI+ must be running.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/win32_handle.h"

namespace zovrel::ui {

// Scaled to fit inside the box, never enlarged.
UniqueBitmap MakeFittedBitmap(const uint8_t* data, size_t size, const std::wstring& fileName,
                              int boxWidth, int boxHeight);
// Scaled to exactly the box height, width in proportion.
UniqueBitmap MakeHeightFittedBitmap(const uint8_t* data, size_t size, const std::wstring& fileName,
                                    int boxWidth, int boxHeight);
// The image's own size.
UniqueBitmap MakeOriginalBitmap(const uint8_t* data, size_t size, const std::wstring& fileName);
// The program's "PNG" resource `id`, fitted into size × size.
UniqueBitmap LoadPngResource(int id, int size);

}  // namespace zovrel::ui
