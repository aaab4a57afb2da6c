#include <openssl/evp.h>

#include "base/sha256.h"

namespace zovrel {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    state_->ok = state_->context != nullptr &&
                 EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
    if (!state_->ok || size == 0)
        return;
    state_->ok = EVP_DigestUpdate(state_->context, data, size) == 1;
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    if (!state_->ok)
        return digest;
    unsigned int length = 0;
    Sha256Digest value{};
    if (EVP_DigestFinal_ex(state_->context, value.data(), &length) == 1 && length == value.size())
        digest = value;
    state_->ok = false;
    return digest;
}

}  // namespace zovrel
