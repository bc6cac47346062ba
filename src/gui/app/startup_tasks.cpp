#include "gui/app/startup_tasks.h"

namespace sendwell::gui {

bool UpgradeCheckDue() {
    return false;
}

} // namespace sendwell::gui
