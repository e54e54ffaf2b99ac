// Drives a running Tastomat one step at a time, so that screenshots can be
// taken between the steps: for the headless demo run (scripts/run.sh) and the
// check of what the screen shows (tests/screen).
// Usage: tastomat_demo.exe wait | ersatz | standard | click | close-notice | quit
//        | where | reference X Y | end-reference
// Exits 0 when the step's effect was seen within ten seconds. "where" prints
// the start button's and PRIVAT's screen rectangles; "reference" shows a
// PRIVAT of its own, as Tastomat makes it but as a top-level window at X, Y,
// until "end-reference" (or a minute has passed).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../res/resource_ids.h"

static HWND FindBox(const char* title, HWND except) {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, "#32770", title)) != NULL) {
        if (window != except && IsWindowVisible(window)) return window;
    }
    return NULL;
}

static HWND MainDialog() { return FindBox("Tastomat", NULL); }

static HWND Privat() {
    return FindWindowExA(FindWindowA("Shell_TrayWnd", NULL), NULL, "BUTTON", "PRIVAT");
}

static HWND Notice() { return FindBox("Neuer Befehl", NULL); }

static HWND StartButton() {
    return FindWindowExA(FindWindowA("Shell_TrayWnd", NULL), NULL, "BUTTON", NULL);
}

static const char kReferenceTitle[] = "PRIVAT";
static const char kReferenceClass[] = "BUTTON";

static HWND Reference() {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, kReferenceClass, kReferenceTitle)) != NULL) {
        if ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) return window;
    }
    return NULL;
}

static void PrintRect(const char* name, HWND window) {
    RECT rect;
    if (window != NULL && GetWindowRect(window, &rect)) {
        printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
    }
}

// A PRIVAT as Tastomat makes it (a plain push button of the start button's
// size, the system font), but top-level, so that Wine draws it in any case.
static int ShowReference(int x, int y) {
    RECT start;
    if (!GetWindowRect(StartButton(), &start)) return 1;
    // Never active, so that it has no focus to draw, as PRIVAT has none.
    HWND reference = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kReferenceClass,
                                     kReferenceTitle, WS_POPUP, x, y, start.right - start.left,
                                     start.bottom - start.top, NULL, NULL, NULL, NULL);
    if (reference == NULL) return 1;
    ShowWindow(reference, SW_SHOWNOACTIVATE);
    printf("ready\n");
    fflush(stdout);
    for (int tick = 0; tick < 6000 && IsWindow(reference); ++tick) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
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

static void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// The steps on a running Tastomat, whose dialog is `dialog`.
static int DialogStep(const char* step, HWND dialog) {
    if (strcmp(step, "wait") == 0) return 0;
    if (strcmp(step, "ersatz") == 0) {
        Press(dialog, ID_ERSATZ);
        return Await([] { return Privat() != NULL && IsWindowVisible(Privat()); }) ? 0 : 1;
    }
    if (strcmp(step, "standard") == 0) {
        Press(dialog, ID_STANDARD);
        return Await([] { return Privat() != NULL && !IsWindowVisible(Privat()); }) ? 0 : 1;
    }
    if (strcmp(step, "where") == 0) {
        PrintRect("start-button", StartButton());
        PrintRect("privat", Privat());
        return 0;
    }
    if (strcmp(step, "click") == 0) {
        // A release without a press: the command runs, the shell's own
        // start menu stays closed.
        PostMessageA(Privat(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        return Await([] { return Notice() != NULL; }) ? 0 : 1;
    }
    if (strcmp(step, "close-notice") == 0) {
        PostMessageA(GetDlgItem(Notice(), IDOK), BM_CLICK, 0, 0);
        return Await([] { return Notice() == NULL; }) ? 0 : 1;
    }
    if (strcmp(step, "quit") == 0) {
        Press(dialog, ID_BEENDEN);
        HWND confirm = NULL;
        if (!Await([&] { return (confirm = FindBox("Tastomat", dialog)) != NULL; })) return 1;
        PostMessageA(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
        return Await([] { return MainDialog() == NULL; }) ? 0 : 1;
    }
    return 2;
}

int main(int argc, char** argv) {
    const char* step = argc > 1 ? argv[1] : "";
    if (strcmp(step, "reference") == 0 && argc == 4) {
        return ShowReference((int)strtol(argv[2], NULL, 10), (int)strtol(argv[3], NULL, 10));
    }
    if (strcmp(step, "end-reference") == 0) {
        PostMessageA(Reference(), WM_CLOSE, 0, 0);
        return Await([] { return Reference() == NULL; }) ? 0 : 1;
    }
    HWND dialog = NULL;
    if (!Await([&] { return (dialog = MainDialog()) != NULL; })) return 1;
    return DialogStep(step, dialog);
}
