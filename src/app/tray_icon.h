// The notification-area icon: the way back to the hidden main dialog.
#ifndef TASTOMAT_TRAY_ICON_H
#define TASTOMAT_TRAY_ICON_H

#include <windows.h>
#include <shellapi.h>

// The callback message the shell sends for mouse actions on the icon.
const UINT WM_TRAYNOTIFY = WM_USER + 400;

extern NOTIFYICONDATAA TrayIconData;

// Fills the record anew and hands it to the shell with `message`; true if
// the shell took it.
bool SendTrayIcon(HWND hDlg, DWORD message);
// Adds the icon for the dialog; also used to add it again after the shell
// has restarted.
inline bool AddTrayIcon(HWND hDlg) { return SendTrayIcon(hDlg, NIM_ADD); }
// Whether the shell holds the icon now. A shell that is not there, has no
// notification area, or is too busy to answer in time does not: it takes a
// change only of an icon it holds, and this one changes nothing.
inline bool TrayIconPresent(HWND hDlg) { return SendTrayIcon(hDlg, NIM_MODIFY); }
// A left button press on the icon shows the hidden dialog.
void OnTrayNotify(HWND hDlg, LPARAM lParam);
void RemoveTrayIcon();

#endif
