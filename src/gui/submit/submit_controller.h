// Wires Submit All, Submit and the list's double-click to the core submit flow: the list model, the
// message boxes, the sounds, the progress window and the review. A run goes off the UI thread behind
// the progress window, which hears it through the one progress interface.
#pragma once

#include "core/base/prompt.h"
#include "core/submit/submit_flow.h"
#include "gui/base/progress_relay.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sendwell::gui {

class DesktopNotifier;
class SoundPlayer;
class SubmitProgressDialog;
class UrlListModel;

// The worker's SubmitProgress: every event is carried to the progress window on the UI thread, for as
// long as the window exists, through the windows' one progress relay.
class QueuedSubmitProgress : public sendwell::SubmitProgress {
public:
    explicit QueuedSubmitProgress(SubmitProgressDialog* dialog);

    void RunStarted(std::size_t addressCount, int engineCount) override;
    void AddressStarted(std::size_t index, std::size_t count, const std::string& address) override;
    void EngineStarted(const std::string& displayName) override;
    void RequestDone() override;
    void RunEnded() override;
    void SetStatusText(const std::string& text) override;

private:
    template <typename Apply>
    void Post(Apply apply);

    QPointer<SubmitProgressDialog> dialog_;
    ProgressRelay relay_;
};

// The running submission's progress window, or nullptr.
SubmitProgressDialog* ActiveProgressWindow();

class SubmitController : public QObject,
                         private sendwell::SubmitSource,
                         private sendwell::RunSounds,
                         private sendwell::SubmitSettings,
                         private sendwell::SubmissionLauncher,
                         private sendwell::RunReview {
    Q_OBJECT
public:
    // The run settings as they are when a run starts.
    using RunSettingsSource = std::function<sendwell::RunSettings()>;

    // owner holds the progress window and the review; takeFields copies the window's fields into the
    // database. sounds may be null (silent); it must outlive the controller or be replaced first.
    SubmitController(QWidget* owner, UrlListModel& list, sendwell::Prompt& messages,
                     RunSettingsSource settings, std::function<void()> takeFields, SoundPlayer* sounds);
    void setSoundPlayer(SoundPlayer* sounds) { sounds_ = sounds; }
    // Tells the desktop when a long run ends in the background; none: nothing is told.
    void setNotifier(DesktopNotifier* notifier);

    // Opens the review of the answer store modally; tests may replace it.
    using ReviewOpener = std::function<void(const std::filesystem::path& programFolder)>;
    void setReviewOpener(ReviewOpener opener) { openReview_ = std::move(opener); }
    // Last changes to each run's job before it starts (tests shorten the time-outs).
    void setJobAdjuster(std::function<void(sendwell::SubmitJob&)> adjust) { adjustJob_ = std::move(adjust); }

    bool runInProgress() const { return flow_.RunInProgress(); }

    void SubmitAll() { flow_.SubmitAll(); }
    void SubmitButton(const std::vector<std::size_t>& selectedRows) { flow_.SubmitRows(selectedRows); }
    void ListDoubleClicked(const std::vector<std::size_t>& selectedRows) {
        flow_.SubmitDoubleClickedRows(selectedRows);
    }

private:
    void TakeFields() override;
    const sendwell::UrlDatabase& Database() const override;
    void MarkAllSubmitted(std::string_view today) override;
    void MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today) override;
    void Play(sendwell::RunSound sound) override;
    sendwell::RunSettings Current() const override;
    bool FirstTimeNoticeDue() const override;
    void RecordFirstTimeNoticeShown() override;
    sendwell::RunTally RunAndWait(const sendwell::SubmitJob& job) override;
    void ShowRunInProgress() override;
    void Open(const std::filesystem::path& programFolder) override;

    QPointer<QWidget> owner_;
    UrlListModel& list_;
    RunSettingsSource settings_;
    std::function<void()> takeFields_;
    SoundPlayer* sounds_;
    QPointer<DesktopNotifier> notifier_;
    ReviewOpener openReview_;
    std::function<void(sendwell::SubmitJob&)> adjustJob_;
    sendwell::SubmitFlow flow_;
};

} // namespace sendwell::gui
