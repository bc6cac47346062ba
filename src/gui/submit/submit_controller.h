// Submit All, Submit and the list's double-click: the checks, the firewall tip, the run, the review and
// the marking of the submitted rows.
#pragma once

#include "core/submit/submission_run.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sendwell::gui {

class MainWindow;
class SoundPlayer;

class SubmitController : public QObject {
    Q_OBJECT
public:
    // sounds may be null (silent); it must outlive the controller or be replaced first.
    SubmitController(MainWindow& window, SoundPlayer* sounds);
    void setSoundPlayer(SoundPlayer* sounds) { sounds_ = sounds; }

    // Opens the review of the answer store modally; tests may replace it.
    using ReviewOpener = std::function<void(const std::filesystem::path& programFolder)>;
    void setReviewOpener(ReviewOpener opener) { openReview_ = std::move(opener); }
    // Last changes to each run's job before it starts (tests shorten the time-outs).
    void setJobAdjuster(std::function<void(sendwell::SubmitJob&)> adjust) { adjustJob_ = std::move(adjust); }

    bool runInProgress() const { return running_; }

public slots:
    void SubmitAll();
    void SubmitButton();
    void ListDoubleClicked();

private:
    void ShowFirstTimeNotice();
    void SubmitSelectedRows();
    void SubmitSelected(const std::vector<std::string>& addresses);
    // Runs the worker over a copy of the list; true when the list was empty and nothing ran.
    bool SubmitList(const std::vector<std::string>& addresses);
    sendwell::SubmitJob MakeJob(const std::vector<std::string>& addresses) const;
    void OpenReview();
    // While a run is in progress another command only brings its progress window forward.
    bool RefuseSecondRun();

    MainWindow& window_;
    void Play(int sound);

    SoundPlayer* sounds_;
    ReviewOpener openReview_;
    std::function<void(sendwell::SubmitJob&)> adjustJob_;
    bool running_ = false;
};

} // namespace sendwell::gui
