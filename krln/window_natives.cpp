// The natives of the Java class com.qzvltd.tarnwick.util.wtb: the product icons for the
// client's top-level window, the process identifier, and whether the client runs in a
// remote desktop session.
#include "krln.h"
#include "resource.h"

namespace {

struct WindowSearch {
    const char* className;
    HWND found;
};

// Stops the enumeration at the first top-level window of this process whose class
// name is exactly the one searched for.
BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    char name[128];
    if (!GetClassNameA(window, name, 127)) return TRUE;
    if (lstrcmpA(name, search->className) != 0) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId()) return TRUE;
    search->found = window;
    return FALSE;
}

// An icon that cannot be loaded is not sent: WM_SETICON with no icon would take away
// the one the window has.
void sendProductIcon(HWND window, WPARAM which, int iconId) {
    HICON icon = LoadIconA(hKrlnModule, MAKEINTRESOURCEA(iconId));
    if (icon) SendMessageA(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_qzvltd_tarnwick_util_wtb_applyIcon(JNIEnv* env, jobject, jstring className) {
    if (!className) return;   // GetStringUTFChars would take the VM down with a null string
    const char* name = env->GetStringUTFChars(className, nullptr);
    if (!name) return;        // OutOfMemoryError is pending
    WindowSearch search = {name, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    env->ReleaseStringUTFChars(className, name);
    if (!search.found) return;
    sendProductIcon(search.found, ICON_BIG, IDI_WINDOW_ICON_BIG);
    sendProductIcon(search.found, ICON_SMALL, IDI_WINDOW_ICON_SMALL);
}

JNIEXPORT jint JNICALL Java_com_qzvltd_tarnwick_util_wtb_gpd(JNIEnv*, jobject) { return jint(GetCurrentProcessId()); }

// Remote desktop sessions are named "RDP-Tcp#N"; the console session "Console".
JNIEXPORT jint JNICALL Java_com_qzvltd_tarnwick_util_wtb_grd(JNIEnv*, jobject) {
    char value[256];
    DWORD length = GetEnvironmentVariableA("SESSIONNAME", value, sizeof value);
    if (length < 3 || length > 255) return 0;
    bool rdp = (value[0] == 'R' || value[0] == 'r') && (value[1] == 'D' || value[1] == 'd') &&
               (value[2] == 'P' || value[2] == 'p');
    return rdp ? 1 : 0;
}

}  // extern "C"
