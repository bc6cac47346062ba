#include "gui/app/application.h"

#include <QApplication>

int main(int argc, char** argv) {
    sendwell::gui::PrepareProcess();
    QApplication app(argc, argv);
    return sendwell::gui::RunApplication(app);
}
