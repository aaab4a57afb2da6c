#include "ui/image_decoder_win32.h"

#include <utility>

#include "ui/image_conversion_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

ImageDecoder::~ImageDecoder() {
    queue_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<DecodeRequest> ImageDecoder::RequestThumbnail(DecodeRequest request) {
    StartOnce();
    return queue_.Push(std::move(request));
}

void ImageDecoder::RequestPreview(DecodeRequest request) {
    StartOnce();
    request.preview = true;
    queue_.PushUrgent(std::move(request));
}

void ImageDecoder::StartOnce() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    }
}

void ImageDecoder::Run() {
    // Behind the window's thread and the serial reader: thumbnails can wait a moment.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    while (std::optional<DecodeRequest> request = queue_.Pop()) {
        auto result = std::make_unique<DecodedImage>();
        result->id = request->id;
        result->row = request->row;
        result->width = request->width;
        result->height = request->height;
        result->preview = request->preview;
        SharedBytes bytes;
        if (!request->image.Read(bytes)) {
            result->readFailed = true;
        } else if (request->preview) {
            result->bitmap = MakeOriginalBitmap(bytes.data(), bytes.size(), request->fileName);
        } else {
            result->bitmap = MakeHeightFittedBitmap(bytes.data(), bytes.size(), request->fileName,
                                                    request->width, request->height);
        }
        bytes.clear();  // a 10 MiB file is not held while the result waits in the queue
        if (request->target != nullptr &&
            request->target->Post(WM_IMAGE_DECODED, 0, reinterpret_cast<LPARAM>(result.get()))) {
            result.release();  // the window frees it
        }
    }
}

void StopDecodedResults(WindowPostTarget* target, HWND window) {
    if (target != nullptr) {
        target->Close();
    }
    DrainQueuedPayloads(window);
}

}  // namespace zovrel::ui
