#include "gui/app/application.h"
#include "gui/base/program_info.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstring>

namespace {

void DescribeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Keeps a list of your web addresses, submits each of them to a catalogue of search-engine "
        "add-URL forms and lets you page through the answers; with page analysis, keyword "
        "suggestion and a meta-tag writer.\n\nFiles: the URL database in "
        "$XDG_DATA_HOME/Sendwell/linkroll2.dat, settings in $XDG_CONFIG_HOME/Linkcaster!.conf."));
    parser.addHelpOption();
    parser.addVersionOption();
}

// --help and --version print and end without a display, so they must not need the GUI application.
bool AsksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("sendwell"));
    QCoreApplication::setApplicationVersion(sendwell::gui::VersionText());
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCommandLineParser parser;
        DescribeOptions(parser);
        parser.process(core); // prints and exits
        return 0;
    }

    sendwell::gui::PrepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    DescribeOptions(parser);
    parser.process(app); // an unknown option is reported and ends the program
    return sendwell::gui::RunApplication(app);
}
