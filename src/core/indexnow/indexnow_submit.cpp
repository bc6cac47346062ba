#include "core/indexnow/indexnow_submit.h"

#include "core/base/ascii_case.h"
#include "core/base/dates.h"
#include "core/base/markup_escape.h"
#include "core/history/history_store.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_key.h"
#include "core/indexnow/indexnow_record.h"
#include "core/results/answer_store.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <unordered_map>

namespace sendwell {

namespace {

// How often a request is sent again after a short Retry-After before IndexNow gives up for the run.
constexpr int kMaxBackoffs = 3;
// Longest answer kept: the endpoints answer with a few words.
constexpr std::uint64_t kMaxAnswerBytes = 1024 * 1024;

// The stored answer: what was asked and how it was answered, then the endpoint's own words.
void WriteAnswerFile(const std::string& path, const IndexNowAnswer& answer, const std::string& endpoint,
                     const std::string& body) {
    const Outcome& outcome = answer.outcome;
    std::string page =
        "<html><head><title>IndexNow</title></head><body>\r\n<p>IndexNow " + MarkupEscaped(endpoint) + ": " +
        std::to_string(answer.addressCount) + " addresses of " + MarkupEscaped(answer.host) + "</p>\r\n<p>" +
        (outcome.httpStatus != 0 ? std::to_string(outcome.httpStatus) + " " : std::string()) +
        MarkupEscaped(outcome.text) + "</p>\r\n<pre>" + MarkupEscaped(body) + "</pre>\r\n</body></html>\r\n";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(page.data(), 1, page.size(), f);
        std::fclose(f);
    }
}

// Waits up to seconds, returning early (false) when the stop flag is set.
bool WaitUnlessStopped(long long seconds, const std::atomic<bool>* stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stop != nullptr && stop->load()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(100), until - std::chrono::steady_clock::now()));
    }
    return stop == nullptr || !stop->load();
}

bool Stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

std::int64_t NowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// Each address of a request, as the history keeps it.
void RecordRequest(HistoryRecorder* history, RunCounts& counts, const std::vector<std::string>& chunk,
                   const IndexNowAnswer& sent, bool accepted, bool cancelled, std::int64_t millis) {
    if (history == nullptr) {
        return;
    }
    const RequestEnd end = accepted    ? RequestEnd::Accepted
                           : cancelled ? RequestEnd::Cancelled
                                       : RequestEnd::Failed;
    const std::int64_t at = NowSeconds();
    for (const std::string& address : chunk) {
        history->Add({0, address, std::string(kIndexNowStoreName), end, sent.outcome.httpStatus, millis,
                      sent.answerFile, at});
    }
    const auto count = static_cast<std::int64_t>(chunk.size());
    counts.requests += count;
    counts.accepted += accepted ? count : 0;
    counts.failed += accepted || cancelled ? 0 : count;
}

IndexNowSummary Submit(const std::vector<std::string>& addresses, const IndexNowJob& job,
                       IndexNowReport& report, HistoryRecorder* history, RunCounts& counts);

} // namespace

std::string KeyCheckAddress(std::string_view site, std::string_view key, std::string_view keyLocation) {
    const std::string host = SiteHost(site);
    if (host.empty() && keyLocation.find("://") == std::string_view::npos) {
        return {};
    }
    return KeyFileAddress(host, key, keyLocation);
}

AddressGrouping GroupByHost(const std::vector<std::string>& addresses) {
    AddressGrouping grouping;
    std::unordered_map<std::string, std::size_t> index;
    for (const std::string& address : addresses) {
        std::string host = AddressHost(address);
        if (host.empty()) {
            grouping.skipped.push_back(address);
            continue;
        }
        auto [it, added] = index.try_emplace(host, grouping.groups.size());
        if (added) {
            grouping.groups.push_back({host, {}});
        }
        grouping.groups[it->second].addresses.push_back(address);
    }
    return grouping;
}

std::string IndexNowBody(const std::string& host, const std::string& key, const std::string& keyLocation,
                         const std::vector<std::string>& addresses) {
    const nlohmann::json body = {
        {"host", host}, {"key", key}, {"keyLocation", keyLocation}, {"urlList", addresses}};
    // Addresses hold what was typed; bytes that are not UTF-8 must not end the run.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string IndexNowAnswerText(int status) {
    switch (status) {
    case 200:
        return "submitted";
    case 202:
        return "received, key check pending";
    case 400:
        return "bad request";
    case 403:
        return "key not valid: the key file was not found or does not hold the key";
    case 422:
        return "addresses do not belong to the host, or the key does not fit the rules";
    case 429:
        return "too many requests: try again later";
    default:
        return "unexpected answer " + std::to_string(status);
    }
}

bool IndexNowAccepted(int status) {
    return status == 200 || status == 202;
}

std::optional<long long> RetryAfterSeconds(std::string_view value) {
    long long seconds = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || seconds < 0) {
        return std::nullopt;
    }
    return seconds;
}

std::string IndexNowRefusal(const IndexNowSettings& settings) {
    const std::string rule = KeyRuleText(settings.key);
    if (rule.empty()) {
        return {};
    }
    return settings.key.empty() ? "IndexNow has no key yet: generate one and upload its key file."
                                : "The IndexNow key is not usable. " + rule;
}

IndexNowSummary SubmitToIndexNow(const std::vector<std::string>& addresses, const IndexNowJob& job,
                                 IndexNowReport& report) {
    if (std::string refused = IndexNowRefusal(job.settings); !refused.empty()) {
        IndexNowSummary summary;
        summary.refused = std::move(refused);
        report.SetStatusText(summary.refused);
        return summary;
    }
    RunCounts counts;
    IndexNowSummary summary = Submit(addresses, job, report, job.history, counts);
    summary.recorded = counts;
    return summary;
}

namespace {

IndexNowSummary Submit(const std::vector<std::string>& addresses, const IndexNowJob& job,
                       IndexNowReport& report, HistoryRecorder* history, RunCounts& counts) {
    IndexNowSummary summary;
    const IndexNowSettings& settings = job.settings;
    AddressGrouping grouping = GroupByHost(addresses);
    summary.skipped = grouping.skipped.size();
    IndexNowRecord state;
    const StateFileNote loaded = state.Load(job.historyFile, job.statePath);
    summary.stateWarning = loaded.warning;
    summary.stateError = loaded.error;
    for (const std::string* text : {&loaded.warning, &loaded.error}) {
        if (!text->empty()) {
            report.SetStatusText(*text);
        }
    }
    if (!loaded.ok()) {
        report.StateUnreadable(Outcome::Failed(loaded.error, {"IndexNow: " + loaded.error}));
    }
    const std::string endpoint = IndexNowEndpointAddress(settings.endpoint);

    TransferSetup setup;
    setup.connection = job.connection;
    setup.limits = job.limits;
    setup.limits.maxBody = kMaxAnswerBytes;
    setup.postHeaders = {"Content-Type: application/json; charset=utf-8", "Expect:"};
    setup.stop = job.stop;
    HttpTransfer transfer(std::move(setup));
    MakeAnswerStore(job.programFolder);

    // Every page is fetched for the unchanged-content check before the first request goes out, side by
    // side rather than one after another.
    std::map<std::string, std::optional<ContentMark>> fetched;
    if (!job.force) {
        std::vector<std::string> toCheck;
        for (const HostGroup& group : grouping.groups) {
            toCheck.insert(toCheck.end(), group.addresses.begin(), group.addresses.end());
        }
        report.SetStatusText("Checking " + std::to_string(toCheck.size()) + " addresses for changes");
        fetched = FetchContentMarks(toCheck, job.connection, job.limits, job.stop, &report);
        if (Stopped(job.stop)) {
            summary.stopped = true;
            return summary;
        }
    }

    for (const HostGroup& group : grouping.groups) {
        std::vector<std::string> toSend;
        std::map<std::string, std::optional<ContentMark>> marks;
        for (const std::string& address : group.addresses) {
            if (Stopped(job.stop)) {
                break;
            }
            if (!job.force) {
                auto found = fetched.find(address);
                std::optional<ContentMark> mark = found != fetched.end() ? found->second : std::nullopt;
                const SubmittedContent* before = state.Find(address);
                if (mark && before != nullptr && before->mark && SameContent(*before->mark, *mark)) {
                    ++summary.unchanged;
                    continue;
                }
                marks[address] = std::move(mark);
            }
            toSend.push_back(address);
        }
        const std::string keyLocation = KeyFileAddress(group.host, settings.key, settings.keyLocation);
        for (std::size_t first = 0; first < toSend.size(); first += kMaxAddressesPerRequest) {
            const std::vector<std::string> chunk(
                toSend.begin() + static_cast<std::ptrdiff_t>(first),
                toSend.begin() +
                    static_cast<std::ptrdiff_t>(std::min(toSend.size(), first + kMaxAddressesPerRequest)));
            const std::string body = IndexNowBody(group.host, settings.key, keyLocation, chunk);
            for (int backoffs = 0;; ++backoffs) {
                if (Stopped(job.stop)) {
                    summary.stopped = true;
                    return summary;
                }
                report.SetStatusText("Sending " + std::to_string(chunk.size()) + " addresses of " +
                                     group.host + " to IndexNow");
                IndexNowAnswer sent;
                sent.host = group.host;
                sent.addressCount = chunk.size();
                TextSink answer;
                TransferResult result;
                const auto began = std::chrono::steady_clock::now();
                if (transfer.ready()) {
                    TransferRequest request;
                    request.url = endpoint;
                    request.postBody = body;
                    request.sink = &answer;
                    result = transfer.Perform(request);
                } else {
                    result.error = "Cannot open the Internet connection.";
                }
                const std::int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - began)
                                                .count();
                Outcome& outcome = sent.outcome;
                outcome.httpStatus = result.status;
                outcome.text = result.status != 0 ? IndexNowAnswerText(result.status) : result.error;
                const bool accepted = IndexNowAccepted(result.status);
                // A short wait the endpoint asks for is waited for and the request sent again: only
                // the answer to the last try can be a failure.
                std::optional<long long> wait;
                if (result.status == 429) {
                    wait = RetryAfterSeconds(result.Header("Retry-After").value_or(""));
                }
                const bool sendAgain = wait && *wait <= job.longestBackoff.count() && backoffs < kMaxBackoffs;
                outcome.end = accepted || sendAgain ? Outcome::End::Ok : Outcome::End::Failed;
                if (accepted) {
                    const std::string now = UtcTimeText();
                    for (const std::string& address : chunk) {
                        auto it = marks.find(address);
                        state.Record(address, {now, it != marks.end() ? it->second : std::nullopt});
                    }
                    // Saved after each accepted request, so a cancel keeps what was accepted.
                    if (const StateFileNote saved = state.Save(); !saved.ok()) {
                        summary.stateError = saved.error;
                        outcome.text += ". " + saved.error;
                        outcome.end = Outcome::End::Failed;
                    }
                }
                sent.answerFile =
                    NextAnswerFileName("https://" + group.host, kIndexNowStoreName, job.programFolder);
                WriteAnswerFile(sent.answerFile, sent, endpoint, answer.text);
                if (!outcome.ok()) {
                    summary.failedRequests += accepted ? 0 : 1;
                    outcome.failureLines = {"IndexNow: " + outcome.text, "The URL was " + endpoint,
                                            "The host was " + group.host,
                                            "The Filename was " + sent.answerFile};
                }
                report.SetStatusText(outcome.text);
                RecordRequest(history, counts, chunk, sent, accepted, result.cancelled, millis);
                report.Answered(sent);

                if (result.status == 429) {
                    if (sendAgain) {
                        report.SetStatusText("IndexNow asks to wait " + std::to_string(*wait) +
                                             " s before sending again");
                        if (!WaitUnlessStopped(*wait, job.stop)) {
                            summary.stopped = true;
                            return summary;
                        }
                        continue;
                    }
                    summary.throttled = true;
                    report.SetStatusText("IndexNow stopped for this run: too many requests");
                    return summary;
                }
                if (accepted) {
                    summary.sent += chunk.size();
                }
                break;
            }
        }
        if (Stopped(job.stop)) {
            summary.stopped = true;
            break;
        }
    }
    return summary;
}

} // namespace

} // namespace sendwell
