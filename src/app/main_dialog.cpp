// The main dialog: "Ersatz", "Standard", "Verstecken" and "Beenden". Closing
// or minimizing only hides it, or minimizes it where its tray icon could not
// bring it back; a confirmed "Beenden" is the only way out.
#include "main_dialog.h"

#include "../../res/resource_ids.h"
#include "../startbutton/input_wake.h"
#include "../startbutton/replacement.h"
#include "tray_icon.h"

// Sent by the shell to every top-level window when its taskbar has been
// created anew (Explorer restarted); the tray icon must then be added again.
static UINT TaskbarCreatedMessage = 0;

// A shell busy at logon can fail to take the icon at start-up (the tray waits
// only a few seconds for its answer), so it is asked again a few times.
static const UINT_PTR TrayRetryTimer = 1;
static const UINT TrayRetryMs = 3000;
static const int TrayRetries = 10;
static int TrayRetriesLeft = 0;

static void OnTrayRetryTimer(HWND hDlg) {
    if (AddTrayIcon(hDlg) || --TrayRetriesLeft <= 0) KillTimer(hDlg, TrayRetryTimer);
}

// Hidden, the dialog is reached only through its tray icon. Without one
// (no notification area, or a shell that did not take the icon even now),
// hiding would leave Tastomat running out of reach, the start button hidden
// with "Ersatz" in force: it is minimized instead, and stays a click away.
static void HideDialog(HWND hDlg) {
    bool iconThere = TrayIconPresent(hDlg) || AddTrayIcon(hDlg);
    ShowWindow(hDlg, iconThere ? SW_HIDE : SW_MINIMIZE);
}

static INT_PTR ConfirmQuit(HWND hDlg) {
    int answer = MessageBoxA(hDlg, "Alternativen Startknopf entfernen", "Tastomat",
                             MB_OKCANCEL | MB_ICONEXCLAMATION);
    if (answer != IDOK) return FALSE;
    Restore();
    EndDialog(hDlg, 0);
    return TRUE;
}

static INT_PTR OnCommand(HWND hDlg, WORD id) {
    switch (id) {
    case ID_ERSATZ:
        Replace();
        return FALSE;
    case ID_STANDARD:
        Restore();
        return FALSE;
    case ID_BEENDEN:
        return ConfirmQuit(hDlg);
    case ID_VERSTECKEN:
        HideDialog(hDlg);
        return TRUE;
    default:
        return FALSE;
    }
}

// The new taskbar has a start button of its own, visible, and none of the
// old taskbar's children: while "Ersatz" is in force it is replaced as
// "Ersatz" would. The icon comes first, as a shell may show its start button
// again whenever an icon is added.
static void OnTaskbarCreated(HWND hDlg) {
    AddTrayIcon(hDlg);
    if (ErsatzInForce) Replace();
}

static INT_PTR OnSysCommand(HWND hDlg, WORD command) {
    // Compared as they come, low four bits included.
    if (command == SC_MINIMIZE || command == SC_CLOSE) {
        HideDialog(hDlg);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK MainDialog::DLGPROC(HWND hDlg, UINT wMsg, WPARAM wParam, LPARAM lParam) {
    switch (wMsg) {
    case WM_INITDIALOG:
        TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
        if (!AddTrayIcon(hDlg)) {
            TrayRetriesLeft = TrayRetries;
            SetTimer(hDlg, TrayRetryTimer, TrayRetryMs, NULL);
        }
        return TRUE;
    case WM_TIMER:
        if (wParam == TrayRetryTimer) OnTrayRetryTimer(hDlg);
        return FALSE;
    case WM_SETCURSOR:
        // The pointer is on the dialog or one of its buttons.
        NoteUserAtTastomat();
        return FALSE;
    case WM_TRAYNOTIFY:
        OnTrayNotify(hDlg, lParam);
        return FALSE;
    case WM_DESTROY:
        // A confirmed "Beenden" inside a click (the first-run notice still
        // open) ends the dialog only once the click is done; until then its
        // icon can show it again and "Ersatz" hide the start button anew.
        // So the start button is brought back here, however the end came.
        Restore();
        RemoveTrayIcon();
        return FALSE;
    case WM_COMMAND:
        return OnCommand(hDlg, LOWORD(wParam));
    case WM_SYSCOMMAND:
        return OnSysCommand(hDlg, LOWORD(wParam));
    default:
        if (TaskbarCreatedMessage != 0 && wMsg == TaskbarCreatedMessage) OnTaskbarCreated(hDlg);
        return FALSE;
    }
}
