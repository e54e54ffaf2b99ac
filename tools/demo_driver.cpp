// Drives a running Tastomat one step at a time, so that pictures of the
// screen can be taken between the steps: for the on-screen check, which is
// also the headless run of scripts/run.sh (tests/screen).
// Usage: tastomat_demo.exe wait | ersatz | standard | click | close-notice | quit
//        | where | control | end-control | paint-taskbar | hide-privat
//        | point-away | point-privat
// The presses and clicks are a user's, given through the input queue.
// Exits 0 when the step's effect was seen within ten seconds. "where" prints
// the screen rectangles of the start button, PRIVAT and the control.
// "control" puts a control into the taskbar, away from the start button: a
// push button of this process's own, made as Tastomat makes PRIVAT, which
// tells whether this Wine draws a window that another process put into its
// taskbar. It stays until "end-control" (or two minutes have passed).
// "paint-taskbar" has the shell paint its taskbar without its children, as
// a late paint of the shell's would: on a taskbar that does not clip its
// children, that paints over PRIVAT. "hide-privat" hides PRIVAT from outside
// and has the taskbar paint its place, so that the check can be shown to
// fail. "point-away" and "point-privat" move the pointer, no button
// pressed, to the bare desktop or onto PRIVAT, where it rests.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "../res/resource_ids.h"
#include "../tests/common/real_input.h"

static HWND FindBox(const char* title, HWND except) {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, "#32770", title)) != NULL) {
        if (window != except && IsWindowVisible(window)) return window;
    }
    return NULL;
}

static HWND MainDialog() { return FindBox("Tastomat", NULL); }

static HWND Taskbar() { return FindWindowA("Shell_TrayWnd", NULL); }

// The control's id; PRIVAT's is 0, as the start button's.
static const int kControlId = 0x7A57;

// The first button captioned "PRIVAT" in the taskbar with that control id.
static HWND TaskbarPrivat(int id) {
    HWND button = NULL;
    while ((button = FindWindowExA(Taskbar(), button, "BUTTON", "PRIVAT")) != NULL) {
        if (GetDlgCtrlID(button) == id) return button;
    }
    return NULL;
}

static HWND Privat() { return TaskbarPrivat(0); }

static HWND Control() { return TaskbarPrivat(kControlId); }

static HWND Notice() { return FindBox("Neuer Befehl", NULL); }

static HWND StartButton() { return FindWindowExA(Taskbar(), NULL, "BUTTON", NULL); }

static void PrintRect(const char* name, HWND window) {
    RECT rect;
    if (window != NULL && GetWindowRect(window, &rect)) {
        printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
    }
}

// The control: the start button's size, caption and class as PRIVAT has
// them, in the taskbar's free middle, left of its notification area. It
// paints itself anew five times a second, so that the taskbar, which does
// not clip its children, can never leave it painted over: whether it shows
// tells only whether this Wine draws it at all.
static int ShowControl() {
    RECT start;
    RECT taskbar;
    if (!GetWindowRect(StartButton(), &start) || !GetClientRect(Taskbar(), &taskbar)) return 1;
    int width = start.right - start.left;
    HWND control = CreateWindowExA(0, "BUTTON", "PRIVAT", WS_CHILD | BS_PUSHBUTTON,
                                   taskbar.right - (5 * width), 0, width, start.bottom - start.top,
                                   Taskbar(), (HMENU)(INT_PTR)kControlId, NULL, NULL);
    if (control == NULL) return 1;
    ShowWindow(control, SW_SHOWNORMAL);
    printf("ready\n");
    fflush(stdout);
    for (int tick = 0; tick < 12000 && IsWindow(control); ++tick) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_CLOSE) DestroyWindow(control);
            DispatchMessageA(&message);
        }
        if (tick % 20 == 0 && IsWindow(control)) {
            RedrawWindow(control, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
        Sleep(10);
    }
    return 0;
}

template <typename Condition>
static bool Await(Condition condition) {
    for (int tick = 0; tick < 1000; ++tick) {
        if (condition()) return true;
        Sleep(10);
    }
    return false;
}

// The last click given, with what it met, for the report of a step that
// did not see its effect.
static char lastClick[1600] = "no click was given";

// A user's click at a window's centre, through the input queue; on one of
// Tastomat's own windows once that takes the input.
static bool Click(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    HWND root = GetAncestor(window, GA_ROOT);
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    char name[200];
    char state[1200];
    DescribeWindow(window, name);
    DescribeInputAt(centre, GetWindowThreadProcessId(root, NULL), state);
    snprintf(lastClick, sizeof lastClick, "a click on %s, %s", name, state);
    if (root != Taskbar() && !ActivateByClick(root, 200, 2000)) {
        snprintf(lastClick, sizeof lastClick, "%s did not take the input after one click, %s", name,
                 state);
        return false;
    }
    return ClickAt(centre);
}

static bool Press(HWND dialog, int id) { return Click(GetDlgItem(dialog, id)); }

// The steps with a user's click on PRIVAT or a message box, or -1.
static int ClickStep(const char* step, HWND dialog) {
    if (strcmp(step, "click") == 0) {
        return Click(Privat()) && Await([] { return Notice() != NULL; }) ? 0 : 1;
    }
    if (strcmp(step, "close-notice") == 0) {
        return Click(GetDlgItem(Notice(), IDOK)) && Await([] { return Notice() == NULL; }) ? 0 : 1;
    }
    if (strcmp(step, "quit") == 0) {
        if (!Press(dialog, ID_BEENDEN)) return 1;
        HWND confirm = NULL;
        if (!Await([&] { return (confirm = FindBox("Tastomat", dialog)) != NULL; })) return 1;
        return Click(GetDlgItem(confirm, IDOK)) && Await([] { return MainDialog() == NULL; }) ? 0
                                                                                              : 1;
    }
    return -1;
}

// The steps on a running Tastomat, whose dialog is `dialog`.
static int DialogStep(const char* step, HWND dialog) {
    if (strcmp(step, "wait") == 0) return 0;
    if (strcmp(step, "ersatz") == 0) {
        return Press(dialog, ID_ERSATZ) &&
                       Await([] { return Privat() != NULL && IsWindowVisible(Privat()); })
                   ? 0
                   : 1;
    }
    if (strcmp(step, "standard") == 0) {
        return Press(dialog, ID_STANDARD) &&
                       Await([] { return Privat() != NULL && !IsWindowVisible(Privat()); })
                   ? 0
                   : 1;
    }
    if (strcmp(step, "where") == 0) {
        PrintRect("start-button", StartButton());
        PrintRect("privat", Privat());
        PrintRect("control", Control());
        return 0;
    }
    if (strcmp(step, "hide-privat") == 0) {
        // Wine leaves a hidden child's picture on the screen until its
        // parent paints that place; Windows has the parent paint it.
        HWND privat = Privat();
        RECT place;
        GetWindowRect(privat, &place);
        MapWindowPoints(NULL, Taskbar(), (POINT*)&place, 2);
        ShowWindow(privat, SW_HIDE);
        RedrawWindow(Taskbar(), &place, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return Await([] { return Privat() != NULL && !IsWindowVisible(Privat()); }) ? 0 : 1;
    }
    int clicked = ClickStep(step, dialog);
    return clicked >= 0 ? clicked : 2;
}

int main(int argc, char** argv) {
    const char* step = argc > 1 ? argv[1] : "";
    if (strcmp(step, "control") == 0) return ShowControl();
    if (strcmp(step, "paint-taskbar") == 0) {
        return RedrawWindow(Taskbar(), NULL, NULL,
                            RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN | RDW_UPDATENOW)
                   ? 0
                   : 1;
    }
    if (strcmp(step, "point-away") == 0) {
        // The right edge of the screen, halfway down: the bare desktop.
        POINT away = {GetSystemMetrics(SM_CXSCREEN) - 40, GetSystemMetrics(SM_CYSCREEN) / 2};
        return PointAt(away) ? 0 : 1;
    }
    if (strcmp(step, "point-privat") == 0) {
        RECT rect;
        if (!GetWindowRect(Privat(), &rect)) return 1;
        POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        return PointAt(centre) ? 0 : 1;
    }
    if (strcmp(step, "end-control") == 0) {
        // Posted to the thread: the control is a child, which WM_CLOSE
        // would not destroy.
        PostThreadMessageA(GetWindowThreadProcessId(Control(), NULL), WM_CLOSE, 0, 0);
        return Await([] { return Control() == NULL; }) ? 0 : 1;
    }
    HWND dialog = NULL;
    if (!Await([&] { return (dialog = MainDialog()) != NULL; })) return 1;
    int result = DialogStep(step, dialog);
    if (result == 1) {
        POINT pointer = {0, 0};
        GetCursorPos(&pointer);
        char state[1200];
        DescribeInputAt(pointer, GetWindowThreadProcessId(dialog, NULL), state);
        printf("the step did not see its effect\nits last click: %s\nnow: %s\n", lastClick, state);
    }
    return result;
}
