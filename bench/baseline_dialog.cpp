// The baseline of the size, start-up and memory benchmarks: the least a
// program needs to show a dialog with one button, DialogBoxParamA with a
// template from its resources. Its "OK" button (or Escape) ends it.
#include <windows.h>

#include "baseline_dialog_ids.h"

static INT_PTR CALLBACK BaselineDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BASELINE), NULL, BaselineDialogProc, 0);
    return 0;
}
