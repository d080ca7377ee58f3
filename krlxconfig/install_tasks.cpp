// The installation tasks of "/install" and "/remove": uninstall entries, the runtime
// choice, the start script and the shortcut set, the Start-menu groups. For now only the
// entry points, which do nothing yet.
#include "krlxconfig.h"

// Will choose the runtime, write the start script and make the shortcuts; makes none yet.
int InstallTasks() {
    return 0;
}

// Will delete the uninstall entries matching "Corvalis.*JE.*" but the kept ones.
bool CleanUninstallEntries() {
    return false;
}

// Will delete the desktop's "Corvalis_and_Halvorin_InstallLog.log".
bool DeleteDesktopInstallLog() {
    return true;
}

// Will delete the all-users Start-menu groups "QZV" and "QZV (Preview)".
bool RemoveProgramGroups() {
    return true;
}
