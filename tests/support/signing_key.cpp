#include "tests/support/signing_key.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <stdexcept>

namespace sendwell::test {

void SigningKey::Free::operator()(EVP_PKEY* key) const noexcept {
    EVP_PKEY_free(key);
}

SigningKey::SigningKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {
    if (!key_) {
        throw std::runtime_error("no Ed25519 key");
    }
}

SigningKey::~SigningKey() = default;

std::string SigningKey::Sign(std::string_view bytes) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1) {
        throw std::runtime_error("signing failed");
    }
    return signature;
}

std::string SigningKey::PublicKey(bool der) const {
    std::string bytes;
    if (der) {
        unsigned char* out = nullptr;
        const int length = i2d_PUBKEY(key_.get(), &out);
        bytes.assign(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length > 0 ? length : 0));
        OPENSSL_free(out);
    } else {
        bytes.resize(32);
        std::size_t length = bytes.size();
        EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char*>(bytes.data()), &length);
    }
    return Base64(bytes);
}

std::string Base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace sendwell::test
