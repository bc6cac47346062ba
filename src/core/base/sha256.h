// SHA-256 digests as lower-case hex, of bytes fed piece by piece or of a whole file.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False once the library has failed; later calls do nothing.
    bool Update(std::string_view bytes);
    // The digest of everything fed; none when the library failed.
    std::optional<std::string> Finish();

private:
    struct Context;
    std::unique_ptr<Context> context_;
    bool ok_ = false;
};

// Lower-case hex SHA-256 of a file's bytes; "" when it cannot be read.
std::string FileSha256(const std::filesystem::path& file);

} // namespace sendwell
