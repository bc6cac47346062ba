#include "core/web/status_run.h"

#include "core/base/progress.h"
#include "core/web/fetch_engine.h"
#include "core/web/status_check.h"
#include "core/web/url_parts.h"

#include <utility>

namespace sendwell {

namespace {

// Longest library message put into a row's text, as for the single check.
constexpr std::size_t kMaxErrorText = 1024;

StatusRow RowOf(std::string address, const FetchResult& result) {
    StatusRow row;
    row.address = std::move(address);
    row.time = std::chrono::duration_cast<std::chrono::milliseconds>(result.elapsed);
    if (result.outcome.ok() && result.status > 0) {
        row.code = result.status;
        row.text = StatusCodeText(result.status);
        if (!result.chain.empty()) {
            row.finalUrl = result.finalUrl;
        }
    } else {
        row.text = "Error: " + result.outcome.text.substr(0, kMaxErrorText);
    }
    return row;
}

} // namespace

StatusRunSummary RunStatusCheck(const std::vector<std::string>& addresses, const StatusRunSetup& setup,
                                const std::function<void(std::size_t index, StatusRow&& row)>& onRow) {
    StatusRunSummary summary;
    const std::uint64_t total = addresses.size();
    auto deliver = [&](std::size_t index, StatusRow&& row) {
        ++summary.checked;
        summary.failed += row.failed() ? 1 : 0;
        if (setup.progress != nullptr) {
            setup.progress->SetStatusText(row.address);
            setup.progress->SetSteps(summary.checked, total);
        }
        onRow(index, std::move(row));
    };
    if (setup.progress != nullptr) {
        setup.progress->SetSteps(0, total);
    }

    FetchEngine engine(PageLikeFetchSetup(setup.connection, setup.concurrency, setup.perHost, setup.stop));

    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::string url = CompleteAddress(addresses[i]);
        if (!IsFetchableAddress(url)) {
            StatusRow row;
            row.address = addresses[i];
            row.text = "Error: Invalid URL";
            deliver(i, std::move(row));
            continue;
        }
        engine.Add({std::move(url), false, i});
    }
    if (setup.stop != nullptr && setup.stop->load()) {
        summary.cancelled = true;
        return summary;
    }
    const FetchSummary fetched = engine.Run([&](FetchResult&& result) {
        if (result.outcome.cancelled()) {
            return; // not checked: no row rather than a failure that never was
        }
        const std::size_t index = static_cast<std::size_t>(result.tag);
        deliver(index, RowOf(addresses[index], result));
    });
    summary.cancelled = fetched.cancelled || (setup.stop != nullptr && setup.stop->load());
    return summary;
}

ReportTable StatusReport(const std::vector<StatusRow>& rows) {
    ReportTable table;
    table.name = "status";
    table.columns = {"address", "code", "text", "time_ms", "redirected_to"};
    table.rows.reserve(rows.size());
    for (const StatusRow& row : rows) {
        ReportRow out;
        out.cells = {row.address, std::int64_t{row.code}, row.text, std::int64_t{row.time.count()},
                     row.finalUrl};
        out.seconds = static_cast<double>(row.time.count()) / 1000.0;
        if (row.failed()) {
            out.failure = std::to_string(row.code) + " " + row.text;
        }
        table.rows.push_back(std::move(out));
    }
    return table;
}

} // namespace sendwell
