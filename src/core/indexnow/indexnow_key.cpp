#include "core/indexnow/indexnow_key.h"

#include "core/base/atomic_file.h"
#include "core/web/page_fetcher.h"

#include <openssl/rand.h>
#include <stdexcept>

namespace sendwell {

namespace {

bool IsKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

} // namespace

std::string KeyRuleText(std::string_view key) {
    if (key.size() < kMinKeyLength || key.size() > kMaxKeyLength) {
        return "The key must be 8 to 128 characters long; this one has " + std::to_string(key.size()) + ".";
    }
    for (char c : key) {
        if (!IsKeyCharacter(c)) {
            return "The key may hold only the letters a-z and A-Z, the digits 0-9 and \"-\".";
        }
    }
    return {};
}

bool IsValidIndexNowKey(std::string_view key) {
    return KeyRuleText(key).empty();
}

std::string GenerateIndexNowKey() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        throw std::runtime_error("The system's random source failed; no key was made.");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key.push_back(kHex[b >> 4]);
        key.push_back(kHex[b & 0x0f]);
    }
    return key;
}

std::string KeyFileName(std::string_view key) {
    return std::string(key) + ".txt";
}

std::filesystem::path WriteKeyFile(const std::filesystem::path& folder, std::string_view key) {
    // A name built from a refused key could point anywhere.
    if (!IsValidIndexNowKey(key)) {
        return {};
    }
    std::filesystem::path file = folder / KeyFileName(key);
    return ReplaceFileAtomically(file, key) ? file : std::filesystem::path();
}

std::string KeyFileAddress(std::string_view host, std::string_view key, std::string_view keyLocation) {
    if (!keyLocation.empty()) {
        if (keyLocation.front() == '/') {
            return "https://" + std::string(host) + std::string(keyLocation);
        }
        return std::string(keyLocation);
    }
    return "https://" + std::string(host) + "/" + KeyFileName(key);
}

KeyFileCheck CheckKeyFile(const std::string& address, std::string_view key,
                          const ConnectionSettings& connection, const TransferLimits& limits,
                          const std::atomic<bool>* stop) {
    KeyFileCheck check;
    check.address = address;
    TransferLimits bounded = limits;
    bounded.maxBody = 4096; // anything longer is not the key anyway
    TransferSetup setup = PageRequestSetup(connection, bounded);
    setup.stop = stop;
    TextSink sink;
    TransferResult result;
    {
        HttpTransfer transfer(std::move(setup));
        if (!transfer.ready()) {
            check.text = "The key file could not be fetched: " + std::string(kCannotOpenConnectionText);
            return check;
        }
        TransferRequest request;
        request.url = address;
        request.sink = &sink;
        result = transfer.Perform(request);
    }
    check.status = result.status;
    if (result.status == 0) {
        check.text = "The key file " + address + " could not be fetched: " + result.error;
        return check;
    }
    if (result.status < 200 || result.status > 299) {
        check.verdict = KeyFileCheck::Verdict::Missing;
        check.text = "The key file " + address + " is missing: the site answered " +
                     std::to_string(result.status) + ".";
        return check;
    }
    if (!result.ok() && result.error != AnswerCutText(bounded.maxBody)) {
        check.text = "The key file " + address + " could not be read whole: " + result.error;
        return check;
    }
    if (sink.text == key) {
        check.verdict = KeyFileCheck::Verdict::Served;
        check.text = "The key file " + address + " serves exactly the key.";
        return check;
    }
    check.verdict = KeyFileCheck::Verdict::WrongContent;
    const bool withLineEnd = sink.text.size() > key.size() && sink.text.compare(0, key.size(), key) == 0 &&
                             sink.text.find_first_not_of("\r\n", key.size()) == std::string::npos;
    check.text = "The key file " + address + " does not hold exactly the key" +
                 (withLineEnd ? ": remove the line break after it." : ".");
    return check;
}

} // namespace sendwell
