#include "ui/saved_port_reader.h"

namespace zovrel::ui {

SavedPortReader::SavedPortReader(std::function<std::wstring()> read) : read_(std::move(read)) {}

std::wstring SavedPortReader::Read(bool fresh) {
    std::lock_guard lock(lock_);
    if (fresh || !valid_) {
        lastValue_ = read_();
        valid_ = true;
    }
    return lastValue_;
}

}  // namespace zovrel::ui
