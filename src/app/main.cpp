// Tastomat's entry point: runs the main dialog for the whole life of the
// process. Its modal loop is the program's only message loop; it also drives
// the "PRIVAT" buttons in the taskbar.
#include <windows.h>

#include "../../res/resource_ids.h"
#include "app_instance.h"
#include "main_dialog.h"

HINSTANCE hInst = NULL;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
    hInst = hInstance;
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialog::DLGPROC, 0);
    return 0;
}
