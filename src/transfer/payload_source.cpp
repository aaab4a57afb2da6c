#include "transfer/payload_source.h"

#include <algorithm>

#include "protocol/frame_codec.h"
#include "transfer/outbound_file.h"

namespace zovrel {

namespace {

// Large enough for few reads and cancel checks per file, small beside the memory limit.
constexpr size_t CHECKSUM_PIECE = 256 * 1024;

}  // namespace

const uint8_t* MemoryPayloadSource::Next(size_t count) {
    if (count > bytes_.size() - position_)
        return nullptr;
    const uint8_t* data = bytes_.data() + position_;
    position_ += count;
    return data;
}

bool MemoryPayloadSource::Rewind() {
    position_ = 0;
    return true;
}

FilePayloadSource::FilePayloadSource(std::unique_ptr<OutboundFile> file, uint64_t size)
    : file_(std::move(file)), size_(size) {}

FilePayloadSource::~FilePayloadSource() = default;

const uint8_t* FilePayloadSource::Next(size_t count) {
    if (count > size_ - position_)
        return nullptr;
    if (buffer_.size() < count)
        buffer_.resize(count);
    // A file that ends early or fails to read must not be sent with wrong data.
    if (!file_->ReadExactly(buffer_.data(), count))
        return nullptr;
    position_ += count;
    return buffer_.data();
}

bool FilePayloadSource::Rewind() {
    if (!file_->Rewind())
        return false;
    position_ = 0;
    return true;
}

ChecksumPass ChecksumWholeSource(PayloadSource& source, const std::function<bool()>& cancelled,
                                 uint32_t& sum) {
    sum = 0;
    const uint64_t size = source.Size();
    for (uint64_t at = 0; at < size;) {
        if (cancelled())
            return ChecksumPass::CANCELLED;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(CHECKSUM_PIECE, size - at));
        const uint8_t* data = source.Next(n);
        if (data == nullptr)
            return ChecksumPass::UNREADABLE;
        sum = ProtocolChecksumContinue(sum, data, n, at);
        at += n;
    }
    return source.Rewind() ? ChecksumPass::DONE : ChecksumPass::UNREADABLE;
}

}  // namespace zovrel
