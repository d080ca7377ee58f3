// Resource identifiers of krlxconfig.exe and its 64-bit build, shared by krlxconfig.rc
// and the code that loads them.
#pragma once

#define IDD_MAIN_DIALOG 103       // the main dialog
#define IDI_WINDOW_ICON 105       // window icon of the hidden window's class and the dialog
#define IDI_DIALOG_PICTURE 121    // the picture inside the main dialog
#define IDI_DOCUMENT_ICON 130     // third icon group of the executable
#define IDR_EMBEDDED_IMAGE 1      // resource "BINRES" 1 of the 32-bit build: the 64-bit build
