// Drives a running Tastomat one step at a time for the headless demo run
// (scripts/run.sh), so that screenshots can be taken between the steps.
// Usage: tastomat_demo.exe wait | ersatz | click | close-notice | quit
// Exits 0 when the step's effect was seen within ten seconds.
#include <windows.h>

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

int main(int argc, char** argv) {
    const char* step = argc > 1 ? argv[1] : "";
    HWND dialog = NULL;
    if (!Await([&] { return (dialog = MainDialog()) != NULL; })) return 1;
    if (strcmp(step, "wait") == 0) return 0;
    if (strcmp(step, "ersatz") == 0) {
        Press(dialog, ID_ERSATZ);
        return Await([] { return Privat() != NULL && IsWindowVisible(Privat()); }) ? 0 : 1;
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
