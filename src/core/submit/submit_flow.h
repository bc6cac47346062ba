// Submit All, Submit and the list's double-click from start to end: the checks, the sounds, the
// firewall tip, the run, the review and the marking of the submitted rows. The windows supply the
// pieces through the small interfaces below and only wire their controls to it.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "core/submit/submission_run.h"
#include "core/urldb/url_database.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

enum class RunSound { Started, Ended };

class RunSounds {
public:
    virtual ~RunSounds() = default;
    virtual void Play(RunSound sound) = 0;
};

// The database list and the window's fields, as a run needs them.
class SubmitSource {
public:
    virtual ~SubmitSource() = default;
    // Copies the window's fields into the database, so that the e-mail address is the one shown.
    virtual void TakeFields() = 0;
    virtual const UrlDatabase& Database() const = 0;
    // Today's date and one more submission for rows, with every view of the list kept in step.
    virtual void MarkAllSubmitted(std::string_view today) = 0;
    virtual void MarkSubmittedAddresses(const std::vector<std::string>& addresses,
                                        std::string_view today) = 0;
};

// What a run's job takes from the program's settings.
struct RunSettings {
    ConnectionSettings connection;
    std::filesystem::path programFolder;
    SubmissionTimeouts timeouts;
    std::optional<IndexNowSettings> indexNow; // set when runs include IndexNow
};

class SubmitSettings {
public:
    virtual ~SubmitSettings() = default;
    virtual RunSettings Current() const = 0;
    // The firewall tip is shown once, before the first submission.
    virtual bool FirstTimeNoticeDue() const = 0;
    virtual void RecordFirstTimeNoticeShown() = 0;
};

class SubmissionLauncher {
public:
    virtual ~SubmissionLauncher() = default;
    // Runs the worker over the job and returns what it did when it has ended, cancelled or not. Throws
    // what the worker threw.
    virtual RunTally RunAndWait(const SubmitJob& job) = 0;
    // A command came while a run is in progress: bring the run's window forward.
    virtual void ShowRunInProgress() = 0;
};

class RunReview {
public:
    virtual ~RunReview() = default;
    // Shows the answers stored under programFolder and returns when the user has closed the review.
    virtual void Open(const std::filesystem::path& programFolder) = 0;
};

// Why a command did not start a run; the user has been told (or, for an empty selection, there was
// nothing to tell).
enum class SubmitRefusal { None, RunInProgress, EmptyEmail, InvalidEmail, NoAddresses, NothingSelected };

// What a submit command did: refused with its reason, or ran.
struct SubmitResult {
    SubmitRefusal refused = SubmitRefusal::None;
    RunTally run;      // when it ran
    std::string error; // the worker stopped with an error: why (the run still ended as usual)

    bool ran() const { return refused == SubmitRefusal::None; }
};

class SubmitFlow {
public:
    struct Parts {
        SubmitSource& list;
        Prompt& messages;
        RunSounds& sounds;
        SubmitSettings& settings;
        SubmissionLauncher& launcher;
        RunReview& review;
    };
    explicit SubmitFlow(Parts parts) : parts_(parts) {}

    // Every row of the database, after the e-mail and empty-list checks and the firewall tip.
    SubmitResult SubmitAll();
    // The Submit button: the firewall tip, then the given (selected) rows when there are any.
    SubmitResult SubmitRows(const std::vector<std::size_t>& rows);
    // A double-click in the list: the given rows, without the tip.
    SubmitResult SubmitDoubleClickedRows(const std::vector<std::size_t>& rows);

    // From the start of a run until its rows are marked; meanwhile every command only brings the run
    // forward.
    bool RunInProgress() const { return running_; }

private:
    bool RefuseSecondRun();
    void ShowFirstTimeNotice();
    SubmitResult SubmitAddresses(const std::vector<std::string>& addresses);
    // Launch, end sound, review; a failed worker is reported before the review.
    SubmitResult RunAndReview(const std::vector<std::string>& addresses);

    Parts parts_;
    bool running_ = false;
};

// The worker's job for a run over addresses.
SubmitJob MakeSubmitJob(std::vector<std::string> addresses, std::string email, const RunSettings& settings);

// Shown when the worker failed: the run still ends with the review and the marking.
std::string RunFailedText(std::string_view reason);

} // namespace sendwell
