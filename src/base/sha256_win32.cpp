#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include "base/sha256.h"

namespace zovrel {

struct Sha256::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool ok = false;
    ~State() {
        if (hash != 0)
            CryptDestroyHash(hash);
        if (provider != 0)
            CryptReleaseContext(provider, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    // Verify-only context: no key container is needed just to hash.
    if (!CryptAcquireContextW(&state_->provider, nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
        state_->provider = 0;
        return;
    }
    if (!CryptCreateHash(state_->provider, CALG_SHA_256, 0, 0, &state_->hash)) {
        state_->hash = 0;
        return;
    }
    state_->ok = true;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    // CryptHashData takes a DWORD count; larger blocks go in slices.
    while (state_->ok && size > 0) {
        const DWORD slice = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        state_->ok = CryptHashData(state_->hash, bytes, slice, 0) != FALSE;
        bytes += slice;
        size -= slice;
    }
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    if (!state_->ok)
        return digest;
    Sha256Digest value{};
    DWORD length = static_cast<DWORD>(value.size());
    if (CryptGetHashParam(state_->hash, HP_HASHVAL, value.data(), &length, 0) &&
        length == value.size())
        digest = value;
    state_->ok = false;
    return digest;
}

}  // namespace zovrel
