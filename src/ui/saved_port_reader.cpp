#include "ui/saved_port_reader.h"

namespace zovrel::ui {

SavedPortReader::SavedPortReader(std::function<std::wstring()> read,
                                 std::function<std::optional<FileStamp>()> stamp)
    : read_(std::move(read)), stamp_(std::move(stamp)) {}

std::wstring SavedPortReader::Read(bool fresh) {
    std::lock_guard lock(lock_);
    // Taken before the read: a write between the two makes the next call read again.
    const std::optional<FileStamp> stamp = stamp_();
    if (fresh || !valid_ || stamp != lastStamp_) {
        lastValue_ = read_();
        lastStamp_ = stamp;
        valid_ = true;
    }
    return lastValue_;
}

}  // namespace zovrel::ui
