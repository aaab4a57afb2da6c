#include "clipboard/stored_image.h"

#include <utility>

namespace zovrel {

StoredImage StoredImage::InFile(std::wstring path, const FileStamp& stamp) {
    StoredImage image;
    image.path_ = std::move(path);
    image.size_ = stamp.size;
    image.writeTime_ = stamp.writeTime;
    return image;
}

bool StoredImage::Read(SharedBytes& out) const {
    if (!IsFile()) {
        out = bytes_;
        return true;
    }
    out.clear();
    if (size_ > SIZE_MAX)
        return false;
    Bytes bytes;
    // A file grown past the recorded size fails here without being read.
    if (ReadWholeFile(path_, static_cast<size_t>(size_), bytes) != FileRead::READ ||
        bytes.size() != size_)
        return false;
    out = SharedBytes(std::move(bytes));
    return true;
}

}  // namespace zovrel
