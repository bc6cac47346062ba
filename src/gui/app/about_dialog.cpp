#include "gui/app/about_dialog.h"

#include "gui/base/dialog_layout.h"
#include "gui/base/program_info.h"
#include "gui/widgets/push_button.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace sendwell::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Sendwell! Pro"));
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Sendwell! Pro v") + VersionText(), this);
    auto* credit =
        new QLabel(QStringLiteral("Programmed by Quenby\nSubmits your web site to 26 search engines."), this);

    auto* ok = new PushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(credit);
    texts->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    top->addWidget(ok, 0, Qt::AlignTop);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    setLayout(outer);
    setFixedSize(sizeHint());
}

} // namespace sendwell::gui
