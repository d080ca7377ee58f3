// Window helpers of the utility library: a window's text (directly, or through a
// time-limited message for windows of other processes that may hang), its class name
// tests, a visible child and the top-level ancestor.
#pragma once

#include <windows.h>

#include "cstring.h"

// The window's text into out; false (out empty) when there was nothing to read.
bool window_text(HWND window, cstring& out);
// WM_GETTEXTLENGTH and WM_GETTEXT with a 1000 ms limit that gives up on a hung window:
// 0 or an empty text on time-out. The text form answers whether anything was read.
int window_text_length_with_timeout(HWND window);
bool window_text_with_timeout(HWND window, cstring& out);

// The window's class name equals name, or starts with prefix; case ignored.
bool is_window_class(HWND window, const char* name);
bool has_window_class_prefix(HWND window, const char* prefix);

bool has_visible_child(HWND window);
// The root of the window's parent chain (the window itself when it has no parent).
HWND top_level_ancestor(HWND window);
