// Drives the real tastomat.exe on ReactOS from inside the guest, as a user
// and the shell would, and reports through the debug port, which the host
// reads from the first serial port: one "tastomat: " line per check
// ("PASS: ..." or "FAIL: ..."), "SHOT NAME RECT..." where the host is to take
// a picture of the screen and judge those places, "NOTE: ..." for what
// ReactOS does that is worth knowing, and "DONE" last.
//
// Every action a user takes is given as a user gives it, through the
// system's input queue (SendInput): clicks on the dialog's buttons, its
// minimize and close boxes, PRIVAT, the tray icon and the message boxes'
// buttons, and the keys. Each such check says how long its effect took to
// come, and fails if it did not come within 5 s.
//
// Usage: rdriver.exe TASTOMAT_EXE WORK_DIRECTORY [--hide-privat]
//        rdriver.exe TASTOMAT_EXE WORK_DIRECTORY --restarts SETTING:COUNT[,...]
// With --hide-privat it hides PRIVAT from outside before the picture after
// "Ersatz", so that the host's check of the screen can be shown to fail.
// With --restarts it counts explorer's restarts instead (CountRestarts).
//
// Started with TASTOMAT_MARKER_LOG in its environment, as everything that
// Tastomat starts is (it inherits the driver's environment), it is the
// marker instead: it appends its command line as one line to that file.
//
// Built like tastomat.exe, without a C runtime: ReactOS lacks what the
// test programs of the Wine suites need from the posix thread library.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "../../res/resource_ids.h"
#include "../common/real_input.h"

static const DWORD kWaitMs = 60000;  // pure emulation is slow: a minute a step
// How long the effect of a user's action may take to come.
static const DWORD kActionMs = 5000;
static const char kLogVariable[] = "TASTOMAT_MARKER_LOG";
static const char kNoticeTitle[] = "Neuer Befehl";
// The id of the driver's own button in the taskbar: PRIVAT's picture.
static const int kControlId = 0x7A57;

static int passed = 0;
static int failed = 0;

static void Say(const char* text) {
    char line[1200];
    wsprintfA(line, "tastomat: %s\n", text);
    OutputDebugStringA(line);
}

static void Check(bool good, const char* what) {
    char line[1100];
    wsprintfA(line, "%s: %s", good ? "PASS" : "FAIL", what);
    Say(line);
    (good ? passed : failed)++;
}

// Lets the driver's own windows (the control in the taskbar) answer.
static void Pump() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

static void Pause(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        Pump();
        Sleep(10);
    }
}

template <typename Condition>
static bool WaitFor(Condition condition, DWORD ms = kWaitMs, DWORD stepMs = 50) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > ms) return false;
        Pause(stepMs);
    }
}

static bool SameText(HWND window, const char* text) {
    char got[512];
    GetWindowTextA(window, got, sizeof got);
    return lstrcmpA(got, text) == 0;
}

static DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

static HWND Taskbar() { return FindWindowA("Shell_TrayWnd", NULL); }

// The first BUTTON child that the taskbar's own thread made.
static HWND StartButton(HWND taskbar) {
    DWORD shellThread = GetWindowThreadProcessId(taskbar, NULL);
    HWND button = NULL;
    while ((button = FindWindowExA(taskbar, button, "BUTTON", NULL)) != NULL) {
        if (GetWindowThreadProcessId(button, NULL) == shellThread) return button;
    }
    return NULL;
}

static HWND Privat(HWND taskbar, DWORD tastomat) {
    HWND button = NULL;
    while ((button = FindWindowExA(taskbar, button, "BUTTON", "PRIVAT")) != NULL) {
        if (ProcessOf(button) == tastomat) return button;
    }
    return NULL;
}

// A visible dialog-class window of that process with that title; with
// `mainDialog`, the one that holds "Ersatz".
static HWND FindBox(DWORD process, const char* title, bool mainDialog) {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, "#32770", title)) != NULL) {
        if (ProcessOf(window) != process || !IsWindowVisible(window)) continue;
        if ((GetDlgItem(window, ID_ERSATZ) != NULL) == mainDialog) return window;
    }
    return NULL;
}

static bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static RECT ScreenRect(HWND window) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return rect;
}

// Asks the host for a picture of the screen, naming places in it, and gives
// it time to take one before anything changes.
static void Shot(const char* name, const RECT* places, int count) {
    Pause(1500);  // what was just shown is painted by now
    char line[600];
    int length = wsprintfA(line, "SHOT %s", name);
    for (int i = 0; i < count; ++i) {
        length += wsprintfA(line + length, " %d,%d,%d,%d", (int)places[i].left, (int)places[i].top,
                            (int)places[i].right, (int)places[i].bottom);
    }
    Say(line);
    Pause(4000);
}

static POINT Centre(const RECT& rect) {
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return centre;
}

// When the last press was given: an action's latency counts from there.
static DWORD pressedAt = 0;

// A user's pointer comes to rest on what it clicks a moment before the
// press; Tastomat wakes more often while it rests on one of its windows.
static const DWORD kPointerRestMs = 400;

static void ClickPoint(POINT point, bool right = false) {
    PointAt(point);
    Pause(kPointerRestMs);
    pressedAt = GetTickCount();
    ClickAt(point, right);
}

static void ClickCentre(const RECT& rect) { ClickPoint(Centre(rect)); }

// A real click on a window, a control of a dialog among them.
static void ClickWindow(HWND window) { ClickCentre(ScreenRect(window)); }

static void ClickCaption(HWND window, LRESULT hit) {
    POINT point;
    if (CaptionPoint(window, hit, 2000, point)) ClickPoint(point);
}

// Latencies of one kind of action, in milliseconds.
struct Samples {
    DWORD ms[32];
    int count;
};

static void Keep(Samples* samples, DWORD ms) {
    if (samples != NULL && samples->count < 32) samples->ms[samples->count++] = ms;
}

// The clicks on PRIVAT and on the dialog's buttons while PRIVAT is in the
// taskbar: the ones that wait for Tastomat's wake-up; and the clicks on the
// dialog's buttons where nothing has to wake Tastomat (before "Ersatz", and
// without a shell), which do the same work.
static Samples tastomatClicks;
static Samples unwokenClicks;

// Gives a user's action, waits for its effect and checks that it came
// within kActionMs, saying how long it took from the press (a click's
// pointer rests on its target first) or from the keys.
template <typename Action, typename Effect>
static bool Act(const char* what, Action action, Effect effect, Samples* samples = NULL) {
    pressedAt = 0;
    DWORD start = GetTickCount();
    action();
    if (pressedAt != 0) start = pressedAt;
    bool came = WaitFor(effect, kActionMs, 10);
    char line[700];
    if (came) {
        DWORD took = GetTickCount() - start;
        Keep(samples, took);
        wsprintfA(line, "%s (real input, %lu ms)", what, took);
    } else {
        wsprintfA(line, "%s (real input: nothing within %lu ms)", what, kActionMs);
    }
    Check(came, line);
    return came;
}

// Where the shell draws the tray icon of `dialog`: its button in the
// notification area's toolbar, found by the owner window that the shell
// keeps behind each button (its record begins as the one it was given).
static bool TrayIconRect(HWND dialog, RECT& rect) {
    HWND notify = FindWindowExA(Taskbar(), NULL, "TrayNotifyWnd", NULL);
    HWND pager = FindWindowExA(notify, NULL, "SysPager", NULL);
    HWND toolbar = FindWindowExA(pager, NULL, "ToolbarWindow32", NULL);
    if (toolbar == NULL) return false;
    HANDLE shell = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, ProcessOf(toolbar));
    if (shell == NULL) return false;
    void* remote = VirtualAllocEx(shell, NULL, 4096, MEM_COMMIT, PAGE_READWRITE);
    bool found = false;
    int count = (int)SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0);
    for (int i = 0; remote != NULL && i < count && !found; ++i) {
        TBBUTTON button;
        NOTIFYICONDATAA record;
        if (!SendMessageA(toolbar, TB_GETBUTTON, i, (LPARAM)remote) ||
            !ReadProcessMemory(shell, remote, &button, sizeof button, NULL) ||
            !ReadProcessMemory(shell, (void*)button.dwData, &record, 8, NULL) ||
            record.hWnd != dialog || !SendMessageA(toolbar, TB_GETITEMRECT, i, (LPARAM)remote) ||
            !ReadProcessMemory(shell, remote, &rect, sizeof rect, NULL)) {
            continue;
        }
        MapWindowPoints(toolbar, NULL, (POINT*)&rect, 2);
        found = true;
    }
    if (remote != NULL) VirtualFreeEx(shell, remote, 0, MEM_RELEASE);
    CloseHandle(shell);
    return found;
}

static bool TrayIconExists(HWND dialog) {
    RECT icon;
    return TrayIconRect(dialog, icon);
}

// A left click on the tray icon, as the user gives it, and the dialog
// visible again. Two clicks within the double-click time would make the
// second a double click, which the icon's owner gets instead of a press.
static bool ShowByTrayIcon(HWND dialog, const char* what) {
    RECT icon;
    // Only a hidden dialog can be shown: after a hide that failed, this fails too.
    bool there = !IsWindowVisible(dialog) && TrayIconRect(dialog, icon);
    if (there) Pause(GetDoubleClickTime() + 100);
    return Act(
        what,
        [&] {
            if (there) ClickCentre(icon);
        },
        [&] { return there && IsWindowVisible(dialog) != FALSE; });
}

// A real click on one of the dialog's buttons.
static void ClickButton(HWND dialog, int id) { ClickWindow(GetDlgItem(dialog, id)); }

static const WORD kAltF4[] = {VK_MENU, VK_F4};
static const WORD kShiftTab[] = {VK_SHIFT, VK_TAB};
static const WORD kSpace[] = {VK_SPACE};
static const WORD kEscape[] = {VK_ESCAPE};

// Runs a program of the system and waits for it to end.
static bool RunAndWait(const char* commandLine) {
    char line[MAX_PATH];
    lstrcpynA(line, commandLine, sizeof line);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, kWaitMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

static bool ReadFileBytes(const char* path, char* bytes, DWORD capacity, DWORD& size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL read = ReadFile(file, bytes, capacity, &size, NULL);
    CloseHandle(file);
    return read != FALSE;
}

static bool SameBytes(const char* a, const char* b, DWORD size) {
    for (DWORD i = 0; i < size; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

static bool WriteFileBytes(const char* path, const char* bytes, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, bytes, size, &written, NULL);
    CloseHandle(file);
    return wrote != FALSE && written == size;
}

// The file beside the marker's log that holds the error mode the last
// marker started with, as "0x" and hex digits.
static void ErrorModePath(const char* logPath, char* path) { wsprintfA(path, "%s.mode", logPath); }

// The marker: one line with the command line it was started with, and the
// error mode it was started with in a file of its own.
static int Marker(const char* logPath) {
    UINT errorMode = SetErrorMode(0);
    SetErrorMode(errorMode);
    char modePath[MAX_PATH + 8];
    char mode[16];
    ErrorModePath(logPath, modePath);
    WriteFileBytes(modePath, mode, (DWORD)wsprintfA(mode, "0x%x", errorMode));
    char line[1100];
    int length = wsprintfA(line, "%s\r\n", GetCommandLineA());
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE log = CreateFileA(logPath, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
        if (log != INVALID_HANDLE_VALUE) {
            // At the end, said explicitly: ReactOS's FAT driver writes a
            // handle opened for appending only at its file pointer, which
            // starts at the beginning.
            SetFilePointer(log, 0, NULL, FILE_END);
            DWORD written = 0;
            WriteFile(log, line, (DWORD)length, &written, NULL);
            CloseHandle(log);
            break;
        }
        Sleep(10);
    }
    char said[1200];
    wsprintfA(said, "the marker ran: %s", GetCommandLineA());
    Say(said);
    return 0;
}

// The driver's own push button in the taskbar, made as Tastomat makes
// PRIVAT, away from the start button: the picture that PRIVAT must have.
static HWND ShowControl(HWND taskbar, const RECT& start) {
    RECT client;
    GetClientRect(taskbar, &client);
    int width = (int)(start.right - start.left);
    HWND control = CreateWindowExA(0, "BUTTON", "PRIVAT", WS_CHILD | BS_PUSHBUTTON,
                                   (int)client.right / 2, 0, width, (int)(start.bottom - start.top),
                                   taskbar, (HMENU)(INT_PTR)kControlId, NULL, NULL);
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    return control;
}

struct Run {
    char tastomat[MAX_PATH];
    char directory[MAX_PATH];
    bool hidePrivat;
    PROCESS_INFORMATION process;
    HWND dialog;
    HWND taskbar;
    HWND start;
    RECT startRect;
    // The command that PRIVAT runs from its second click on, and how often
    // it has run.
    char command[MAX_PATH + 40];
    int started;
};

static bool Launch(Run& run) {
    char commandLine[MAX_PATH + 2];
    wsprintfA(commandLine, "\"%s\"", run.tastomat);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(run.tastomat, commandLine, NULL, NULL, FALSE, 0, NULL, run.directory,
                        &startup, &run.process)) {
        return false;
    }
    DWORD id = run.process.dwProcessId;
    return WaitFor([&] { return (run.dialog = FindBox(id, "Tastomat", true)) != NULL; });
}

static void CheckDialog(Run& run) {
    HWND d = run.dialog;
    Check(SameText(d, "Tastomat"), "the dialog's title is \"Tastomat\"");
    Check(SameText(GetDlgItem(d, ID_ERSATZ), "Ersatz") &&
              SameText(GetDlgItem(d, ID_STANDARD), "Standard") &&
              SameText(GetDlgItem(d, ID_VERSTECKEN), "Verstecken") &&
              SameText(GetDlgItem(d, ID_BEENDEN), "Beenden"),
          "its four buttons are \"Ersatz\", \"Standard\", \"Verstecken\", \"Beenden\"");
    Check(SameText(GetDlgItem(d, ID_TITLE), "QUELLHOF: Alternativer Startbutton"),
          "its label is \"QUELLHOF: Alternativer Startbutton\"");
    RECT dialogRect = ScreenRect(d);
    Shot("dialog", &dialogRect, 1);
}

// A thread's input state: its active, focus and capture windows and modes.
static bool InputStateOf(DWORD thread, GUITHREADINFO* info) {
    ZeroMemory(info, sizeof *info);
    info->cbSize = sizeof *info;
    return GetGUIThreadInfo(thread, info) != FALSE;
}

// The control that has the keyboard focus in Tastomat's thread.
static HWND FocusOf(Run& run) {
    GUITHREADINFO info;
    return InputStateOf(run.process.dwThreadId, &info) ? info.hwndFocus : NULL;
}

// What of a thread's input state takes keys away from its active window.
static const DWORD kInputModes =
    GUI_INMOVESIZE | GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE;

// Keys given now go to the dialog: it is the foreground and its thread's
// active window, the focus is in it, and no mouse capture, move loop or
// menu of that thread is in the way.
static bool KeysGoToDialog(Run& run) {
    GUITHREADINFO info;
    HWND d = run.dialog;
    return GetForegroundWindow() == d && InputStateOf(run.process.dwThreadId, &info) &&
           info.hwndActive == d && (info.hwndFocus == d || IsChild(d, info.hwndFocus)) &&
           info.hwndCapture == NULL && (info.flags & kInputModes) == 0;
}

// The same for half a second on end. A click on the caption finds the
// dialog active already when the tray icon has just shown it, before its
// thread has even taken the click; taking it, the thread runs a move loop
// until the button is up. While PRIVAT exists that thread reads its input
// only on PRIVAT's quarter-second tick, so half a second covers two ticks.
// Keys given before would not be sure to reach the dialog.
static bool DialogKeepsKeys(Run& run) {
    for (DWORD held = 0; held < 500; held += 20) {
        if (!KeysGoToDialog(run)) return false;
        Pause(20);
    }
    return KeysGoToDialog(run);
}

static void DescribeWindow(const char* role, HWND window) {
    if (window == NULL) {
        char line[100];
        wsprintfA(line, "NOTE: %s: none", role);
        Say(line);
        return;
    }
    char name[64] = "";
    char text[64] = "";
    char line[300];
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, text, sizeof text);
    wsprintfA(line, "NOTE: %s: 0x%lx, %s \"%s\" of process %lu", role,
              (unsigned long)(ULONG_PTR)window, name, text, ProcessOf(window));
    Say(line);
}

// Where keys went, for a key stroke that did nothing.
static void DescribeInput(Run& run) {
    HWND foreground = GetForegroundWindow();
    DescribeWindow("the foreground window", foreground);
    GUITHREADINFO info;
    if (!InputStateOf(GetWindowThreadProcessId(foreground, NULL), &info)) return;
    DescribeWindow("its thread's active window", info.hwndActive);
    DescribeWindow("its thread's focus", info.hwndFocus);
    DescribeWindow("its thread's mouse capture", info.hwndCapture);
    char line[100];
    wsprintfA(line, "NOTE: its thread's input flags: 0x%lx; Tastomat's thread keeps keys: %s",
              info.flags, KeysGoToDialog(run) ? "yes" : "no");
    Say(line);
}

// The ways a user hides the dialog, each undone by the tray icon, all by
// real input: "Verstecken", the close box, and Alt+F4 once a click on the
// caption has made the dialog the active window. The dialog has no
// minimize box to click.
static void CheckHiding(Run& run, const char* when, Samples* clicks) {
    HWND d = run.dialog;
    char what[200];
    auto hidden = [&] { return !IsWindowVisible(d); };
    auto say = [&](const char* how) {
        wsprintfA(what, "%s %s", how, when);
        return what;
    };
    Act(
        say("a click on \"Verstecken\" hides the dialog"), [&] { ClickButton(d, ID_VERSTECKEN); },
        hidden, clicks);
    ShowByTrayIcon(d, say("a left click on the tray icon shows the hidden dialog"));
    Act(
        say("a click on the close box hides the dialog"), [&] { ClickCaption(d, HTCLOSE); },
        hidden);
    ShowByTrayIcon(d, say("the tray icon shows it again"));
    Act(
        say("a click on the caption makes the dialog the active window"),
        [&] { ClickCaption(d, HTCAPTION); }, [&] { return DialogKeepsKeys(run); });
    auto altF4 = [] { PressKeys(kAltF4, 2); };
    if (!Act(say("Alt+F4 hides the dialog"), altF4, hidden)) DescribeInput(run);
    ShowByTrayIcon(d, say("the tray icon shows it again"));
    Check(WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT,
          say("Tastomat is still running"));
}

// "Ersatz" in force in `taskbar`: PRIVAT shown at the start button's place
// and size as the topmost child, the start button hidden.
static bool ErsatzInForce(Run& run, HWND taskbar) {
    HWND start = StartButton(taskbar);
    HWND privat = Privat(taskbar, run.process.dwProcessId);
    return start != NULL && privat != NULL && IsWindowVisible(privat) && !IsWindowVisible(start) &&
           SameRect(ScreenRect(privat), ScreenRect(start)) &&
           GetWindow(taskbar, GW_CHILD) == privat;
}

// What the taskbar holds, child by child from the top, for a check that
// failed.
static void DescribeTaskbar(HWND taskbar) {
    for (HWND child = GetWindow(taskbar, GW_CHILD); child != NULL;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64];
        char text[64];
        char line[300];
        GetClassNameA(child, name, sizeof name);
        GetWindowTextA(child, text, sizeof text);
        RECT rect = ScreenRect(child);
        wsprintfA(line, "NOTE: taskbar child %s \"%s\" of process %lu, %s, at %d,%d,%d,%d", name,
                  text, ProcessOf(child), IsWindowVisible(child) ? "visible" : "hidden",
                  (int)rect.left, (int)rect.top, (int)rect.right, (int)rect.bottom);
        Say(line);
    }
}

static void HidePrivatFromOutside(Run& run) {
    HWND privat = Privat(run.taskbar, run.process.dwProcessId);
    ShowWindow(privat, SW_HIDE);
    Say("NOTE: PRIVAT hidden from outside (--hide-privat): the check of the screen must fail");
}

static void CheckErsatz(Run& run) {
    RECT bar = ScreenRect(run.taskbar);
    RECT before[2] = {run.startRect, bar};
    Shot("taskbar-standard", before, 2);
    bool inForce = Act(
        "a click on \"Ersatz\": the start button is hidden, PRIVAT stands at its "
        "place and size, the topmost child of the taskbar",
        [&] { ClickButton(run.dialog, ID_ERSATZ); },
        [&] { return ErsatzInForce(run, run.taskbar); });
    if (!inForce) DescribeTaskbar(run.taskbar);
    if (run.hidePrivat) HidePrivatFromOutside(run);
    RECT shown[2] = {run.startRect, bar};
    Shot("ersatz", shown, 2);
    HWND control = ShowControl(run.taskbar, run.startRect);
    RECT places[3] = {run.startRect, ScreenRect(control), bar};
    Shot("taskbar-ersatz", places, 3);
    DestroyWindow(control);
}

// Whether the marker's log holds `line` `times` times and nothing else.
static bool MarkerLogHolds(const char* path, const char* line, int times) {
    char bytes[4096];
    DWORD size = 0;
    if (!ReadFileBytes(path, bytes, sizeof bytes - 1, size)) return false;
    bytes[size] = '\0';
    char wanted[sizeof bytes] = "";
    for (int i = 0; i < times; ++i) wsprintfA(wanted + lstrlenA(wanted), "%s\r\n", line);
    return lstrcmpA(bytes, wanted) == 0;
}

// A real click on PRIVAT, after the double-click time, so that two clicks
// in a row are two clicks.
static void ClickPrivat(Run& run) {
    Pause(GetDoubleClickTime() + 100);
    ClickWindow(Privat(run.taskbar, run.process.dwProcessId));
}

// Tastomat's file and process calls run in a quiet error mode, which a
// program it starts must not inherit: it gets the system's default, as
// from the shell, and so the system's boxes for a drive without a medium.
static void CheckErrorMode(const char* markerLog) {
    char path[MAX_PATH + 8];
    char mode[16];
    DWORD size = 0;
    ErrorModePath(markerLog, path);
    bool read = ReadFileBytes(path, mode, sizeof mode - 1, size);
    mode[read ? size : 0] = '\0';
    char what[200];
    wsprintfA(what,
              "the started program runs in the system's default error mode, 0x0 (it found %s)",
              read ? mode : "none");
    Check(read && lstrcmpA(mode, "0x0") == 0, what);
}

static void CheckClicks(Run& run, const char* markerLog) {
    char commandFile[MAX_PATH];
    wsprintfA(commandFile, "%s\\Rufknopf.ini", run.directory);
    HWND notice = NULL;
    DWORD id = run.process.dwProcessId;
    Act(
        "the first click on PRIVAT shows \"Neuer Befehl\"", [&] { ClickPrivat(run); },
        [&] { return (notice = FindBox(id, kNoticeTitle, false)) != NULL; }, &tastomatClicks);
    char expected[600];
    wsprintfA(expected,
              "Die Rufknopf.ini wurde im Verzeichnis %s angelegt. Beim Anklicken des neuen PRIVAT "
              "Buttons wird zun\xE4"
              "chst der Taschenrechner aufgerufen.\r\n\r\nUm die Funktion des neuen Buttons "
              "anzupassen, ersetzten Sie die Zeile calc.exe in der Rufknopf.ini durch eine "
              "beliebige andere Befehlszeile",
              run.directory);
    Check(notice != NULL && SameText(GetDlgItem(notice, 0xFFFF), expected),
          "the notice names the folder, byte for byte");
    if (notice != NULL) {
        RECT places[2] = {ScreenRect(notice), ScreenRect(run.taskbar)};
        Shot("notice", places, 2);
        Act(
            "a click on the notice's OK closes it", [&] { ClickWindow(GetDlgItem(notice, IDOK)); },
            [&] { return FindBox(id, kNoticeTitle, false) == NULL; });
    }
    char bytes[64];
    DWORD size = 0;
    bool read = ReadFileBytes(commandFile, bytes, sizeof bytes, size);
    Check(read && size == 12 && SameBytes(bytes, "\"calc.exe\"\r\n", 12),
          "the first click created Rufknopf.ini with the 12 bytes \"calc.exe\" CR LF");
    Check(read && GetFileAttributesA(markerLog) == INVALID_FILE_ATTRIBUTES,
          "the first click started nothing");

    GetModuleFileNameA(NULL, run.command + 1, MAX_PATH);
    run.command[0] = '"';
    lstrcatA(run.command, "\" eins \"zwei drei\"");
    WriteFileBytes(commandFile, run.command, (DWORD)lstrlenA(run.command));
    Act(
        "the next click on PRIVAT starts the marker with the command's arguments",
        [&] { ClickPrivat(run); }, [&] { return MarkerLogHolds(markerLog, run.command, 1); },
        &tastomatClicks);
    CheckErrorMode(markerLog);
    Act(
        "and the click after it once more", [&] { ClickPrivat(run); },
        [&] { return MarkerLogHolds(markerLog, run.command, 2); }, &tastomatClicks);
    run.started = 2;
    // Whatever the taskbar opened for the click's notification is closed.
    Pause(2000);
    HWND menu = FindWindowA("#32768", NULL);
    if (menu != NULL && IsWindowVisible(menu)) {
        Say("NOTE: the click on PRIVAT opened a menu of the shell's");
        PressKeys(kEscape, 1);
    }
}

static HWND VisibleMenu() {
    HWND menu = FindWindowA("#32768", NULL);
    return menu != NULL && IsWindowVisible(menu) ? menu : NULL;
}

// Explorer's own answer to a click, to compare Tastomat's with: a right
// click on its clock opens the taskbar's menu, which Escape closes again.
static void MeasureClockMenu(HWND taskbar, Samples& samples) {
    HWND notify = FindWindowExA(taskbar, NULL, "TrayNotifyWnd", NULL);
    HWND clock = FindWindowExA(notify, NULL, "TrayClockWClass", NULL);
    for (int i = 0; clock != NULL && i < 8; ++i) {
        Pause(GetDoubleClickTime() + 100);
        ClickPoint(Centre(ScreenRect(clock)), true);
        if (WaitFor([] { return VisibleMenu() != NULL; }, kActionMs, 10)) {
            Keep(&samples, GetTickCount() - pressedAt);
        }
        PressKeys(kEscape, 1);
        WaitFor([] { return VisibleMenu() == NULL; }, kActionMs);
    }
}

// "median ms (least-most, count)" of the samples, sorted on the way.
static void Summarize(Samples& samples, char* text) {
    int n = samples.count;
    for (int i = 1; i < n; ++i) {
        for (int j = i; j > 0 && samples.ms[j - 1] > samples.ms[j]; --j) {
            DWORD swap = samples.ms[j];
            samples.ms[j] = samples.ms[j - 1];
            samples.ms[j - 1] = swap;
        }
    }
    if (n == 0) {
        wsprintfA(text, "none");
        return;
    }
    DWORD median = (samples.ms[(n - 1) / 2] + samples.ms[n / 2]) / 2;
    wsprintfA(text, "%lu ms (%lu-%lu ms, %d)", median, samples.ms[0], samples.ms[n - 1], n);
}

static void SayLatencies(Samples& clock) {
    char woken[80];
    char unwoken[80];
    char explorers[80];
    Summarize(tastomatClicks, woken);
    Summarize(unwokenClicks, unwoken);
    Summarize(clock, explorers);
    char line[500];
    wsprintfA(line,
              "NOTE: from press to effect, median (range, clicks): Tastomat's clicks on PRIVAT and "
              "its dialog's buttons while PRIVAT is in the taskbar %s; on the dialog's buttons "
              "where nothing has to wake Tastomat %s; explorer's menu for a right click on its "
              "clock %s",
              woken, unwoken, explorers);
    Say(line);
}

// "Beenden" and the question's buttons, clicked; true if it was asked.
static HWND ClickBeenden(Run& run, Samples* clicks) {
    HWND confirm = NULL;
    DWORD id = run.process.dwProcessId;
    Act(
        "a click on \"Beenden\" asks \"Alternativen Startknopf entfernen\"",
        [&] { ClickButton(run.dialog, ID_BEENDEN); },
        [&] {
            confirm = FindBox(id, "Tastomat", false);
            return confirm != NULL &&
                   SameText(GetDlgItem(confirm, 0xFFFF), "Alternativen Startknopf entfernen");
        },
        clicks);
    return confirm;
}

// "Beenden", then a click on the question's OK: Tastomat ends.
static void ConfirmBeenden(Run& run, Samples* clicks) {
    HWND confirm = ClickBeenden(run, clicks);
    Act(
        "a click on the question's OK ends Tastomat",
        [&] {
            if (confirm != NULL) ClickWindow(GetDlgItem(confirm, IDOK));
        },
        [&] { return WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0; });
}

static void CheckCancelledQuit(Run& run) {
    HWND confirm = ClickBeenden(run, &tastomatClicks);
    DWORD id = run.process.dwProcessId;
    Act(
        "a click on Cancel closes the question and changes nothing: the dialog stays, and so "
        "does PRIVAT",
        [&] {
            if (confirm != NULL) ClickWindow(GetDlgItem(confirm, IDCANCEL));
        },
        [&] {
            return confirm != NULL && FindBox(id, "Tastomat", false) == NULL &&
                   WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT &&
                   IsWindowVisible(run.dialog) && ErsatzInForce(run, run.taskbar);
        });
}

// Ends explorer as a user would from a command prompt (taskkill /f) and
// starts a new one; true once the old taskbar is gone and the new one has
// a start button, which `taskbar` then is.
static bool RestartExplorer(HWND old, HWND& taskbar, bool& ended) {
    ended = RunAndWait("taskkill /f /im explorer.exe") && WaitFor([&] { return !IsWindow(old); });
    if (!ended) return false;
    char command[MAX_PATH + 40];
    GetWindowsDirectoryA(command, MAX_PATH);
    lstrcatA(command, "\\explorer.exe");
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &shell)) {
        return false;
    }
    CloseHandle(shell.hThread);
    CloseHandle(shell.hProcess);
    return WaitFor([&] {
        taskbar = Taskbar();
        return taskbar != NULL && StartButton(taskbar) != NULL;
    });
}

static void CheckShellRestart(Run& run) {
    HWND taskbar = NULL;
    bool ended = false;
    bool restarted = RestartExplorer(run.taskbar, taskbar, ended);
    Check(ended, "explorer ended (taskkill /f)");
    Check(restarted, "a new explorer made a new taskbar with a start button");
    run.taskbar = taskbar;
    Check(WaitFor([&] { return TrayIconExists(run.dialog); }), "the tray icon is back");
    bool back = WaitFor([&] { return ErsatzInForce(run, taskbar); });
    Check(back, "PRIVAT is back over the new start button, which is hidden");
    if (!back) DescribeTaskbar(taskbar);
    // The new explorer lays its taskbar out once more a moment later (seen:
    // 35 pixels high at first, then 30): the places to judge are taken once
    // the taskbar and its start button have kept theirs for a second.
    RECT bar = {0, 0, 0, 0};
    RECT start = {0, 0, 0, 0};
    WaitFor([&] {
        RECT nowBar = ScreenRect(taskbar);
        RECT nowStart = ScreenRect(StartButton(taskbar));
        bool same = SameRect(nowBar, bar) && SameRect(nowStart, start);
        bar = nowBar;
        start = nowStart;
        if (!same) Pause(1000);
        return same;
    });
    run.start = StartButton(taskbar);
    run.startRect = ScreenRect(run.start);
    RECT places[2] = {run.startRect, ScreenRect(taskbar)};
    Shot("taskbar-restarted", places, 2);
    char markerLog[MAX_PATH];
    wsprintfA(markerLog, "%s\\marker.log", run.directory);
    Act(
        "a click on the new PRIVAT starts the command", [&] { ClickPrivat(run); },
        [&] { return MarkerLogHolds(markerLog, run.command, run.started + 1); }, &tastomatClicks);
    ++run.started;
    CheckHiding(run, "after explorer restarted", &tastomatClicks);
    Act(
        "a click on \"Standard\" shows the new start button and hides PRIVAT",
        [&] { ClickButton(run.dialog, ID_STANDARD); },
        [&] {
            HWND privat = Privat(taskbar, run.process.dwProcessId);
            return IsWindowVisible(run.start) && privat != NULL && !IsWindowVisible(privat);
        },
        &tastomatClicks);
    RECT after[2] = {run.startRect, ScreenRect(taskbar)};
    Shot("taskbar-standard-again", after, 2);
}

// "Ersatz" by the keyboard: the focus is on "Standard", clicked last;
// Shift+Tab moves it to "Ersatz", and Space presses that. Then "Beenden",
// and the question's OK.
static void CheckQuit(Run& run) {
    HWND d = run.dialog;
    Act(
        "a click on the caption makes the dialog the active window, the focus on \"Standard\"",
        [&] { ClickCaption(d, HTCAPTION); },
        [&] { return DialogKeepsKeys(run) && FocusOf(run) == GetDlgItem(d, ID_STANDARD); });
    Act(
        "Shift+Tab moves the focus to \"Ersatz\"", [&] { PressKeys(kShiftTab, 2); },
        [&] { return FocusOf(run) == GetDlgItem(d, ID_ERSATZ); });
    // From "Standard": Space must be what brings PRIVAT back.
    bool standard = !ErsatzInForce(run, run.taskbar);
    Act(
        "Space on the focused \"Ersatz\" puts PRIVAT in the start button's place",
        [&] { PressKeys(kSpace, 1); }, [&] { return standard && ErsatzInForce(run, run.taskbar); });
    ConfirmBeenden(run, &tastomatClicks);
    DWORD code = 1;
    bool ended = WaitForSingleObject(run.process.hProcess, kWaitMs) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(run.process.hProcess, &code) && code == 0;
    Check(ended, "with exit code 0");
    HWND start = StartButton(run.taskbar);
    Check(start != NULL && IsWindowVisible(start), "and the start button is back");
    Check(!TrayIconExists(run.dialog), "and its tray icon is gone");
}

// Without a shell there is no notification area to bring a hidden dialog
// back: each way of hiding it minimizes it instead, and it stays on the
// screen. Each minimized dialog is restored from outside for the next.
static void CheckHidingWithoutShell(Run& run) {
    bool ended =
        RunAndWait("taskkill /f /im explorer.exe") && WaitFor([] { return Taskbar() == NULL; });
    Check(ended, "explorer ended (taskkill /f): no taskbar, no notification area");
    bool launched = ended && Launch(run);
    Check(launched, "Tastomat started without a shell and showed its dialog");
    if (!launched) return;
    HWND d = run.dialog;
    auto minimized = [d] { return IsIconic(d) && IsWindowVisible(d); };
    auto restore = [d] {
        ShowWindow(d, SW_RESTORE);
        WaitFor([d] { return !IsIconic(d); }, kActionMs);
    };
    Act(
        "without a shell a click on \"Verstecken\" minimizes the dialog, which stays on the "
        "screen",
        [&] { ClickButton(d, ID_VERSTECKEN); }, minimized, &unwokenClicks);
    restore();
    auto closeBox = [d] { ClickCaption(d, HTCLOSE); };
    Act("and so does a click on the close box", closeBox, minimized);
    restore();
    auto caption = [d] { ClickCaption(d, HTCAPTION); };
    auto keepsKeys = [&] { return DialogKeepsKeys(run); };
    Act("a click on the caption makes the restored dialog the active window", caption, keepsKeys);
    auto altF4 = [] { PressKeys(kAltF4, 2); };
    if (!Act("and so does Alt+F4", altF4, minimized)) DescribeInput(run);
    restore();
    ConfirmBeenden(run, &unwokenClicks);
}

static int Drive(Run& run) {
    char markerLog[MAX_PATH];
    wsprintfA(markerLog, "%s\\marker.log", run.directory);
    SetEnvironmentVariableA(kLogVariable, markerLog);
    bool ready = WaitFor([&] {
        run.taskbar = Taskbar();
        run.start = StartButton(run.taskbar);
        return run.start != NULL && IsWindowVisible(run.start);
    });
    Check(ready, "explorer's taskbar has a start button");
    if (!ready) return 1;
    run.startRect = ScreenRect(run.start);
    Check(Launch(run), "Tastomat started and showed its dialog");
    if (run.dialog == NULL) return 1;
    CheckDialog(run);
    CheckHiding(run, "before \"Ersatz\"", &unwokenClicks);
    CheckErsatz(run);
    // PRIVAT now shares the taskbar's input queue with Tastomat's thread.
    CheckHiding(run, "after \"Ersatz\"", &tastomatClicks);
    CheckClicks(run, markerLog);
    CheckHiding(run, "after the clicks on PRIVAT", &tastomatClicks);
    CheckCancelledQuit(run);
    CheckShellRestart(run);
    CheckQuit(run);
    Samples clockMenu;
    ZeroMemory(&clockMenu, sizeof clockMenu);
    MeasureClockMenu(run.taskbar, clockMenu);
    CheckHidingWithoutShell(run);
    SayLatencies(clockMenu);
    return failed == 0 ? 0 : 1;
}

// The restart count (tests/reactos/explorer_restarts.py): explorer ended
// and started again `count` times in one setting, the setting said first
// ("SETTING NAME") and each restart on a line of its own ("RESTART NAME N
// ok", or "problem" where something did not come back), so that the host
// can tell in which setting a bugcheck of ReactOS's came. The settings: "bare", without Tastomat;
// "ersatz", Tastomat running with "Ersatz" in force, PRIVAT back after each
// restart; "standard", "Standard" pressed before each restart and "Ersatz"
// again after it; "beenden", Tastomat started, "Ersatz", then "Beenden"
// with OK before each restart. Every press is a real click.
static bool StartWithErsatz(Run& run) {
    if (!Launch(run)) return false;
    run.taskbar = Taskbar();
    ClickButton(run.dialog, ID_ERSATZ);
    return WaitFor([&] { return ErsatzInForce(run, run.taskbar); }, kActionMs);
}

static bool QuitByBeenden(Run& run) {
    ClickButton(run.dialog, ID_BEENDEN);
    HWND confirm = NULL;
    DWORD id = run.process.dwProcessId;
    if (!WaitFor([&] { return (confirm = FindBox(id, "Tastomat", false)) != NULL; }, kActionMs)) {
        return false;
    }
    ClickWindow(GetDlgItem(confirm, IDOK));
    bool ended = WaitForSingleObject(run.process.hProcess, kWaitMs) == WAIT_OBJECT_0;
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    return ended;
}

static int CountRestarts(Run& run, const char* setting, int count) {
    bool bare = lstrcmpA(setting, "bare") == 0;
    bool standard = lstrcmpA(setting, "standard") == 0;
    bool beenden = lstrcmpA(setting, "beenden") == 0;
    char line[80];
    wsprintfA(line, "SETTING %s", setting);
    Say(line);
    if (!bare && !beenden && !StartWithErsatz(run)) {
        Say("FAIL: Tastomat did not start with \"Ersatz\" in force");
        return 1;
    }
    for (int round = 1; round <= count; ++round) {
        bool good = !beenden || (StartWithErsatz(run) && QuitByBeenden(run));
        if (standard) {
            ClickButton(run.dialog, ID_STANDARD);
            good = WaitFor([&] { return IsWindowVisible(StartButton(run.taskbar)) != FALSE; },
                           kActionMs);
        }
        HWND taskbar = NULL;
        bool ended = false;
        good = RestartExplorer(Taskbar(), taskbar, ended) && good;
        run.taskbar = taskbar;
        if (standard) ClickButton(run.dialog, ID_ERSATZ);
        if (!bare && !beenden) {
            good = WaitFor([&] { return ErsatzInForce(run, taskbar); }) && good;
        }
        wsprintfA(line, "RESTART %s %d %s", setting, round, good ? "ok" : "problem");
        Say(line);
    }
    // The next setting starts without this one's Tastomat.
    if (!bare && !beenden && !QuitByBeenden(run)) Say("NOTE: Tastomat did not end with Beenden");
    return 0;
}

// A plan of settings and their counts, "bare:20,ersatz:20", in turn.
static int CountRestartsByPlan(Run& run, const char* plan) {
    int status = 0;
    while (*plan != '\0') {
        char setting[32];
        int length = 0;
        while (*plan != '\0' && *plan != ':' && length < (int)sizeof setting - 1) {
            setting[length++] = *plan++;
        }
        setting[length] = '\0';
        int rounds = 0;
        if (*plan == ':') ++plan;
        for (; *plan >= '0' && *plan <= '9'; ++plan) rounds = (rounds * 10) + (*plan - '0');
        if (*plan == ',') ++plan;
        status |= CountRestarts(run, setting, rounds);
    }
    return status;
}

// The next blank-separated word of `line`, copied into `word`.
static const char* NextWord(const char* line, char* word, int capacity) {
    while (*line == ' ') ++line;
    int length = 0;
    while (*line != '\0' && *line != ' ' && length < capacity - 1) word[length++] = *line++;
    word[length] = '\0';
    return line;
}

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR lpCmdLine,
                   int /*nShowCmd*/) {
    char logPath[MAX_PATH];
    if (GetEnvironmentVariableA(kLogVariable, logPath, MAX_PATH) != 0) return Marker(logPath);
    Run run;
    ZeroMemory(&run, sizeof run);
    char flag[32];
    char plan[200];
    const char* rest = NextWord(lpCmdLine, run.tastomat, MAX_PATH);
    rest = NextWord(rest, run.directory, MAX_PATH);
    rest = NextWord(rest, flag, sizeof flag);
    run.hidePrivat = lstrcmpA(flag, "--hide-privat") == 0;
    Say("the driver is running");
    int status = 0;
    if (lstrcmpA(flag, "--restarts") == 0) {
        NextWord(rest, plan, sizeof plan);
        status = CountRestartsByPlan(run, plan);
    } else {
        status = Drive(run);
    }
    char done[64];
    wsprintfA(done, "DONE %d passed, %d failed", passed, failed);
    Say(done);
    return status;
}
