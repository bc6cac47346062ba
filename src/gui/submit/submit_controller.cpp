#include "gui/submit/submit_controller.h"

#include "core/submit/submit_commands.h"
#include "gui/base/background_work.h"
#include "gui/base/desktop_notifier.h"
#include "gui/base/text_bytes.h"
#include "gui/results/submit_review_dialog.h"
#include "gui/submit/submit_progress_dialog.h"
#include "gui/urldb/url_list_model.h"
#include "gui/widgets/sound_player.h"

namespace sendwell::gui {

namespace {

QPointer<SubmitProgressDialog> g_activeWindow;

} // namespace

QueuedSubmitProgress::QueuedSubmitProgress(SubmitProgressDialog* dialog)
    : dialog_(dialog), relay_(dialog, [dialog](const QString& text) { dialog->setStatus(text); }) {}

template <typename Apply>
void QueuedSubmitProgress::Post(Apply apply) {
    relay_.Post([this, apply = std::move(apply)] { apply(*dialog_); });
}

void QueuedSubmitProgress::RunStarted(std::size_t addressCount, int engineCount) {
    Post([addressCount, engineCount](SubmitProgressDialog& d) { d.runStarted(addressCount, engineCount); });
}

void QueuedSubmitProgress::AddressStarted(std::size_t index, std::size_t count, const std::string& address) {
    Post([index, count, text = ToQString(address)](SubmitProgressDialog& d) {
        d.addressStarted(index, count, text);
    });
}

void QueuedSubmitProgress::EngineStarted(const std::string& displayName) {
    Post([text = ToQString(displayName)](SubmitProgressDialog& d) { d.engineStarted(text); });
}

void QueuedSubmitProgress::RequestDone() {
    Post([](SubmitProgressDialog& d) { d.requestDone(); });
}

void QueuedSubmitProgress::RunEnded() {
    Post([](SubmitProgressDialog& d) { d.runEnded(); });
}

void QueuedSubmitProgress::SetStatusText(const std::string& text) {
    relay_.SetStatusText(text);
}

SubmitProgressDialog* ActiveProgressWindow() {
    return g_activeWindow;
}

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

// The progress window is owned by owner_ while it exists and is gone when this returns; what the
// worker threw is rethrown here, after the window is gone.
sendwell::RunTally SubmitController::RunAndWait(const sendwell::SubmitJob& given) {
    const auto started = notifier_ ? notifier_->now() : std::chrono::steady_clock::time_point{};
    sendwell::SubmitJob job = given;
    if (adjustJob_) {
        adjustJob_(job);
    }
    sendwell::RunTally tally;
    {
        auto* dialog = new SubmitProgressDialog(owner_);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        QueuedSubmitProgress progress(dialog);
        sendwell::RunFlags flags;
        QObject::connect(dialog, &SubmitProgressDialog::cancelRequested, dialog,
                         [&flags] { flags.stop.store(true); });
        g_activeWindow = dialog;

        // However the worker ends; the window may already have gone with its owner.
        struct Cleanup {
            QPointer<SubmitProgressDialog> dialog;
            ~Cleanup() {
                delete dialog.data();
                g_activeWindow = nullptr;
            }
        } cleanup{dialog};
        RunOffUiThread([&] { tally = sendwell::RunSubmissionWorker(job, progress, flags); });
    }
    if (notifier_) {
        const bool indexNowOnly = job.indexNow && tally.enginesOn == 0;
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
