#include "core/base/sha256.h"

#include <array>
#include <cstdio>
#include <openssl/evp.h>

namespace sendwell {

struct Sha256::Context {
    struct Free {
        void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> md{EVP_MD_CTX_new()};
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    ok_ = context_->md && EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

bool Sha256::Update(std::string_view bytes) {
    ok_ = ok_ && EVP_DigestUpdate(context_->md.get(), bytes.data(), bytes.size()) == 1;
    return ok_;
}

std::optional<std::string> Sha256::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_->md.get(), digest, &length) != 1) {
        ok_ = false;
        return std::nullopt;
    }
    ok_ = false; // a finished context takes no more bytes
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

std::string FileSha256(const std::filesystem::path& file) {
    struct Close {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Close> in(std::fopen(file.c_str(), "rb"));
    if (!in) {
        return {};
    }
    Sha256 sha;
    std::array<char, 65536> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (!sha.Update(std::string_view(buffer.data(), n))) {
            return {};
        }
    }
    if (std::ferror(in.get()) != 0) {
        return {};
    }
    return sha.Finish().value_or("");
}

} // namespace sendwell
