// A throw-away Ed25519 key pair made for one test, to sign stand-in installers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

typedef struct evp_pkey_st EVP_PKEY;

namespace sendwell::test {

class SigningKey {
public:
    SigningKey();
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // The 64-byte signature of bytes.
    std::string Sign(std::string_view bytes) const;
    // The public key as the program reads it: base64 of the raw 32 bytes, or (der) of the DER key that
    // `openssl pkey -pubout` prints.
    std::string PublicKey(bool der = false) const;

private:
    struct Free {
        void operator()(EVP_PKEY* key) const noexcept;
    };
    std::unique_ptr<EVP_PKEY, Free> key_;
};

std::string Base64(std::string_view bytes);

} // namespace sendwell::test
