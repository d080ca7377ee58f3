// Window helpers of the utility library: texts, class names, visible children and the
// top-level ancestor.
#include "window_queries.h"

#include <string.h>

namespace {

const UINT kMessageTimeoutMs = 1000;

bool class_name(HWND window, char (&name)[257]) {
    name[0] = 0;
    return GetClassNameA(window, name, sizeof name) > 0;
}

BOOL CALLBACK stop_at_visible(HWND child, LPARAM found) {
    if (!IsWindowVisible(child)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

}  // namespace

bool window_text(HWND window, cstring& out) {
    out.clear();
    int length = GetWindowTextLengthA(window);
    char* buffer = length > 0 ? out.get_buffer(unsigned(length)) : nullptr;
    int got = buffer ? GetWindowTextA(window, buffer, length + 1) : 0;
    out.set_length(unsigned(got > 0 ? got : 0));
    return got > 0;
}

int window_text_length_with_timeout(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) return 0;
    return int(length);
}

bool window_text_with_timeout(HWND window, cstring& out) {
    out.clear();
    int length = window_text_length_with_timeout(window);
    char* buffer = length > 0 ? out.get_buffer(unsigned(length)) : nullptr;
    DWORD_PTR got = 0;
    if (!buffer || !SendMessageTimeoutA(window, WM_GETTEXT, WPARAM(length + 1), reinterpret_cast<LPARAM>(buffer),
                                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got))
        got = 0;
    // The window may answer with fewer characters than it announced, never with more
    // than the room it was given.
    out.set_length(unsigned(got <= DWORD_PTR(length) ? got : 0));
    return out.length() > 0;
}

bool is_window_class(HWND window, const char* name) {
    char found[257];
    return name && class_name(window, found) && _stricmp(found, name) == 0;
}

bool has_window_class_prefix(HWND window, const char* prefix) {
    char found[257];
    return prefix && class_name(window, found) && _strnicmp(found, prefix, strlen(prefix)) == 0;
}

bool has_visible_child(HWND window) {
    bool found = false;
    EnumChildWindows(window, stop_at_visible, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND top_level_ancestor(HWND window) {
    return GetAncestor(window, GA_ROOT);
}
