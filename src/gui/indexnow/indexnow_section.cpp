#include "gui/indexnow/indexnow_section.h"

#include "core/indexnow/indexnow_key.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/web/page_fetcher.h"
#include "gui/base/background_work.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace sendwell::gui {

namespace {

PushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new PushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

IndexNowSection::IndexNowSection(const ConnectionSettings& connection, QWidget* parent)
    : QGroupBox(QStringLiteral("IndexNow"), parent), connection_(connection) {
    setObjectName(QStringLiteral("indexNow"));
    const IndexNowSettings settings = ReadIndexNowSettings();

    key_ = new QLineEdit(ToQString(settings.key), this);
    key_->setObjectName(QStringLiteral("indexNowKey"));
    key_->setMaxLength(static_cast<int>(kMaxKeyLength));
    // A generated key (32 hex digits) shows whole.
    key_->setMinimumWidth(key_->fontMetrics().horizontalAdvance(QString(34, QLatin1Char('0'))));
    keyLocation_ = new QLineEdit(ToQString(settings.keyLocation), this);
    keyLocation_->setObjectName(QStringLiteral("indexNowKeyLocation"));
    keyLocation_->setPlaceholderText(QStringLiteral("https://<site>/<key>.txt"));
    endpoint_ = new QComboBox(this);
    endpoint_->setObjectName(QStringLiteral("indexNowEndpoint"));
    endpoint_->setEditable(true);
    for (std::string_view known : KnownIndexNowEndpoints()) {
        endpoint_->addItem(ToQString(known));
    }
    endpoint_->setCurrentText(ToQString(settings.endpoint));
    site_ = new QLineEdit(this);
    site_->setObjectName(QStringLiteral("indexNowSite"));
    site_->setPlaceholderText(QStringLiteral("www.example.com"));
    inRuns_ = new QCheckBox(QStringLiteral("Include IndexNow in runs"), this);
    inRuns_->setObjectName(QStringLiteral("indexNowInRuns"));
    inRuns_->setChecked(settings.inRuns);
    changedOnly_ = new QCheckBox(QStringLiteral("Only pages changed since the last submission"), this);
    changedOnly_->setObjectName(QStringLiteral("indexNowChangedOnly"));
    changedOnly_->setChecked(settings.changedOnly);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("indexNowResult"));
    result_->setWordWrap(true);

    auto* generate = Button(QStringLiteral("Generate"), "indexNowGenerate", this);
    auto* write = Button(QStringLiteral("Write Key File..."), "indexNowWriteKeyFile", this);
    auto* check = Button(QStringLiteral("Check"), "indexNowCheck", this);
    connect(generate, &QPushButton::clicked, this, &IndexNowSection::generate);
    connect(write, &QPushButton::clicked, this, &IndexNowSection::writeKeyFile);
    connect(check, &QPushButton::clicked, this, &IndexNowSection::check);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Key:"), this), 0, 0);
    grid->addWidget(key_, 0, 1);
    grid->addWidget(generate, 0, 2);
    grid->addWidget(write, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Key location:"), this), 1, 0);
    grid->addWidget(keyLocation_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Endpoint:"), this), 2, 0);
    grid->addWidget(endpoint_, 2, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Check site:"), this), 3, 0);
    grid->addWidget(site_, 3, 1, 1, 2);
    grid->addWidget(check, 3, 3);
    grid->addWidget(result_, 4, 0, 1, 4);
    grid->addWidget(inRuns_, 5, 0, 1, 4);
    grid->addWidget(changedOnly_, 6, 0, 1, 4);
}

bool IndexNowSection::validate() {
    // No key at all is kept: IndexNow is then simply not set up.
    const std::string key = ToBytes(key_->text());
    const std::string rule = key.empty() ? std::string() : KeyRuleText(key);
    if (!rule.empty()) {
        result_->setText(ToQString(rule));
        key_->setFocus();
    }
    return rule.empty();
}

bool IndexNowSection::save() const {
    IndexNowSettings settings;
    settings.key = ToBytes(key_->text());
    settings.keyLocation = ToBytes(keyLocation_->text().trimmed());
    settings.endpoint = ToBytes(endpoint_->currentText().trimmed());
    settings.inRuns = inRuns_->isChecked();
    settings.changedOnly = changedOnly_->isChecked();
    return WriteIndexNowSettings(settings);
}

void IndexNowSection::generate() {
    try {
        key_->setText(ToQString(GenerateIndexNowKey()));
        result_->setText(
            QStringLiteral("A new key: write its key file and upload it to the root of each site."));
    } catch (const std::exception& e) {
        result_->setText(ToQString(e.what()));
    }
}

void IndexNowSection::writeKeyFile() {
    const std::string key = ToBytes(key_->text());
    if (std::string rule = KeyRuleText(key); !rule.empty()) {
        result_->setText(ToQString(rule));
        return;
    }
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("Write Key File"), ToQString(KeyFileName(key)),
                                     QStringLiteral("Text files (*.txt)"));
    if (chosen.isEmpty()) {
        return;
    }
    // The engines look for the file under the key's own name, whatever name was typed.
    const std::filesystem::path file = WriteKeyFile(ToBytes(QFileInfo(chosen).absolutePath()), key);
    result_->setText(
        file.empty()
            ? QStringLiteral("The key file could not be written.")
            : QStringLiteral("Wrote %1: upload it to the root of each site.").arg(ToQString(file.string())));
}

void IndexNowSection::check() {
    const std::string key = ToBytes(key_->text());
    if (std::string rule = KeyRuleText(key); !rule.empty()) {
        result_->setText(ToQString(rule));
        return;
    }
    const std::string address =
        KeyCheckAddress(ToBytes(site_->text().trimmed()), key, ToBytes(keyLocation_->text().trimmed()));
    if (address.empty()) {
        result_->setText(ToQString(kNameASiteText));
        return;
    }
    result_->setText(QStringLiteral("Checking %1 ...").arg(ToQString(address)));
    KeyFileCheck outcome;
    // Input is held off while it runs, so the request's time limit is what ends a server that stalls.
    const TransferLimits limits = ReadRequestLimits();
    RunOffUiThread([&] { outcome = CheckKeyFile(address, key, connection_, limits); },
                   QEventLoop::ExcludeUserInputEvents);
    result_->setText(ToQString(outcome.text));
}

} // namespace sendwell::gui
