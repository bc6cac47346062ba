#include "gui/meta/program_scanner.h"

namespace sendwell::gui {

sendwell::MetaScanner& ProgramMetaScanner() {
    static sendwell::MetaScanner scanner;
    return scanner;
}

} // namespace sendwell::gui
