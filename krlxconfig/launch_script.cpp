// The client's start script "Corvalis.bat", the choice of the Java executable and the
// client start through its shortcut. For now only what the entry calls, in the form it
// has until the stored settings and the start script exist.
#include "exception.h"
#include "krlxconfig.h"

// Will read the stored JavaExe, else discover a runtime and store it; knows none yet.
bool GetJavaExecutable(cstring& java) {
    java.clear();
    return false;
}

// Will make the script folder current and open its shortcut "Corvalis.lnk"; with no Java
// executable known it fails as the client start does then.
void StartClient() {
    cstring java;
    if (!GetJavaExecutable(java)) throw new CVelmorException(1902, "JRE location cannot be determined\n");
}
