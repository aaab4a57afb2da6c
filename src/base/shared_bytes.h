#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>

#include "base/bytes.h"

namespace zovrel {

// Bytes that never change once made, shared by every copy: copying costs one reference count
// whatever the size, so entries with 10 MiB images can be copied for each list row or thread.
// Anything that "changes" the bytes gives this object a new buffer; other copies keep theirs.
// Reads look like a const Bytes (and convert to one), so readers need not know.
class SharedBytes {
  public:
    using value_type = uint8_t;
    using size_type = size_t;
    using const_iterator = Bytes::const_iterator;
    using iterator = const_iterator;  // read-only either way

    SharedBytes() = default;
    // Implicit, so that `entry.imageBytes = bytes` reads as it would for a Bytes.
    SharedBytes(Bytes bytes)  // NOLINT(google-explicit-constructor)
        : bytes_(bytes.empty() ? nullptr : std::make_shared<const Bytes>(std::move(bytes))) {}
    SharedBytes(std::initializer_list<uint8_t> bytes) : SharedBytes(Bytes(bytes)) {}

    template <typename Iterator>
    void assign(Iterator first, Iterator last) {
        *this = SharedBytes(Bytes(first, last));
    }
    void clear() { bytes_.reset(); }

    const Bytes& Get() const { return bytes_ ? *bytes_ : Empty(); }
    operator const Bytes&() const { return Get(); }  // NOLINT(google-explicit-constructor)

    const uint8_t* data() const { return Get().data(); }
    size_t size() const { return Get().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return Get().begin(); }
    const_iterator end() const { return Get().end(); }
    const uint8_t& operator[](size_t i) const { return Get()[i]; }

    // True when both hold the very same buffer (then they are equal without a look).
    bool SharesBufferWith(const SharedBytes& other) const { return bytes_ == other.bytes_; }

    friend bool operator==(const SharedBytes& a, const SharedBytes& b) {
        return a.SharesBufferWith(b) || a.Get() == b.Get();
    }
    friend bool operator==(const SharedBytes& a, const Bytes& b) { return a.Get() == b; }

  private:
    static const Bytes& Empty() {
        static const Bytes empty;
        return empty;
    }

    std::shared_ptr<const Bytes> bytes_;  // null when empty
};

}  // namespace zovrel
