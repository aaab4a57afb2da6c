#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zovrel {

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 through the platform's hash service, fed in pieces. When the service cannot be
// acquired the digest stays all zero; callers treat that as just another value.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, size_t size);
    // Ends the hash; further updates are ignored.
    Sha256Digest Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zovrel
