#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/bytes.h"

namespace zovrel {

class OutboundFile;

// Where the payload of one send comes from, read front to back: once whole for the checksum,
// then again chunk by chunk as the chunks go out.
class PayloadSource {
  public:
    virtual ~PayloadSource() = default;
    virtual uint64_t Size() const = 0;
    // The next `count` bytes, valid until the next call; null when they cannot all be had (a
    // read error, a file that ends early, or a count past the end).
    virtual const uint8_t* Next(size_t count) = 0;
    // Starts again at the first byte.
    virtual bool Rewind() = 0;
};

// Content already in memory (texts and images); the bytes must outlive the source.
class MemoryPayloadSource final : public PayloadSource {
  public:
    explicit MemoryPayloadSource(const Bytes& bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    const uint8_t* Next(size_t count) override;
    bool Rewind() override;

  private:
    const Bytes& bytes_;
    size_t position_ = 0;
};

// A file opened once for the whole send, never held whole in memory: what is checksummed is
// read from the same open file as what is sent.
class FilePayloadSource final : public PayloadSource {
  public:
    FilePayloadSource(std::unique_ptr<OutboundFile> file, uint64_t size);
    ~FilePayloadSource() override;
    uint64_t Size() const override { return size_; }
    const uint8_t* Next(size_t count) override;
    bool Rewind() override;

  private:
    std::unique_ptr<OutboundFile> file_;
    uint64_t size_;
    uint64_t position_ = 0;
    Bytes buffer_;
};

enum class ChecksumPass { DONE, CANCELLED, UNREADABLE };

// The checksum of the whole source, read in pieces with `cancelled` asked before each; the
// source is rewound afterwards.
ChecksumPass ChecksumWholeSource(PayloadSource& source, const std::function<bool()>& cancelled,
                                 uint32_t& sum);

}  // namespace zovrel
