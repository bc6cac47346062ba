#include "gui/urldb/import_command.h"

#include "gui/base/background_work.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/progress_relay.h"
#include "gui/base/text_bytes.h"
#include "gui/urldb/url_list_model.h"

#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <exception>

namespace sendwell::gui {

namespace {

constexpr int kProgressSteps = 1000;

int ProgressStep(std::uint64_t done, std::uint64_t size) {
    if (size == 0 || done >= size) {
        return size == 0 ? 0 : kProgressSteps;
    }
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(size) * kProgressSteps);
}

} // namespace

std::size_t RunImportCommand(QWidget* parent, UrlListModel& model, const std::filesystem::path& file,
                             const ImportReader& reader, const ImportSelection& select) {
    // Owned by parent, so it goes if parent does; the pointer then turns null.
    QPointer<QProgressDialog> window = new QProgressDialog(parent);
    window->setObjectName(QStringLiteral("importProgress"));
    window->setFont(DialogFont());
    window->setWindowTitle(QString::fromUtf8(kImportCaption));
    window->setLabelText(QStringLiteral("Reading %1").arg(PathText(file.filename())));
    window->setRange(0, kProgressSteps);
    window->setAutoClose(false);
    window->setAutoReset(false);
    window->setMinimumDuration(0);
    window->setWindowModality(Qt::ApplicationModal);

    std::atomic<bool> stop{false};
    bool cancelled = false;
    QObject::connect(window.data(), &QProgressDialog::canceled, [&] {
        cancelled = true;
        stop = true;
    });
    window->show();

    // Only a change of the shown step crosses, however many blocks there are.
    ProgressRelay relay(
        window, {}, [&window](int step) { window->setValue(step); }, ProgressStep);
    sendwell::ImportControl control;
    control.stop = &stop;
    control.progress = &relay;

    std::vector<std::string> addresses;
    sendwell::ImportEnd end = sendwell::ImportEnd::Cancelled;
    std::exception_ptr failure;
    try {
        RunOffUiThread([&] { end = reader(file, addresses, control); });
    } catch (...) {
        failure = std::current_exception();
    }

    // Gone with its parent: the list may have gone too.
    const bool ownerGone = window.isNull();
    delete window.data();
    if (failure) {
        std::rethrow_exception(failure);
    }
    // A Cancel pressed as the last block was read still adds nothing.
    if (end != sendwell::ImportEnd::Finished || cancelled || ownerGone) {
        return 0;
    }
    return model.appendUrls(select ? select(addresses) : addresses);
}

} // namespace sendwell::gui
