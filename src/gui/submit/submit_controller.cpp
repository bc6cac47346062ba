#include "gui/submit/submit_controller.h"

#include "core/submit/submit_commands.h"
#include "gui/app/main_window.h"
#include "gui/results/submit_review_dialog.h"
#include "gui/submit/submission_runner.h"
#include "gui/submit/submit_progress_dialog.h"
#include "gui/urldb/url_list_model.h"
#include "gui/widgets/sound_player.h"

namespace sendwell::gui {

SubmitController::SubmitController(MainWindow& window, SoundPlayer* sounds)
    : QObject(&window), window_(window), sounds_(sounds) {
    openReview_ = [this](const std::filesystem::path& folder) {
        SubmitReviewDialog review(folder, &window_);
        review.exec();
    };
}

void SubmitController::Play(int sound) {
    if (sounds_ != nullptr) {
        sounds_->Play(sound);
    }
}

bool SubmitController::RefuseSecondRun() {
    if (!running_ && !SubmissionInProgress()) {
        return false;
    }
    if (SubmitProgressDialog* progress = ActiveProgressWindow()) {
        progress->raise();
        progress->activateWindow();
    }
    return true;
}

void SubmitController::ShowFirstTimeNotice() {
    if (sendwell::FirstTimeNoticeDue()) {
        window_.messages().ShowMessage(sendwell::kFirewallTipText, sendwell::kFirewallTipCaption,
                                       sendwell::MessageIcon::Information);
        sendwell::RecordFirstTimeNoticeShown();
    }
}

void SubmitController::SubmitAll() {
    if (RefuseSecondRun()) {
        return;
    }
    window_.takeFields();
    sendwell::UrlDatabase& db = window_.database();
    switch (sendwell::CheckSubmitEmail(db.email())) {
    case sendwell::EmailCheck::Empty:
        window_.messages().ShowMessage(sendwell::kEmptyEmailText, sendwell::kAppCaption);
        return;
    case sendwell::EmailCheck::NoAt:
        window_.messages().ShowMessage(sendwell::InvalidEmailText(), sendwell::kAppCaption);
        return;
    case sendwell::EmailCheck::Ok:
        break;
    }
    Play(sendwell::kSoundSubmitStart);
    if (db.recordCount() == 0) {
        window_.messages().ShowMessage(sendwell::kNoUrlsText, sendwell::kNoUrlsCaption);
        return;
    }
    ShowFirstTimeNotice();

    running_ = true;
    RunSubmissionAndWait(&window_, MakeJob(sendwell::AllAddresses(db)));
    Play(sendwell::kSoundSubmitEnd);
    OpenReview();
    // Every row counts as submitted, cancelled run or not.
    const std::string today = sendwell::TodayText();
    window_.listModel()->markAllSubmitted(today);
    running_ = false;
}

void SubmitController::SubmitButton() {
    if (RefuseSecondRun()) {
        return;
    }
    ShowFirstTimeNotice();
    SubmitSelectedRows();
}

void SubmitController::ListDoubleClicked() {
    // The double-click skips the firewall tip.
    if (RefuseSecondRun()) {
        return;
    }
    SubmitSelectedRows();
}

void SubmitController::SubmitSelectedRows() {
    std::vector<std::string> addresses =
        sendwell::AddressesOfRows(window_.database(), window_.selectedRows());
    if (addresses.empty()) {
        return;
    }
    Play(sendwell::kSoundSubmitStart);
    SubmitSelected(addresses);
}

void SubmitController::SubmitSelected(const std::vector<std::string>& addresses) {
    window_.takeFields();
    running_ = true;
    SubmitList(addresses);
    OpenReview();
    window_.listModel()->markSubmittedAddresses(addresses, sendwell::TodayText());
    running_ = false;
}

bool SubmitController::SubmitList(const std::vector<std::string>& addresses) {
    if (addresses.empty()) {
        return true;
    }
    RunSubmissionAndWait(&window_, MakeJob(addresses));
    Play(sendwell::kSoundSubmitEnd);
    return false;
}

sendwell::SubmitJob SubmitController::MakeJob(const std::vector<std::string>& addresses) const {
    sendwell::SubmitJob job;
    job.addresses = addresses;
    job.email = window_.database().email();
    job.connection = window_.connectionSettings();
    job.programFolder = window_.programFolder();
    if (adjustJob_) {
        adjustJob_(job);
    }
    return job;
}

void SubmitController::OpenReview() {
    if (openReview_) {
        openReview_(window_.programFolder());
    }
}

} // namespace sendwell::gui
