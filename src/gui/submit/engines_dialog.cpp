#include "gui/submit/engines_dialog.h"

#include "core/base/program_settings.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/text_bytes.h"
#include "gui/indexnow/indexnow_section.h"
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
    int engine;        // catalogue position of the engine whose flag the box edits
};

// Column by column, top to bottom. The labels keep the engines' familiar names, which do not always
// match the catalogue's display names.
constexpr std::array<EngineBox, kEngineCount> kBoxes{{
    {0, "Lycos S&ympatico", 1}, {0, "Hotbot U&K", 6},   {0, "&Google", 2},
    {0, "&Scrub The Web", 5},   {0, "Burf", 3},         {0, "Alexa", 7},
    {0, "&Exact Seek", 8},      {0, "&Search It", 12},  {0, "Aeiwi", 14},
    {0, "Mix Cat", 15},         {0, "AxxaSearch", 16},  {1, "Info Tiger", 4},
    {1, "Entire We&b", 10},     {1, "Searchave", 11},   {1, "&Voila", 9},
    {1, "&Search UK", 13},      {1, "Walhello", 21},    {1, "Splat Search", 18},
    {1, "Try America", 20},     {1, "Surf Gopher", 19}, {1, "Onseek", 17},
    {1, "WhatUSeek", 22},       {2, "Amfibi", 23},      {2, "Web Squash", 24},
    {2, "Search Engine", 25},   {2, "Find Once", 26},
}};

} // namespace

EnginesDialog::EnginesDialog(const ConnectionSettings& connection, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Submit to Engines"));
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const ProgramSettings settings;
    auto* grid = new QGridLayout;
    std::array<int, 3> rows{};
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const EngineBox& entry = kBoxes[i];
        const std::string_view flagName = EngineAt(entry.engine).flagName;
        auto* box = new QCheckBox(QString::fromLatin1(entry.label), this);
        box->setObjectName(ToQString(flagName));
        // Every box starts ticked; only a stored "0" or "1" replaces that.
        box->setChecked(settings.EngineOn(flagName));
        grid->addWidget(box, rows[static_cast<std::size_t>(entry.column)]++, entry.column);
        boxes_[i] = {flagName, box};
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
    indexNow_ = new IndexNowSection(connection, this);
    outer->addWidget(indexNow_);
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
    if (!indexNow_->validate()) {
        return;
    }
    for (const Box& b : boxes_) {
        ProgramSettings::SetEngineOn(b.flagName, b.box->isChecked());
    }
    indexNow_->save();
    QDialog::accept();
}

} // namespace sendwell::gui
