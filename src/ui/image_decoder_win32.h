#pragma once

// The one thread that turns image bytes into bitmaps for the history list and the preview, so
// the window's thread never reads or decodes an image. Each result goes back to the window that
// asked, posted as WM_IMAGE_DECODED with a heap DecodedImage as lParam; the window frees it,
// and a result for a window that has gone is freed here or by the window's drain.
//
// Locks: the queue's own (see DecodeQueue) and each window's post target, never held together.
// The thread touches only its request (an image reference and a post target), no window.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/win32_handle.h"
#include "clipboard/stored_image.h"
#include "ui/decode_queue.h"
#include "ui/main_window_notifier_win32.h"

namespace zovrel::ui {

// A thumbnail (scaled to the box height) or, with `preview`, the image at its own size.
struct DecodeRequest {
    std::shared_ptr<WindowPostTarget> target;
    int64_t id = 0;
    int row = -1;  // the row that asked, as it was then
    StoredImage image;
    std::wstring fileName;
    int width = 0;
    int height = 0;
    bool preview = false;
};

struct DecodedImage {
    int64_t id = 0;
    int row = -1;
    int width = 0;
    int height = 0;
    bool preview = false;
    // The bytes could not be read (the file went away or changed); it may come back.
    bool readFailed = false;
    UniqueBitmap bitmap;  // invalid when the image could not be read or decoded
};

// For the windows that ask: the result a WM_IMAGE_DECODED carries, owned again.
inline std::unique_ptr<DecodedImage> TakeDecodedImage(LPARAM lParam) {
    return std::unique_ptr<DecodedImage>(reinterpret_cast<DecodedImage*>(lParam));
}

// At WM_NCDESTROY of a window that asks: no result can reach its queue from here on, and those
// already in it are freed.
void StopDecodedResults(WindowPostTarget* target, HWND window);

class ImageDecoder {
  public:
    // Thumbnails waiting beyond this many are dropped, oldest first: a list shows fewer rows.
    static constexpr size_t THUMBNAILS_WAITING = 16;

    ImageDecoder() = default;
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;
    // Drops what waits and joins the thread (after the decode under way, if any).
    ~ImageDecoder();

    // From the window's thread. Returns the thumbnail requests dropped to make room.
    std::vector<DecodeRequest> RequestThumbnail(DecodeRequest request);
    // Replaces a preview request that has not started yet.
    void RequestPreview(DecodeRequest request);

  private:
    void StartOnce();
    void Run();

    DecodeQueue<DecodeRequest> queue_{THUMBNAILS_WAITING};
    std::thread thread_;  // started with the first request
};

}  // namespace zovrel::ui
