#include "app/application.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The review's web view shares GL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return sendwell::gui::RunApplication(app);
}
