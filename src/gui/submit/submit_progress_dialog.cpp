#include "gui/submit/submit_progress_dialog.h"

#include "core/submit/submission_run.h"
#include "gui/base/control_ids.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <limits>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 260;
constexpr int kHeightDu = 116;

} // namespace

void SubmitProgressDialog::Bar::apply() const {
    constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
    // One scale for range and value keeps a full bar full at any length of run.
    std::int64_t divisor = maximum > kIntMax ? (maximum + kIntMax - 1) / kIntMax : 1;
    widget->setRange(0, static_cast<int>(maximum / divisor));
    widget->setValue(static_cast<int>(std::min(value, maximum) / divisor));
}

SubmitProgressDialog::SubmitProgressDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("submitProgress"));
    setWindowTitle(QStringLiteral("Submitting Web Sites"));
    setFont(DialogFont());
    setModal(false);
    DialogUnits du(font());
    setFixedSize(du.size(kWidthDu, kHeightDu));

    auto* group = new QGroupBox(QStringLiteral("Sending"), this);
    group->setGeometry(du.rect(7, 5, 246, 84));

    auto place = [&](QWidget* w, int id, int x, int y, int width, int height) {
        if (id != 0) {
            w->setObjectName(ids::ControlName(id));
        }
        w->setGeometry(du.rect(x, y, width, height));
    };

    sendAnimation_ = new QLabel(this);
    place(sendAnimation_, kSendAnimation, 14, 18, 40, 30);
    globeAnimation_ = new QLabel(this);
    place(globeAnimation_, kGlobeAnimation, 226, 14, 24, 24);

    address_ = new QLabel(this);
    place(address_, kAddressLabel, 60, 18, 162, 9);
    auto* to = new QLabel(QStringLiteral("To:"), this);
    place(to, kToLabel, 60, 30, 14, 9);
    engine_ = new QLabel(this);
    place(engine_, kEngineLabel, 76, 30, 146, 9);

    auto* currentLabel = new QLabel(QStringLiteral("Current %"), this);
    place(currentLabel, 0, 14, 47, 40, 9);
    current_.widget = new QProgressBar(this);
    place(current_.widget, kCurrentBar, 60, 46, 186, 10);
    auto* totalLabel = new QLabel(QStringLiteral("Total %"), this);
    place(totalLabel, 0, 14, 60, 40, 9);
    total_.widget = new QProgressBar(this);
    place(total_.widget, kTotalBar, 60, 59, 186, 10);
    for (QProgressBar* bar : {current_.widget, total_.widget}) {
        bar->setTextVisible(false);
    }
    current_.apply();
    total_.apply();

    status_ = new QLabel(this);
    place(status_, kStatusLabel, 14, 75, 232, 9);

    cancel_ = new PushButton(QStringLiteral("&Cancel"), this);
    place(cancel_, kCancel, 105, 95, 50, 14);
    // Only a deliberate click, Escape or the close box cancels a run; Enter does not.
    cancel_->setAutoDefault(false);
    cancel_->setDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &SubmitProgressDialog::cancel);

    sendMovie_ = new QMovie(QStringLiteral(":/animations/sending.gif"), QByteArray(), this);
    globeMovie_ = new QMovie(QStringLiteral(":/animations/globe.gif"), QByteArray(), this);
    sendAnimation_->setMovie(sendMovie_);
    globeAnimation_->setMovie(globeMovie_);
    globeMovie_->start();
}

void SubmitProgressDialog::runStarted(std::size_t addressCount, int engineCount) {
    addressCount_ = static_cast<int>(addressCount);
    current_.maximum = engineCount;
    current_.apply();
    total_.maximum = static_cast<std::int64_t>(engineCount) * static_cast<std::int64_t>(addressCount);
    total_.apply();
    sendMovie_->start();
    show();
}

void SubmitProgressDialog::addressStarted(std::size_t index, std::size_t count, const QString& address) {
    address_->setText(address);
    current_.value = 0;
    current_.apply();
    setWindowTitle(ToQString(sendwell::RunCaption(index, count)));
}

void SubmitProgressDialog::engineStarted(const QString& name) {
    engine_->setText(name);
}

void SubmitProgressDialog::requestDone() {
    ++current_.value;
    ++total_.value;
    current_.apply();
    total_.apply();
}

void SubmitProgressDialog::runEnded() {
    hide();
}

void SubmitProgressDialog::setStatus(const QString& text) {
    status_->setText(text);
}

void SubmitProgressDialog::cancel() {
    stopRequested_ = true;
    cancel_->setEnabled(false);
    emit cancelRequested();
}

void SubmitProgressDialog::reject() {
    cancel();
}

void SubmitProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    cancel();
}

} // namespace sendwell::gui
