// The window procedure of the "PRIVAT" buttons: a release of the left mouse
// button runs the user's command; everything else is the button's own.
#include "ctrlproc.h"

#include "../command/command_file.h"
#include "../command/command_launch.h"
#include "replacement.h"

static void RunClickAction() {
    ByteBuffer command = MakeByteBuffer();
    if (FetchCommand(command)) LaunchCommand(command.data, command.size);
    FreeByteBuffer(command);
}

extern "C" LRESULT CALLBACK CTRLPROC(HWND hWnd, UINT wMsg, WPARAM wParam, LPARAM lParam) {
    // The action runs before the release is passed on, so the button stays
    // drawn pressed while the first-run notice is open.
    if (wMsg == WM_LBUTTONUP) RunClickAction();
    return CallWindowProcA(OldButtonProc, hWnd, wMsg, wParam, lParam);
}
