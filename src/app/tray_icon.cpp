// The notification-area icon: the way back to the hidden main dialog.
#include "tray_icon.h"

#include <string.h>

#include "../../res/resource_ids.h"
#include "app_instance.h"

NOTIFYICONDATAA TrayIconData;

// The first-version record: every shell version takes it.
static const DWORD kTrayIconDataSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the 32-bit first-version tray record is 88 bytes");
#endif

bool SendTrayIcon(HWND hDlg, DWORD message) {
    ZeroMemory(&TrayIconData, sizeof TrayIconData);
    TrayIconData.cbSize = kTrayIconDataSize;
    TrayIconData.hWnd = hDlg;
    TrayIconData.uID = (UINT)(UINT_PTR)hInst;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAYNOTIFY;
    TrayIconData.hIcon = LoadIconA(hInst, IDG_NAME);
    // The record is zeroed above, so copying the name with its NUL gives the
    // bytes strncpy would, without importing strncpy from the C runtime.
    static const char kTip[] = "Tastomat";
    static_assert(sizeof kTip <= sizeof TrayIconData.szTip, "the tip fits the record");
    memcpy(TrayIconData.szTip, kTip, sizeof kTip);
    BOOL taken = Shell_NotifyIconA(message, &TrayIconData);
    // The shell keeps its own copy of the picture, so the handle is released
    // at once; for an icon from LoadIconA, which the system shares, this
    // changes nothing. The field keeps the stale value, which nothing uses.
    DestroyIcon(TrayIconData.hIcon);
    return taken != FALSE;
}

void OnTrayNotify(HWND hDlg, LPARAM lParam) {
    if (LOWORD(lParam) == WM_LBUTTONDOWN && !IsWindowVisible(hDlg)) {
        ShowWindow(hDlg, SW_SHOW);
    }
}

void RemoveTrayIcon() { Shell_NotifyIconA(NIM_DELETE, &TrayIconData); }
