// The "PRIVAT" button laid over the taskbar's start button.
#include "replacement.h"

#include "ctrlproc.h"
#include "input_wake.h"

HWND hTaskbar = NULL;
HWND hStartButton = NULL;
RECT StartButtonRect = {0, 0, 0, 0};
int ButtonWidth = 0;
int ButtonHeight = 0;
HWND hPrivatButton = NULL;
WNDPROC OldButtonProc = NULL;
bool ErsatzInForce = false;

// The start button is the first BUTTON child that the taskbar's own thread
// made. Buttons that other threads put there, our "PRIVAT" among them, are
// passed over: taking one for the start button would leave the real one
// hidden for good.
static HWND FindStartButton(HWND taskbar) {
    DWORD shellThread = GetWindowThreadProcessId(taskbar, NULL);
    HWND button = NULL;
    while ((button = FindWindowExA(taskbar, button, "BUTTON", NULL)) != NULL) {
        if (GetWindowThreadProcessId(button, NULL) == shellThread) return button;
    }
    return NULL;
}

void Locate() {
    hTaskbar = FindWindowA("Shell_TrayWnd", NULL);
    // Without a taskbar there is no start button. Searching with a null
    // parent would pick some other program's top-level button instead.
    hStartButton = hTaskbar != NULL ? FindStartButton(hTaskbar) : NULL;
    if (hStartButton != NULL && GetWindowRect(hStartButton, &StartButtonRect)) {
        ButtonWidth = StartButtonRect.right - StartButtonRect.left;
        ButtonHeight = StartButtonRect.bottom - StartButtonRect.top;
    }
}

// A moment: under Wine, a window that another process put into the taskbar
// reaches the screen when its own process flushes what it painted, and the
// taskbar's flush of the same place, which does not leave that window out,
// can come after it, so even a "PRIVAT" painted after the taskbar can be
// overwritten on the screen. A quarter of a second later the taskbar's
// flush is long done. On Windows the second paint repeats the first.
//
// The same moment serves a shell that has just started (ReactOS's explorer
// does this): it announces its new taskbar before it has laid out the start
// button, which then has no size yet, and "PRIVAT" took that empty size,
// leaving the user neither button. So "PRIVAT" takes the start button's
// place and size anew, a moment at a time, until the start button has them,
// as long as "Ersatz" is in force.
static const UINT_PTR RepaintTimer = 1;
static const UINT RepaintDelayMs = 250;

static void CALLBACK RepaintPrivat(HWND button, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
    KillTimer(button, timer);
    if (ButtonWidth == 0 && ErsatzInForce) {
        Replace();
        return;
    }
    RedrawWindow(button, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// Windows 95 and 98 soon give a destroyed window's handle to a new window,
// so a handle kept from an earlier "Ersatz" names "PRIVAT" only while its
// window is one of this thread's (a null handle or a gone window has no
// thread).
static bool IsOurPrivat(HWND button) {
    return GetWindowThreadProcessId(button, NULL) == GetCurrentThreadId();
}

static void CreatePrivatButton() {
    // Wine 8 leaves no window in the foreground once a window of this thread
    // is made in another program's window: the one that had it (the dialog,
    // whose "Ersatz" was just clicked) takes it back, and keeps its keys.
    HWND foreground = GetForegroundWindow();
    UINT32 creationData = 0;
    HWND button = CreateWindowExA(0, "BUTTON", "PRIVAT", WS_CHILD | BS_PUSHBUTTON, 0, 0,
                                  ButtonWidth, ButtonHeight, hTaskbar, NULL, NULL, &creationData);
    hPrivatButton = button;
    if (foreground != NULL && GetForegroundWindow() == NULL) SetForegroundWindow(foreground);
    if (button == NULL) return;
    // Every replacement button comes from the same class, so the one saved
    // procedure serves them all.
    OldButtonProc = (WNDPROC)SetWindowLongPtrA(button, GWLP_WNDPROC, (LONG_PTR)CTRLPROC);
    ArmInputWake();
}

void Replace() {
    ErsatzInForce = true;
    Locate();
    // A button from an earlier "Ersatz" is shown again rather than covered by
    // a second one, so that "Standard" always uncovers the start button.
    if (!IsOurPrivat(hPrivatButton)) hPrivatButton = NULL;
    // But only in the taskbar it was made in. After the shell has restarted,
    // the old taskbar's button can outlive it for a while (a child of another
    // thread's window is destroyed only once its own thread gets to it), or
    // the old taskbar can linger behind the new one. Shown again, that button
    // would stay where the user no longer looks while the new start button is
    // hidden. Moving it into the new taskbar is no cure: one already doomed
    // with the old taskbar would still be destroyed there, leaving neither
    // button. So it is hidden, left to go with its taskbar, and a new one
    // made: only ever one button shown, the one "Standard" and "Beenden"
    // hide. Hidden, not destroyed: a click on it may still be under way (the
    // first-run notice open), and ends on a window that is still there.
    if (hPrivatButton != NULL && GetParent(hPrivatButton) != hTaskbar) {
        ShowWindow(hPrivatButton, SW_HIDE);
        hPrivatButton = NULL;
    }
    // Where there is no start button there is nothing to replace.
    if (hPrivatButton == NULL && hStartButton != NULL) CreatePrivatButton();
    // The start button is hidden only when something takes its place.
    if (hPrivatButton == NULL) return;
    ShowWindow(hStartButton, SW_HIDE);
    ShowWindow(hPrivatButton, SW_SHOWNORMAL);
    // A button shown again gets the place and size a new one would: the
    // start button may have changed its size since "Standard", and a part of
    // it left uncovered would take the user's clicks. Raised to the top, as
    // a shell that shows its start button again on every re-layout would
    // otherwise cover "PRIVAT".
    SetWindowPos(hPrivatButton, HWND_TOP, 0, 0, ButtonWidth, ButtonHeight, SWP_NOACTIVATE);
    // A taskbar need not clip its children (Wine's does not): what it paints
    // where the start button was, now or late, lands on "PRIVAT", and nothing
    // paints "PRIVAT" anew for it. So "PRIVAT" paints itself once more a
    // moment later, over what the taskbar painted by then.
    SetTimer(hPrivatButton, RepaintTimer, RepaintDelayMs, RepaintPrivat);
}

void Restore() {
    ErsatzInForce = false;
    Locate();
    if (hStartButton != NULL) ShowWindow(hStartButton, SW_SHOWNORMAL);
    if (IsOurPrivat(hPrivatButton)) ShowWindow(hPrivatButton, SW_HIDE);
}
