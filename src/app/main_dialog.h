// The main dialog: "Ersatz", "Standard", "Verstecken" and "Beenden".
#ifndef TASTOMAT_MAIN_DIALOG_H
#define TASTOMAT_MAIN_DIALOG_H

#include <windows.h>

// The dialog procedure. It lives in a namespace because <windows.h> already
// uses the name DLGPROC for the type of all dialog procedures.
namespace MainDialog {
INT_PTR CALLBACK DLGPROC(HWND hDlg, UINT wMsg, WPARAM wParam, LPARAM lParam);
}

#endif
