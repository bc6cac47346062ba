#include "core/submit/submit_flow.h"

#include "core/base/dates.h"
#include "core/submit/submit_commands.h"

#include <exception>
#include <utility>

namespace sendwell {

namespace {

// Clears the run flag however the run ends.
class RunningScope {
public:
    explicit RunningScope(bool& running) : running_(running) { running_ = true; }
    ~RunningScope() { running_ = false; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

private:
    bool& running_;
};

SubmitResult Refused(SubmitRefusal reason) {
    SubmitResult result;
    result.refused = reason;
    return result;
}

} // namespace

SubmitJob MakeSubmitJob(std::vector<std::string> addresses, std::string email, const RunSettings& settings) {
    SubmitJob job;
    job.addresses = std::move(addresses);
    job.email = std::move(email);
    job.connection = settings.connection;
    job.programFolder = settings.programFolder;
    job.timeouts = settings.timeouts;
    job.indexNow = settings.indexNow;
    return job;
}

std::string RunFailedText(std::string_view reason) {
    return "The submission stopped because of an error: " + std::string(reason);
}

bool SubmitFlow::RefuseSecondRun() {
    if (!running_) {
        return false;
    }
    parts_.launcher.ShowRunInProgress();
    return true;
}

void SubmitFlow::ShowFirstTimeNotice() {
    if (parts_.settings.FirstTimeNoticeDue()) {
        parts_.messages.ShowMessage(kFirewallTipText, kFirewallTipCaption, MessageIcon::Information);
        parts_.settings.RecordFirstTimeNoticeShown();
    }
}

SubmitResult SubmitFlow::SubmitAll() {
    if (RefuseSecondRun()) {
        return Refused(SubmitRefusal::RunInProgress);
    }
    parts_.list.TakeFields();
    const UrlDatabase& db = parts_.list.Database();
    switch (CheckSubmitEmail(db.email())) {
    case EmailCheck::Empty:
        parts_.messages.ShowMessage(kEmptyEmailText, kAppCaption);
        return Refused(SubmitRefusal::EmptyEmail);
    case EmailCheck::NoAt:
        parts_.messages.ShowMessage(InvalidEmailText(), kAppCaption);
        return Refused(SubmitRefusal::InvalidEmail);
    case EmailCheck::Ok:
        break;
    }
    parts_.sounds.Play(RunSound::Started);
    if (db.recordCount() == 0) {
        parts_.messages.ShowMessage(kNoUrlsText, kNoUrlsCaption);
        return Refused(SubmitRefusal::NoAddresses);
    }
    ShowFirstTimeNotice();

    RunningScope running(running_);
    SubmitResult result = RunAndReview(AllAddresses(db));
    // Every row counts as submitted, cancelled run or not.
    parts_.list.MarkAllSubmitted(TodayText());
    return result;
}

SubmitResult SubmitFlow::SubmitRows(const std::vector<std::size_t>& rows) {
    if (RefuseSecondRun()) {
        return Refused(SubmitRefusal::RunInProgress);
    }
    ShowFirstTimeNotice();
    return SubmitAddresses(AddressesOfRows(parts_.list.Database(), rows));
}

SubmitResult SubmitFlow::SubmitDoubleClickedRows(const std::vector<std::size_t>& rows) {
    if (RefuseSecondRun()) {
        return Refused(SubmitRefusal::RunInProgress);
    }
    return SubmitAddresses(AddressesOfRows(parts_.list.Database(), rows));
}

SubmitResult SubmitFlow::SubmitAddresses(const std::vector<std::string>& addresses) {
    if (addresses.empty()) {
        return Refused(SubmitRefusal::NothingSelected);
    }
    parts_.sounds.Play(RunSound::Started);
    parts_.list.TakeFields();
    RunningScope running(running_);
    SubmitResult result = RunAndReview(addresses);
    parts_.list.MarkSubmittedAddresses(addresses, TodayText());
    return result;
}

SubmitResult SubmitFlow::RunAndReview(const std::vector<std::string>& addresses) {
    const RunSettings settings = parts_.settings.Current();
    SubmitResult result;
    try {
        result.run =
            parts_.launcher.RunAndWait(MakeSubmitJob(addresses, parts_.list.Database().email(), settings));
    } catch (const std::exception& e) {
        result.error = RunFailedText(e.what());
    } catch (...) {
        result.error = RunFailedText("unknown error");
    }
    parts_.sounds.Play(RunSound::Ended);
    if (!result.error.empty()) {
        parts_.messages.ShowMessage(result.error, kAppCaption, MessageIcon::Error);
    }
    // The run itself went through; only its record is missing.
    if (!result.run.historyError.empty()) {
        parts_.messages.ShowMessage(result.run.historyError, kAppCaption, MessageIcon::Warning);
    }
    parts_.review.Open(settings.programFolder);
    return result;
}

} // namespace sendwell
