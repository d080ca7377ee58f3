// Resource identifiers of krln64.dll, shared by krln.rc and the window natives.
#pragma once

#define IDI_WINDOW_ICON_BIG 101     // 48, 32, 24 and 16 pixels: the window's large icon
#define IDI_WINDOW_ICON_SMALL 102   // 24 and 16 pixels: its small (caption, taskbar) icon
