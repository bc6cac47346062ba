#include "gui/meta/meta_save_windows.h"

#include "core/meta/meta_analysis.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/file_choice.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/text_bytes.h"
#include "gui/meta/program_scanner.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <exception>
#include <limits>

namespace sendwell::gui {

namespace {

QLabel* QuestionIcon(QWidget* parent, const QRect& where) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(parent->style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setGeometry(where);
    return icon;
}

} // namespace

InsertModeDialog::InsertModeDialog(QWidget* parent) : QDialog(parent) {
    const DialogUnits du =
        SetUpFixedDialog(*this, QStringLiteral("insertMode"), QString::fromUtf8(kInsertCaption), 222, 62);
    setModal(true);

    QuestionIcon(this, du.rect(7, 7, 21, 20));
    auto* text = new QLabel(QString::fromUtf8(kInsertText), this);
    text->setObjectName(QStringLiteral("text"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(du.rect(35, 7, 180, 24));

    const struct {
        const char* label;
        const char* name;
        std::optional<sendwell::InsertMode> mode;
    } buttons[] = {
        {"&Replace", "replaceButton", sendwell::InsertMode::Replace},
        {"&Before", "beforeButton", sendwell::InsertMode::Before},
        {"&After", "afterButton", sendwell::InsertMode::After},
        {"&Cancel", "cancelButton", std::nullopt},
    };
    int x = 7;
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.label), this);
        button->setObjectName(QString::fromUtf8(b.name));
        button->setGeometry(du.rect(x, 41, 49, 14));
        x += 53;
        const std::optional<sendwell::InsertMode> mode = b.mode;
        connect(button, &QPushButton::clicked, this, [this, mode] {
            chosen_ = mode;
            if (mode) {
                accept();
            } else {
                reject();
            }
        });
    }
}

DescriptionDialog::DescriptionDialog(const QString& description, QWidget* parent) : QDialog(parent) {
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("description"),
                                            QString::fromUtf8(kDescriptionCaption), 262, 70);
    setModal(true);

    auto* text = new QLabel(QStringLiteral("Enter your web page description to be included as a meta-tag.\n"
                                           "This should be a short description of what your page is about."),
                            this);
    text->setObjectName(QStringLiteral("text"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(du.rect(7, 7, 248, 18));

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("descriptionEdit"));
    edit_->setMaxLength(std::numeric_limits<int>::max());
    edit_->setText(description);
    edit_->setGeometry(du.rect(7, 28, 248, 13));

    AddOkButton(*this, du.rect(151, 49, 50, 14));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(du.rect(205, 49, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString DescriptionDialog::description() const {
    return edit_->text();
}

MetaSaveWindowsOnScreen::MetaSaveWindowsOnScreen(QWidget* parent, PageChooser chooser)
    : parent_(parent), chooser_(std::move(chooser)) {}

std::optional<std::filesystem::path> MetaSaveWindowsOnScreen::ChooseTargetPage() {
    const QString file = ChooseFile(parent_, chooser_, [](QFileDialog& dialog) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({QStringLiteral("HTML Files (*.htm *.html)"), QStringLiteral("All Files (*)")});
        dialog.setDefaultSuffix(QStringLiteral("HTML"));
        dialog.selectFile(QStringLiteral("mywebpage"));
        // Picking an existing page is the usual case: it is updated, with a backup, not replaced.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    });
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return ToPath(file);
}

std::optional<sendwell::InsertMode> MetaSaveWindowsOnScreen::ChooseInsertMode() {
    InsertModeDialog dialog(parent_);
    dialog.exec();
    return dialog.chosen();
}

bool MetaSaveWindowsOnScreen::ConfirmCancelSaving() {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(sendwell::kMetaCaption),
                    QString::fromUtf8(sendwell::kConfirmCancelSaveText), QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setObjectName(QStringLiteral("confirmCancelSaving"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> MetaSaveWindowsOnScreen::EditDescription(const std::string& description) {
    DescriptionDialog dialog(ToQString(description), parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    // Unchanged text keeps its bytes, even where they are not valid UTF-8.
    const QString edited = dialog.description();
    return edited == ToQString(description) ? description : ToBytes(edited);
}

void SaveKeywordsToPage(QWidget* parent, sendwell::Prompt& messages, const std::string& keywords,
                        MetaSaveWindowsOnScreen::PageChooser chooser) {
    MetaSaveWindowsOnScreen windows(parent, std::move(chooser));
    try {
        sendwell::SaveMetaTags(keywords, windows, messages, ProgramMetaScanner());
    } catch (const std::exception&) {
        // Every file is replaced whole or not at all, so the page is either as it was or fully written.
        messages.ShowMessage("The meta tags could not be saved.", sendwell::kMetaCaption,
                             sendwell::MessageIcon::Warning);
    }
}

} // namespace sendwell::gui
