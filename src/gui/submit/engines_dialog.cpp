#include "gui/submit/engines_dialog.h"

#include "gui/base/dialog_layout.h"
#include "core/base/settings.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace sendwell::gui {

namespace {

struct EngineBox {
    int column;
    const char* label; // "&" marks the mnemonic
    std::string_view flagName;
};

// Column by column, top to bottom. The labels keep the engines' familiar names, which do not always
// match the catalogue's display names, nor the flag names they edit.
constexpr std::array<EngineBox, kEngineCount> kBoxes{{
    {0, "Lycos S&ympatico", "m_Webcrawler"},
    {0, "Hotbot U&K", "m_HotbotUK"},
    {0, "&Google", "m_Google"},
    {0, "&Scrub The Web", "m_Scrub"},
    {0, "Burf", "m_Burf"},
    {0, "Alexa", "m_InfoSpace"},
    {0, "&Exact Seek", "m_ExactSeek"},
    {0, "&Search It", "m_Searchit"},
    {0, "Aeiwi", "m_Aeiwi"},
    {0, "Mix Cat", "m_Mixcat"},
    {0, "AxxaSearch", "m_Noago"},
    {1, "Info Tiger", "m_InfoTiger"},
    {1, "Entire We&b", "m_EntireWeb"},
    {1, "Searchave", "m_Searchave"},
    {1, "&Voila", "m_Voila"},
    {1, "&Search UK", "m_Hotbot"},
    {1, "Walhello", "m_Walhello"},
    {1, "Splat Search", "m_Splatsearch"},
    {1, "Try America", "m_Tryamerica"},
    {1, "Surf Gopher", "m_Surfgopher"},
    {1, "Onseek", "m_Onseek"},
    {1, "WhatUSeek", "m_Whatuseek2"},
    {2, "Amfibi", "m_Amfibi"},
    {2, "Web Squash", "m_Websquash"},
    {2, "Search Engine", "m_Searchengine"},
    {2, "Find Once", "m_Findonce"},
}};

} // namespace

EnginesDialog::EnginesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Submit to Engines"));
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* grid = new QGridLayout;
    std::array<int, 3> rows{};
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const EngineBox& entry = kBoxes[i];
        auto* box = new QCheckBox(QString::fromLatin1(entry.label), this);
        box->setObjectName(ToQString(entry.flagName));
        // Every box starts ticked; only a stored "0" or "1" replaces that.
        box->setChecked(EngineFlagChecked(entry.flagName));
        grid->addWidget(box, rows[static_cast<std::size_t>(entry.column)]++, entry.column);
        boxes_[i] = {entry.flagName, box};
    }

    auto* ok = new PushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = new PushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &EnginesDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(new QLabel(QStringLiteral("Enable sites to submit to:"), this));
    outer->addLayout(grid);
    outer->addLayout(buttons);
    setFixedSize(sizeHint());
}

QCheckBox* EnginesDialog::checkBoxFor(std::string_view flagName) const {
    for (const Box& b : boxes_) {
        if (b.flagName == flagName) {
            return b.box;
        }
    }
    return nullptr;
}

void EnginesDialog::accept() {
    for (const Box& b : boxes_) {
        WriteSetting(kSettingsSection, b.flagName, b.box->isChecked() ? "1" : "0");
    }
    QDialog::accept();
}

} // namespace sendwell::gui
