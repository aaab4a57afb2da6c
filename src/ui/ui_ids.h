#pragma once

// Numbers shared by the windows, the resources and other processes: window messages, pages,
// control and command ids, resource ids. Kept free of <windows.h> so portable code can use them.

namespace zovrel::ui {

// Window messages to the main window (WM_USER = 1024). 1265 is not used.
constexpr unsigned WM_HISTORY_CHANGED = 1258;
constexpr unsigned WM_SERIAL_STATE_CHANGED = 1259;
constexpr unsigned WM_HISTORY_SEND = 1260;
constexpr unsigned WM_HISTORY_DELETE = 1261;
constexpr unsigned WM_HISTORY_ACTIVATE = 1262;
constexpr unsigned WM_APPEND_LOG_TEXT = 1263;
constexpr unsigned WM_RECEIVED_ENTRY = 1264;
constexpr unsigned WM_SHOW_MAIN = 1266;
constexpr unsigned WM_SEND_RESULT = 1267;
constexpr unsigned WM_SEND_PROGRESS = 1268;
constexpr unsigned WM_HISTORY_OPEN_FOLDER = 1269;
// A files entry whose paths were checked off the window's thread, ready for the clipboard;
// lParam is a heap ClipboardEntry holding only the paths that exist (the receiver frees it).
constexpr unsigned WM_FILES_CHECKED = 1270;
// The row menu's "固定" / "取消固定": wParam = row index; the pin is toggled.
constexpr unsigned WM_HISTORY_PIN = 1284;
// A capture was not added because every entry of the full history is pinned.
constexpr unsigned WM_HISTORY_FULL = 1285;
// A transfer from the device failed (no payload).
constexpr unsigned WM_RECEIVE_FAILED = 1280;
// To the history list or the preview: an image decoded off the window's thread; lParam is a heap
// DecodedImage (the receiver frees it).
constexpr unsigned WM_IMAGE_DECODED = 1271;
// To the history list, posted to itself: hand the thumbnails its rows asked for while being
// drawn to the decoding thread, once the drawing is done.
constexpr unsigned WM_REQUEST_THUMBNAILS = 1272;
// The tray icon's callback to the host frame.
constexpr unsigned WM_TRAY_NOTIFY = 1124;

// Main window pages.
constexpr int PAGE_CLIPBOARD = 0;
constexpr int PAGE_SERIAL_SETTINGS = 1;
constexpr int PAGE_SYSTEM = 2;

// Controls of the main window.
constexpr int IDC_MENU_BUTTON = 1001;
constexpr int IDC_HISTORY_LIST = 1002;
constexpr int IDC_LOG_PANE = 1003;
constexpr int IDC_CLEAR_LOG = 1004;
constexpr int IDC_PORT_COMBO = 1005;
constexpr int IDC_CONNECT = 1006;
constexpr int IDC_DISCONNECT = 1007;
constexpr int IDC_CANCEL_SEND = 1008;
constexpr int IDC_TRANSFER_TEXT = 1009;
constexpr int IDC_PROGRESS = 1010;
constexpr int IDC_CLEAR_HISTORY = 1011;
constexpr int IDC_SETTINGS_PORT_COMBO = 1012;
constexpr int IDC_DEBUG_LOG_CHECK = 1013;
constexpr int IDC_AUTOSTART_CHECK = 1014;
constexpr int IDC_SAVE = 1015;
constexpr int IDC_CANCEL_SETTINGS = 1016;
constexpr int IDC_NOTIFY_CHECK = 1021;
constexpr int IDC_HOTKEY_SHOW = 1022;
constexpr int IDC_HOTKEY_SEND = 1023;
constexpr int IDC_SPLITTER = 1102;

// Timers of the main window.
constexpr unsigned PORT_CHOICE_TIMER = 1;  // the port combo's selection rests: act on it

// Menu commands: the tray menu and the main window's menu button.
constexpr int ID_TRAY_EXIT = 32772;
constexpr int ID_TRAY_SHOW_MAIN = 32773;
constexpr int ID_MENU_SERIAL_SETTINGS = 32774;
constexpr int ID_MENU_ABOUT = 32775;
constexpr int ID_MENU_SYSTEM = 32776;

// Resources.
constexpr int IDI_ZOVREL = 128;
constexpr int IDR_TRAY_MENU = 130;
constexpr int IDB_MENU_BUTTON_PNG = 191;
constexpr int IDD_ABOUT = 192;

// Items of the About dialog.
constexpr int IDC_ABOUT_VERSION = 1201;
constexpr int IDC_ABOUT_EMAIL = 1202;
constexpr int IDC_ABOUT_LINK = 1203;

}  // namespace zovrel::ui
