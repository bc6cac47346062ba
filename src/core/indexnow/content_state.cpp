#include "core/indexnow/content_state.h"

#include "core/base/atomic_file.h"
#include "core/urldb/database_file.h"
#include "core/web/page_fetcher.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

namespace sendwell {

namespace {

struct DigestFree {
    void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
};

// Hashes the body as it arrives instead of holding it.
class HashSink final : public BodySink {
public:
    HashSink() : context_(EVP_MD_CTX_new()) {
        ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
    }
    bool Write(std::string_view bytes) override {
        ok_ = ok_ && EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) == 1;
        return ok_;
    }
    std::string failureText() const override { return "The content could not be hashed."; }
    std::optional<std::string> Finish() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) {
            return std::nullopt;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        for (unsigned int i = 0; i < length; ++i) {
            hex.push_back(kHex[digest[i] >> 4]);
            hex.push_back(kHex[digest[i] & 0x0f]);
        }
        return hex;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestFree> context_;
    bool ok_ = false;
};

std::string Text(const nlohmann::json& object, const char* name) {
    auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace

bool SameContent(const ContentMark& before, const ContentMark& now) {
    if (!before.etag.empty() && !now.etag.empty()) {
        return before.etag == now.etag;
    }
    if (!before.lastModified.empty() && !now.lastModified.empty()) {
        return before.lastModified == now.lastModified;
    }
    return !before.hash.empty() && before.hash == now.hash;
}

std::optional<ContentMark> FetchContentMark(const std::string& address, const ConnectionSettings& connection,
                                            const TransferLimits& limits, const std::atomic<bool>* stop) {
    TransferSetup setup = PageRequestSetup(connection, limits);
    setup.stop = stop;
    setup.redirects = RedirectRule::Browser(5);
    HttpTransfer transfer(std::move(setup));
    if (!transfer.ready()) {
        return std::nullopt;
    }
    HashSink sink;
    TransferRequest request;
    request.url = address;
    request.sink = &sink;
    TransferResult result = transfer.Perform(request);
    if (!result.ok() || result.status < 200 || result.status > 299) {
        return std::nullopt;
    }
    std::optional<std::string> hash = sink.Finish();
    if (!hash) {
        return std::nullopt;
    }
    ContentMark mark;
    mark.etag = result.Header("ETag").value_or("");
    mark.lastModified = result.Header("Last-Modified").value_or("");
    mark.hash = *hash;
    return mark;
}

std::filesystem::path DefaultIndexNowStatePath() {
    return DefaultDatabasePath().parent_path() / "indexnow-state.json";
}

IndexNowState IndexNowState::Load(const std::filesystem::path& file) {
    IndexNowState state;
    std::string text;
    if (ReadWholeFile(file, text) != ReadStatus::Ok) {
        return state;
    }
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("addresses") || !document["addresses"].is_object()) {
        return state;
    }
    for (const auto& [address, entry] : document["addresses"].items()) {
        if (!entry.is_object()) {
            continue;
        }
        SubmittedContent content;
        content.submitted = Text(entry, "submitted");
        ContentMark mark{Text(entry, "etag"), Text(entry, "lastModified"), Text(entry, "sha256")};
        if (!mark.etag.empty() || !mark.lastModified.empty() || !mark.hash.empty()) {
            content.mark = mark;
        }
        state.entries_[address] = std::move(content);
    }
    return state;
}

bool IndexNowState::Save(const std::filesystem::path& file) const {
    nlohmann::json addresses = nlohmann::json::object();
    for (const auto& [address, content] : entries_) {
        nlohmann::json entry = {{"submitted", content.submitted}};
        if (content.mark) {
            entry["etag"] = content.mark->etag;
            entry["lastModified"] = content.mark->lastModified;
            entry["sha256"] = content.mark->hash;
        }
        addresses[address] = std::move(entry);
    }
    const nlohmann::json document = {{"addresses", std::move(addresses)}};
    // Addresses and validators are whatever the servers and the database held: never fail on bytes that
    // are not UTF-8.
    return ReplaceFileAtomically(
        file, document.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

const SubmittedContent* IndexNowState::Find(const std::string& address) const {
    auto it = entries_.find(address);
    return it == entries_.end() ? nullptr : &it->second;
}

void IndexNowState::Record(const std::string& address, SubmittedContent entry) {
    entries_[address] = std::move(entry);
}

} // namespace sendwell
