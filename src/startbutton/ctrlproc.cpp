// The window procedure of the "PRIVAT" buttons: a release of the left mouse
// button runs the user's command and nothing of the shell's; everything else
// is the button's own.
#include "ctrlproc.h"

#include "../command/command_file.h"
#include "../command/command_launch.h"
#include "input_wake.h"
#include "replacement.h"

static void RunClickAction() {
    ByteBuffer command = MakeByteBuffer();
    if (FetchCommand(command)) LaunchCommand(command.data, command.size);
    FreeByteBuffer(command);
}

// A point left of and above every button: a release there is one off the
// button.
static const LPARAM OffTheButton = MAKELPARAM(-1, -1);

extern "C" LRESULT CALLBACK CTRLPROC(HWND hWnd, UINT wMsg, WPARAM wParam, LPARAM lParam) {
    if (wMsg == WM_MOUSEMOVE) NoteUserAtTastomat();
    if (wMsg == WM_LBUTTONUP) {
        // The action runs before the release is passed on, so the button
        // stays drawn pressed while the first-run notice is open.
        RunClickAction();
        // Passed on as a release off the button: the button draws itself up
        // and lets the mouse go, but sends its parent no click notification.
        // That parent is the shell's taskbar, which would take it for a
        // command of its own (Wine's shell opens its start menu for it).
        lParam = OffTheButton;
    }
    return CallWindowProcA(OldButtonProc, hWnd, wMsg, wParam, lParam);
}
