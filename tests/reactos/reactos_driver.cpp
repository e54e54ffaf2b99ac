// Drives the real tastomat.exe on ReactOS from inside the guest, as a user
// and the shell would, and reports through the debug port, which the host
// reads from the first serial port: one "tastomat: " line per check
// ("PASS: ..." or "FAIL: ..."), "SHOT NAME RECT..." where the host is to take
// a picture of the screen and judge those places, "NOTE: ..." for what
// ReactOS does that is worth knowing, and "DONE" last.
//
// Usage: rdriver.exe TASTOMAT_EXE WORK_DIRECTORY [--hide-privat]
// With --hide-privat it hides PRIVAT from outside before the picture after
// "Ersatz", so that the host's check of the screen can be shown to fail.
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

static const DWORD kWaitMs = 60000;  // pure emulation is slow: a minute a step
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
        Sleep(20);
    }
}

template <typename Condition>
static bool WaitFor(Condition condition, DWORD ms = kWaitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > ms) return false;
        Pause(50);
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

// A real click of the left mouse button at a rectangle's centre, through
// the system's input queue.
static void ClickCentre(const RECT& rect) {
    SetCursorPos((int)(rect.left + rect.right) / 2, (int)(rect.top + rect.bottom) / 2);
    INPUT input[2];
    ZeroMemory(input, sizeof input);
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

// A click on PRIVAT, posted to it, as the Wine suites give it. ReactOS
// holds a real click on PRIVAT back until Tastomat shows a message box
// (docs/reactos.md), so the checks cannot wait for one.
static void ClickPrivat(HWND privat) {
    PostMessageA(privat, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(privat, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
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

// A left click on the tray icon, as the user gives it; true once the dialog
// is visible again. Two clicks within the double-click time would make the
// second a double click, which the icon's owner gets instead of a press.
static bool ShowByTrayIcon(HWND dialog) {
    RECT icon;
    if (!TrayIconRect(dialog, icon)) return false;
    Pause(GetDoubleClickTime() + 100);
    ClickCentre(icon);
    return WaitFor([&] { return IsWindowVisible(dialog) != FALSE; });
}

static void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

static bool Hidden(HWND dialog) {
    return WaitFor([&] { return !IsWindowVisible(dialog); });
}

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

// The marker: one line with the command line it was started with.
static int Marker(const char* logPath) {
    char line[1100];
    int length = wsprintfA(line, "%s\r\n", GetCommandLineA());
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, 0, NULL);
        if (log != INVALID_HANDLE_VALUE) {
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

static void CheckHiding(Run& run) {
    HWND d = run.dialog;
    Check(WaitFor([&] { return TrayIconExists(d); }), "the tray icon is there");
    Press(d, ID_VERSTECKEN);
    Check(Hidden(d), "\"Verstecken\" hides the dialog");
    Check(ShowByTrayIcon(d), "a left click on the tray icon shows the hidden dialog");
    PostMessageA(d, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Check(Hidden(d), "minimize hides the dialog");
    Check(ShowByTrayIcon(d), "the tray icon shows it again");
    PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(Hidden(d), "the close box hides the dialog");
    Check(ShowByTrayIcon(d), "the tray icon shows it again");
    Check(WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT,
          "Tastomat is still running");
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
    Press(run.dialog, ID_ERSATZ);
    bool inForce = WaitFor([&] { return ErsatzInForce(run, run.taskbar); });
    Check(inForce,
          "\"Ersatz\": the start button is hidden, PRIVAT stands at its place and size, the "
          "topmost child of the taskbar");
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

static void CheckClicks(Run& run, const char* markerLog) {
    char commandFile[MAX_PATH];
    wsprintfA(commandFile, "%s\\Rufknopf.ini", run.directory);
    HWND privat = Privat(run.taskbar, run.process.dwProcessId);
    ClickPrivat(privat);
    HWND notice = NULL;
    DWORD id = run.process.dwProcessId;
    Check(WaitFor([&] { return (notice = FindBox(id, kNoticeTitle, false)) != NULL; }),
          "the first click on PRIVAT shows \"Neuer Befehl\"");
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
        PostMessageA(GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
        WaitFor([&] { return FindBox(id, kNoticeTitle, false) == NULL; });
    }
    char bytes[64];
    DWORD size = 0;
    bool read = ReadFileBytes(commandFile, bytes, sizeof bytes, size);
    Check(read && size == 12 && SameBytes(bytes, "\"calc.exe\"\r\n", 12),
          "the first click created Rufknopf.ini with the 12 bytes \"calc.exe\" CR LF");
    Check(GetFileAttributesA(markerLog) == INVALID_FILE_ATTRIBUTES,
          "the first click started nothing");

    char command[MAX_PATH + 40];
    GetModuleFileNameA(NULL, command + 1, MAX_PATH);
    command[0] = '"';
    lstrcatA(command, "\" eins \"zwei drei\"");
    WriteFileBytes(commandFile, command, (DWORD)lstrlenA(command));
    ClickPrivat(privat);
    Check(WaitFor([&] { return MarkerLogHolds(markerLog, command, 1); }),
          "the next click started the marker with the command's arguments");
    // A real click, through the system's input queue, as the user gives it.
    // Said, not checked: ReactOS has held such clicks back until Tastomat
    // showed a message box (docs/reactos.md).
    DWORD clicked = GetTickCount();
    ClickCentre(ScreenRect(privat));
    bool ran = WaitFor([&] { return MarkerLogHolds(markerLog, command, 2); }, 30000);
    char said[120];
    wsprintfA(said, "NOTE: a real click on PRIVAT started the command: %s, after %lu ms",
              ran ? "yes" : "not within 30 s", GetTickCount() - clicked);
    Say(said);
    // Whatever the taskbar opened for the click's notification is closed.
    Pause(2000);
    HWND menu = FindWindowA("#32768", NULL);
    if (menu != NULL && IsWindowVisible(menu)) {
        Say("NOTE: the click on PRIVAT opened a menu of the shell's");
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    }
}

static void CheckCancelledQuit(Run& run) {
    Press(run.dialog, ID_BEENDEN);
    HWND confirm = NULL;
    DWORD id = run.process.dwProcessId;
    Check(WaitFor([&] { return (confirm = FindBox(id, "Tastomat", false)) != NULL; }) &&
              SameText(GetDlgItem(confirm, 0xFFFF), "Alternativen Startknopf entfernen"),
          "\"Beenden\" asks \"Alternativen Startknopf entfernen\"");
    if (confirm != NULL) PostMessageA(GetDlgItem(confirm, IDCANCEL), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return FindBox(id, "Tastomat", false) == NULL; }) &&
              WaitForSingleObject(run.process.hProcess, 500) == WAIT_TIMEOUT &&
              IsWindowVisible(run.dialog) && ErsatzInForce(run, run.taskbar),
          "Cancel changes nothing: the dialog stays, and so does PRIVAT");
}

static void CheckShellRestart(Run& run) {
    HWND old = run.taskbar;
    char command[MAX_PATH + 40];
    Check(RunAndWait("taskkill /f /im explorer.exe") && WaitFor([&] { return !IsWindow(old); }),
          "explorer ended (taskkill /f)");
    GetWindowsDirectoryA(command, MAX_PATH);
    lstrcatA(command, "\\explorer.exe");
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell;
    bool started =
        CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &shell) != FALSE;
    if (started) {
        CloseHandle(shell.hThread);
        CloseHandle(shell.hProcess);
    }
    HWND taskbar = NULL;
    Check(started && WaitFor([&] {
              taskbar = Taskbar();
              return taskbar != NULL && StartButton(taskbar) != NULL;
          }),
          "a new explorer made a new taskbar with a start button");
    run.taskbar = taskbar;
    Check(WaitFor([&] { return TrayIconExists(run.dialog); }), "the tray icon is back");
    bool back = WaitFor([&] { return ErsatzInForce(run, taskbar); });
    Check(back, "PRIVAT is back over the new start button, which is hidden");
    if (!back) DescribeTaskbar(taskbar);
    run.start = StartButton(taskbar);
    run.startRect = ScreenRect(run.start);
    RECT places[2] = {run.startRect, ScreenRect(taskbar)};
    Shot("taskbar-restarted", places, 2);
    Press(run.dialog, ID_STANDARD);
    Check(WaitFor([&] {
              HWND privat = Privat(taskbar, run.process.dwProcessId);
              return IsWindowVisible(run.start) && privat != NULL && !IsWindowVisible(privat);
          }),
          "\"Standard\" shows the new start button and hides PRIVAT");
    RECT after[2] = {run.startRect, ScreenRect(taskbar)};
    Shot("taskbar-standard-again", after, 2);
}

static void CheckQuit(Run& run) {
    Press(run.dialog, ID_ERSATZ);
    WaitFor([&] { return ErsatzInForce(run, run.taskbar); });
    Press(run.dialog, ID_BEENDEN);
    HWND confirm = NULL;
    DWORD id = run.process.dwProcessId;
    WaitFor([&] { return (confirm = FindBox(id, "Tastomat", false)) != NULL; });
    if (confirm != NULL) PostMessageA(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
    DWORD code = 1;
    bool ended = WaitForSingleObject(run.process.hProcess, kWaitMs) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(run.process.hProcess, &code) && code == 0;
    Check(ended, "\"Beenden\" with OK ends Tastomat with exit code 0");
    HWND start = StartButton(run.taskbar);
    Check(start != NULL && IsWindowVisible(start), "and the start button is back");
    Check(!TrayIconExists(run.dialog), "and its tray icon is gone");
}

static int Drive(Run& run) {
    char markerLog[MAX_PATH];
    wsprintfA(markerLog, "%s\\marker.log", run.directory);
    SetEnvironmentVariableA(kLogVariable, markerLog);
    Say("the driver is running");
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
    CheckHiding(run);
    CheckErsatz(run);
    CheckClicks(run, markerLog);
    CheckCancelledQuit(run);
    CheckShellRestart(run);
    CheckQuit(run);
    return failed == 0 ? 0 : 1;
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
    const char* rest = NextWord(lpCmdLine, run.tastomat, MAX_PATH);
    rest = NextWord(rest, run.directory, MAX_PATH);
    NextWord(rest, flag, sizeof flag);
    run.hidePrivat = lstrcmpA(flag, "--hide-privat") == 0;
    int status = Drive(run);
    char done[64];
    wsprintfA(done, "DONE %d passed, %d failed", passed, failed);
    Say(done);
    return status;
}
