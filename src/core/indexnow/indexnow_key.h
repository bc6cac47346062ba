// The IndexNow key: its rules, a fresh random one, the key file the user uploads to the site, and the
// check that the site serves that file.
#pragma once

#include "core/base/connection_settings.h"
#include "core/web/transfer.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

namespace sendwell {

inline constexpr std::size_t kMinKeyLength = 8;
inline constexpr std::size_t kMaxKeyLength = 128;

// 8 to 128 characters of a-z, A-Z, 0-9 and "-".
bool IsValidIndexNowKey(std::string_view key);
// Why key is refused, "" when it fits the rules.
std::string KeyRuleText(std::string_view key);

// 32 lower-case hex characters from the system's cryptographic random source. Throws
// std::runtime_error when that source fails.
std::string GenerateIndexNowKey();

// "<key>.txt"
std::string KeyFileName(std::string_view key);
// Writes folder/<key>.txt holding exactly the key; returns the file, or "" when it could not be written.
std::filesystem::path WriteKeyFile(const std::filesystem::path& folder, std::string_view key);

// Where the engines look for the key of host ("name" or "name:port"): the key location when set (an
// address as it is, or a path starting with "/" on host), else https://<host>/<key>.txt.
std::string KeyFileAddress(std::string_view host, std::string_view key, std::string_view keyLocation);

struct KeyFileCheck {
    enum class Verdict { Served, Missing, WrongContent, Unreachable };
    Verdict verdict = Verdict::Unreachable;
    std::string address; // what was fetched
    int status = 0;      // 0 when no answer came
    std::string text;    // plain words for the user
};

// Fetches the key file at address and says whether it serves exactly key.
KeyFileCheck CheckKeyFile(const std::string& address, std::string_view key,
                          const ConnectionSettings& connection, const TransferLimits& limits = {},
                          const std::atomic<bool>* stop = nullptr);

} // namespace sendwell
