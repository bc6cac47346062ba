#include "gui/submit/submit_controller.h"

#include "core/submit/submit_commands.h"
#include "gui/base/desktop_notifier.h"
#include "gui/results/submit_review_dialog.h"
#include "gui/submit/submission_runner.h"
#include "gui/submit/submit_progress_dialog.h"
#include "gui/urldb/url_list_model.h"
#include "gui/widgets/sound_player.h"

namespace sendwell::gui {

SubmitController::SubmitController(QWidget* owner, UrlListModel& list, sendwell::Prompt& messages,
                                   RunSettingsSource settings, std::function<void()> takeFields,
                                   SoundPlayer* sounds)
    : QObject(owner), owner_(owner), list_(list), settings_(std::move(settings)),
      takeFields_(std::move(takeFields)), sounds_(sounds),
      flow_({*this, messages, *this, *this, *this, *this}) {
    openReview_ = [this](const std::filesystem::path& folder) {
        SubmitReviewDialog review(folder, owner_);
        review.exec();
    };
}

void SubmitController::TakeFields() {
    if (takeFields_) {
        takeFields_();
    }
}

const sendwell::UrlDatabase& SubmitController::Database() const {
    return list_.database();
}

void SubmitController::MarkAllSubmitted(std::string_view today) {
    list_.markAllSubmitted(today);
}

void SubmitController::MarkSubmittedAddresses(const std::vector<std::string>& addresses,
                                              std::string_view today) {
    list_.markSubmittedAddresses(addresses, today);
}

void SubmitController::Play(sendwell::RunSound sound) {
    if (sounds_ != nullptr) {
        sounds_->Play(sound == sendwell::RunSound::Started ? kSoundSubmitStart : kSoundSubmitEnd);
    }
}

sendwell::RunSettings SubmitController::Current() const {
    return settings_ ? settings_() : sendwell::RunSettings{};
}

bool SubmitController::FirstTimeNoticeDue() const {
    return sendwell::FirstTimeNoticeDue();
}

void SubmitController::RecordFirstTimeNoticeShown() {
    sendwell::RecordFirstTimeNoticeShown();
}

void SubmitController::setNotifier(DesktopNotifier* notifier) {
    notifier_ = notifier;
}

sendwell::RunTally SubmitController::RunAndWait(const sendwell::SubmitJob& job) {
    const auto started = notifier_ ? notifier_->now() : std::chrono::steady_clock::time_point{};
    sendwell::RunTally tally;
    if (!adjustJob_) {
        tally = RunSubmissionAndWait(owner_, job);
    } else {
        sendwell::SubmitJob adjusted = job;
        adjustJob_(adjusted);
        tally = RunSubmissionAndWait(owner_, adjusted);
    }
    if (notifier_) {
        const bool indexNowOnly = job.indexNow && sendwell::EnginesOn(job) == 0;
        const QString what = indexNowOnly ? tr("IndexNow submission") : tr("Submission");
        notifier_->WorkEndedSince(
            started, tally.cancelled ? tr("%1 cancelled").arg(what) : tr("%1 finished").arg(what),
            tr("%1 requests, %2 failed").arg(tally.requests).arg(tally.failed));
    }
    return tally;
}

void SubmitController::ShowRunInProgress() {
    if (SubmitProgressDialog* progress = ActiveProgressWindow()) {
        progress->raise();
        progress->activateWindow();
    }
}

void SubmitController::Open(const std::filesystem::path& programFolder) {
    if (openReview_) {
        openReview_(programFolder);
    }
}

} // namespace sendwell::gui
