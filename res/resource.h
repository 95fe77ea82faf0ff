#pragma once
// Resource identifiers compiled into the launcher. Dialog templates and PNG
// images are added here by the window toolkit.
#define IDR_LAUNCHER_MANIFEST 1
// Dialog templates and PNG images of the skinned windows.

// Dialog templates (res/ui.rc2).
#define IDD_SKIN_FRAME 102          // layered PNG frame: main background, message-box frame
#define IDD_SKIN_MESSAGEBOX 105     // content of the skinned message box
#define IDD_MAIN_FOREGROUND 131     // main foreground window
#define IDD_FLASH 134               // invisible root dialog

// Controls of template 131.
#define IDC_MFCBUTTON1 1000
#define IDC_PROGRESS 1004
#define IDC_SPEED_TEXT 1006
#define IDC_MINIMIZE 1007
#define IDC_CLOSE 1008
#define IDC_BIG_TEXT 1009
#define IDC_STATUS_TEXT 1012
#define IDC_CHAT_GROUP 1014

// Controls of template 105.
#define IDC_MSGBOX_FIRST 1008
#define IDC_MSGBOX_SECOND 1009
#define IDC_MSGBOX_TEXT 1010

// PNG images (resource type "PNG"), drawn by tools in res/png/ (see make_artwork.py).
#define IDB_PNG_CLOSE 130                 // 28 x 28, close button
#define IDB_PNG_CLOSE_HOVER 131           // 28 x 28
#define IDB_PNG_MINIMIZE 132              // 34 x 40, minimise button
#define IDB_PNG_MINIMIZE_HOVER 133        // 34 x 40
#define IDB_PNG_MAIN_BACKGROUND 137       // 987 x 388, main background
#define IDB_PNG_MSGBOX_FRAME 138          // 366 x 184, message-box frame
#define IDB_PNG_BUTTON_ACCENT 139         // 130 x 36, accent button
#define IDB_PNG_BUTTON_STEEL 140          // 130 x 36, steel button
#define IDB_PNG_PROGRESS_BAR 141          // 398 x 4, progress fill
#define IDB_PNG_PROGRESS_TRACK 143        // 398 x 4, progress track
#define IDB_PNG_BUTTON_ACCENT_HOVER 149   // 130 x 36
#define IDB_PNG_BUTTON_STEEL_HOVER 150    // 130 x 36
#define IDB_PNG_CHAT_GROUP 1015           // 105 x 33, chat-group button
