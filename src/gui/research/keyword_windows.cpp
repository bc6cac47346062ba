#include "gui/research/keyword_windows.h"

#include "gui/base/background_work.h"
#include "gui/base/control_ids.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/progress_relay.h"
#include "gui/base/text_bytes.h"
#include "gui/meta/program_scanner.h"
#include "gui/widgets/push_button.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMovie>
#include <QProgressBar>

namespace sendwell::gui {

namespace {

constexpr int kEdit = 1022;
constexpr int kStatus = 1005;
constexpr int kBar = 1012;
constexpr int kAnimation = 1073;
constexpr int kList = 1022;

QLabel* AddText(QWidget* parent, const char* text, const QRect& where) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(where);
    return label;
}

PushButton* AddButton(QWidget* parent, const char* text, const QString& name, const QRect& where) {
    auto* button = new PushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setGeometry(where);
    return button;
}

// Sorted alphabetically without regard to case, as the list shows them.
class WordItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

} // namespace

KeywordToolDialog::KeywordToolDialog(QWidget* parent, sendwell::Prompt& messages, AddressOpener& opener)
    : QDialog(parent), messages_(messages) {
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("keywordTool"),
                                            QString::fromUtf8(sendwell::kKeywordToolCaption), 186, 69);

    AddText(this, sendwell::kKeywordToolText, du.rect(7, 7, 172, 24));
    edit_ = new QLineEdit(this);
    edit_->setObjectName(ids::ControlName(kEdit));
    edit_->setGeometry(du.rect(7, 31, 172, 12));

    PushButton* ok = AddButton(this, "OK", QStringLiteral("okButton"), du.rect(7, 49, 50, 14));
    ok->setDefault(true);
    PushButton* help = AddButton(this, "&Help", QStringLiteral("helpButton"), du.rect(68, 49, 50, 14));
    PushButton* cancel = AddButton(this, "Cancel", QStringLiteral("cancelButton"), du.rect(129, 49, 50, 14));
    connect(ok, &QPushButton::clicked, this, &KeywordToolDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this,
            [&opener] { opener.open(ToQString(sendwell::KeywordHelpAddress())); });
}

std::string KeywordToolDialog::typed() const {
    return ToBytes(edit_->text());
}

void KeywordToolDialog::accept() {
    if (edit_->text().isEmpty()) {
        messages_.ShowMessage(sendwell::kEnterKeywordsText, sendwell::kEnterKeywordsCaption,
                              sendwell::MessageIcon::Information);
        return;
    }
    QDialog::accept();
}

KeywordProgressWindow::KeywordProgressWindow(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("keywordProgress"));
    setFont(DialogFont());
    // Nothing else may start meanwhile: the run uses the program's one meta scanner.
    setWindowModality(Qt::ApplicationModal);
    const DialogUnits du(font());
    setFixedSize(du.size(220, 55));

    status_ = new QLabel(this);
    status_->setObjectName(ids::ControlName(kStatus));
    status_->setGeometry(du.rect(7, 7, 206, 8));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(ids::ControlName(kBar));
    bar_->setRange(0, sendwell::kKeywordProgressMax);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setGeometry(du.rect(7, 19, 206, 9));
    auto* animation = new QLabel(this);
    animation->setObjectName(ids::ControlName(kAnimation));
    animation->setAlignment(Qt::AlignCenter);
    animation->setAttribute(Qt::WA_TranslucentBackground);
    animation->setGeometry(du.rect(7, 31, 206, 20));
    auto* movie = new QMovie(QStringLiteral(":/animations/globe.gif"), QByteArray(), animation);
    animation->setMovie(movie);
    // Round and round whatever loop count the file carries.
    connect(movie, &QMovie::finished, movie, &QMovie::start);
    movie->start();
}

QString KeywordProgressWindow::status() const {
    return status_->text();
}

int KeywordProgressWindow::position() const {
    return bar_->value();
}

void KeywordProgressWindow::setStatus(const QString& text) {
    status_->setText(text);
}

void KeywordProgressWindow::setPosition(int position) {
    bar_->setValue(position);
}

void KeywordProgressWindow::reject() {
    cancel_ = true;
    setStatus(QStringLiteral("Cancelling..."));
}

SuggestedKeywordsDialog::SuggestedKeywordsDialog(const std::vector<std::string>& words, QWidget* parent)
    : QDialog(parent) {
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("suggestedKeywords"),
                                            QString::fromUtf8(sendwell::kSuggestedCaption), 183, 186);

    AddText(this, sendwell::kSuggestedText, du.rect(7, 7, 169, 18));
    list_ = new QListWidget(this);
    list_->setObjectName(ids::ControlName(kList));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setGeometry(du.rect(7, 28, 169, 110));
    for (const std::string& word : words) {
        list_->addItem(new WordItem(ToQString(word)));
    }
    list_->sortItems();
    AddText(this, sendwell::kSuggestedHint, du.rect(7, 142, 169, 18));

    PushButton* save = AddButton(this, "&Save", QStringLiteral("saveButton"), du.rect(35, 165, 50, 14));
    save->setDefault(true);
    PushButton* cancel = AddButton(this, "&Cancel", QStringLiteral("cancelButton"), du.rect(98, 165, 50, 14));
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<std::string> SuggestedKeywordsDialog::chosen() const {
    std::vector<std::string> words;
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->isSelected()) {
            words.push_back(ToBytes(list_->item(row)->text()));
        }
    }
    return words;
}

void RunKeywordsCommand(QWidget* parent, sendwell::Prompt& messages, AddressOpener& opener,
                        MetaSaveWindowsOnScreen::PageChooser chooser) {
    std::string typed;
    {
        KeywordToolDialog ask(parent, messages, opener);
        if (ask.exec() != QDialog::Accepted) {
            return;
        }
        typed = ask.typed();
    }

    sendwell::MergedKeywords keywords;
    bool cancelled = false;
    {
        KeywordProgressWindow progress(parent);
        progress.show();
        ProgressRelay relay(
            &progress, [&progress](const QString& text) { progress.setStatus(text); },
            [&progress](int position) { progress.setPosition(position); });
        sendwell::KeywordRunOptions options;
        options.cancel = &progress.cancelRequested();
        try {
            RunOffUiThread([&] {
                sendwell::CollectSuggestedKeywords(typed, ProgramMetaScanner(), keywords, relay, messages,
                                                   options);
            });
        } catch (const std::exception&) {
            // Out of memory on a huge page, say: what was merged before it is still offered.
        }
        cancelled = progress.cancelRequested();
    }
    if (cancelled) {
        return;
    }

    SuggestedKeywordsDialog suggested(keywords.words(), parent);
    if (suggested.exec() == QDialog::Accepted) {
        SaveKeywordsToPage(parent, messages, sendwell::JoinChosenKeywords(suggested.chosen()),
                           std::move(chooser));
    }
}

} // namespace sendwell::gui
