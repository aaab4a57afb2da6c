#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include "base/sha256.h"
#include "base/win32_handle.h"

namespace zovrel {

namespace {

struct CryptProvider {
    using Type = HCRYPTPROV;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { CryptReleaseContext(h, 0); }
};
struct CryptHash {
    using Type = HCRYPTHASH;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { CryptDestroyHash(h); }
};

}  // namespace

struct Sha256::State {
    UniqueResource<CryptProvider> provider;
    UniqueResource<CryptHash> hash;  // declared later, so destroyed before its provider
    bool ok = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    // Verify-only context: no key container is needed just to hash.
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return;
    state_->provider.Reset(provider);
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash))
        return;
    state_->hash.Reset(hash);
    state_->ok = true;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    // CryptHashData takes a DWORD count; larger blocks go in slices.
    while (state_->ok && size > 0) {
        const DWORD slice = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        state_->ok = CryptHashData(state_->hash.Get(), bytes, slice, 0) != FALSE;
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
    if (CryptGetHashParam(state_->hash.Get(), HP_HASHVAL, value.data(), &length, 0) &&
        length == value.size())
        digest = value;
    state_->ok = false;
    return digest;
}

}  // namespace zovrel
