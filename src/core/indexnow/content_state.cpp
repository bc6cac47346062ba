#include "core/indexnow/content_state.h"

#include "core/base/atomic_file.h"
#include "core/base/sha256.h"
#include "core/web/page_fetcher.h"

#include <memory>
#include <nlohmann/json.hpp>

namespace sendwell {

namespace {

// Hashes the body as it arrives instead of holding it.
class HashSink final : public BodySink {
public:
    bool Write(std::string_view bytes) override { return sha_.Update(bytes); }
    std::string failureText() const override { return "The content could not be hashed."; }
    std::optional<std::string> Finish() { return sha_.Finish(); }

private:
    Sha256 sha_;
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
