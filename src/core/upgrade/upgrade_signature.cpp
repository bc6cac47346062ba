#include "core/upgrade/upgrade_signature.h"

#include "core/base/program_settings.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>

// The release key, set when the program is configured (-DSENDWELL_UPGRADE_PUBLIC_KEY=<base64>).
#ifndef SENDWELL_UPGRADE_PUBLIC_KEY
#define SENDWELL_UPGRADE_PUBLIC_KEY ""
#endif

namespace sendwell {

namespace {

constexpr std::size_t kRawKeyBytes = 32;

struct FreeKey {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, FreeKey>;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

KeyPtr ParseKey(std::string_view keyText) {
    const std::optional<std::string> bytes = DecodeBase64(keyText);
    if (!bytes) {
        return nullptr;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes->data());
    if (bytes->size() == kRawKeyBytes) {
        return KeyPtr(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, data, kRawKeyBytes));
    }
    const unsigned char* at = data;
    KeyPtr key(d2i_PUBKEY(nullptr, &at, static_cast<long>(bytes->size())));
    // Another kind of key, or bytes after the key, is not what the user meant to trust.
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519 ||
        at != data + static_cast<std::ptrdiff_t>(bytes->size())) {
        return nullptr;
    }
    return key;
}

} // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && text.size() > padding && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    std::string bytes;
    unsigned bits = 0;
    int pending = 0;
    for (char c : text.substr(0, text.size() - padding)) {
        const int value = Base64Value(c);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            bytes.push_back(static_cast<char>((bits >> pending) & 0xff));
        }
    }
    // Padding stands for whole missing bytes only; the bits it leaves over are zero.
    if ((bits & ((1u << pending) - 1)) != 0) {
        return std::nullopt;
    }
    return bytes;
}

bool IsUsablePublicKey(std::string_view keyText) {
    return ParseKey(keyText) != nullptr;
}

bool SignatureVerifies(std::string_view message, std::string_view signature, std::string_view keyText) {
    if (signature.size() != kSignatureBytes) {
        return false;
    }
    KeyPtr key = ParseKey(keyText);
    if (!key) {
        return false;
    }
    struct FreeContext {
        void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, FreeContext> context(EVP_MD_CTX_new());
    return context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::vector<std::string> TrustedUpgradeKeys() {
    std::vector<std::string> keys;
    for (std::string key : {std::string(SENDWELL_UPGRADE_PUBLIC_KEY), ProgramSettings().UpgradePublicKey()}) {
        if (IsUsablePublicKey(key)) {
            keys.push_back(std::move(key));
        }
    }
    return keys;
}

} // namespace sendwell
