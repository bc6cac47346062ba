#include "gui/meta/meta_findings_dialog.h"

#include "gui/base/dialog_layout.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/text_bytes.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <limits>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 260;
constexpr int kHeightDu = 196;

} // namespace

MetaFindingsDialog::MetaFindingsDialog(const sendwell::MetaFindings& findings, const std::string& advice,
                                       QWidget* parent)
    : QDialog(parent) {
    const DialogUnits du =
        SetUpFixedDialog(*this, QStringLiteral("metaFindings"), QString::fromUtf8(sendwell::kFindingsCaption),
                         kWidthDu, kHeightDu);
    setModal(true);

    auto* address = new QLabel(ToQString(findings.address), this);
    address->setObjectName(QStringLiteral("addressLine"));
    address->setTextFormat(Qt::PlainText);
    address->setGeometry(du.rect(7, 7, 246, 8));

    auto addEdit = [&](const char* caption, const std::string& text, const char* name, int y) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setGeometry(du.rect(7, y, 60, 8));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromUtf8(name));
        // Descriptions and titles of any length are shown whole.
        edit->setMaxLength(std::numeric_limits<int>::max());
        edit->setText(ToQString(text));
        edit->setCursorPosition(0);
        edit->setGeometry(du.rect(7, y + 9, 246, 13));
    };
    addEdit("Title", findings.title, "titleEdit", 19);
    addEdit("Description", findings.description, "descriptionEdit", 44);

    auto* keywordsLabel = new QLabel(QStringLiteral("Keywords"), this);
    keywordsLabel->setGeometry(du.rect(7, 69, 60, 8));
    auto* keywords = new QListWidget(this);
    keywords->setObjectName(QStringLiteral("keywordList"));
    keywords->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    keywords->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    keywords->setUniformItemSizes(true);
    keywords->setGeometry(du.rect(7, 78, 246, 78));
    for (const std::string& keyword : findings.keywords) {
        keywords->addItem(ToQString(keyword));
    }

    auto* adviceLine = new QLabel(ToQString(advice), this);
    adviceLine->setObjectName(QStringLiteral("adviceLine"));
    adviceLine->setTextFormat(Qt::PlainText);
    adviceLine->setGeometry(du.rect(7, 160, 246, 10));

    AddOkButton(*this, du.rect(105, 175, 50, 14));
}

} // namespace sendwell::gui
