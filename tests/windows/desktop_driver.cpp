// Starts the real tastomat.exe in the Wine shell desktop and drives it from
// outside. Usage: tastomat_e2e.exe PATH-TO-tastomat.exe [gtest flags]
#include "desktop_driver.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <iostream>
#include <sstream>

#include "../../res/resource_ids.h"

static std::string TastomatPath;
static std::vector<std::string> Arguments;
static HWND Taskbar = NULL;
static HWND StartButton = NULL;
static const DWORD kShellStartMs = 30000;

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        // Windows of the driver's own must answer while it waits.
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    }
    return true;
}

const std::vector<std::string>& DriverArguments() { return Arguments; }

static const char kBareDesktopVariable[] = "TASTOMAT_BARE_DESKTOP";

bool InBareDesktop() { return GetEnvironmentVariableA(kBareDesktopVariable, NULL, 0) != 0; }

DWORD RunSelfInBareDesktop(const char* testFilter) {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string commandLine =
        std::string("\"") + self + "\" \"" + TastomatPath + "\" --gtest_filter=" + testFilter;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<char*>("tastomat-bare");
    PROCESS_INFORMATION child = {};
    SetEnvironmentVariableA(kBareDesktopVariable, "1");
    BOOL started = CreateProcessA(self, commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                                  &startup, &child);
    SetEnvironmentVariableA(kBareDesktopVariable, NULL);
    if (!started) return (DWORD)-1;
    DWORD exitCode = (DWORD)-2;
    if (WaitForSingleObject(child.hProcess, 6 * kWaitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child.hProcess, &exitCode);
    } else {
        TerminateProcess(child.hProcess, 98);
    }
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return exitCode;
}

std::string MakeTempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    // Process ids come back in every Wine session: only a directory this
    // call created is known to be empty.
    for (unsigned attempt = GetTickCount();; ++attempt) {
        std::ostringstream name;
        name << base << "tastomat-e2e-" << attempt;
        if (CreateDirectoryA(name.str().c_str(), NULL)) return name.str();
    }
}

void RemoveDirectoryTree(const std::string& directory) {
    std::string from = directory + '\0';  // the list ends with two NULs
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&operation);
}

std::wstring LongPath(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    wide.resize((size_t)MultiByteToWideChar(CP_ACP, 0, path.data(), (int)path.size(), wide.data(),
                                            (int)wide.size()));
    return L"\\\\?\\" + wide;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got != 0) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    EXPECT_TRUE(file != INVALID_HANDLE_VALUE &&
                WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) &&
                written == bytes.size())
        << path;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

HWND ShellTaskbar() { return Taskbar; }
HWND ShellStartButton() { return StartButton; }

std::vector<HWND> PrivatButtons() {
    std::vector<HWND> buttons;
    HWND button = NULL;
    while ((button = FindWindowExA(Taskbar, button, "BUTTON", "PRIVAT")) != NULL) {
        buttons.push_back(button);
    }
    return buttons;
}

bool TrayIconExists(HWND dialog) {
    NOTIFYICONDATAA probe = {};
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.hWnd = dialog;
    probe.uID = (UINT)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

bool ClickMouseAt(int x, int y) {
    POINT point = {x, y};
    return ClickAt(point);
}

static HWND VisibleMenu() {
    HWND menu = NULL;
    while ((menu = FindWindowExA(NULL, menu, "#32768", NULL)) != NULL) {
        if (IsWindowVisible(menu)) return menu;
    }
    return NULL;
}

bool CloseShellMenus(DWORD waitMs) {
    // A menu opens a moment after the click reaches the shell.
    bool opened = WaitUntil([] { return VisibleMenu() != NULL; }, waitMs);
    HWND menu;
    while ((menu = VisibleMenu()) != NULL) {
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        WaitUntil([menu] { return !IsWindowVisible(menu); }, 1000);
    }
    return opened;
}

std::vector<MarkerLine> ReadMarkerLog(const std::string& logPath) {
    std::vector<MarkerLine> lines;
    std::istringstream log(ReadWholeFile(logPath));
    std::string line;
    while (std::getline(log, line)) {
        size_t blank = line.find(' ');
        lines.push_back({(DWORD)std::stoul(line.substr(0, blank)), line.substr(blank + 1)});
    }
    return lines;
}

static HWND FindTopLevel(DWORD processId, const char* title, HWND except) {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, "#32770", title)) != NULL) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != except && IsWindowVisible(window)) return window;
    }
    return NULL;
}

void TastomatTest::SetUp() {
    if (!InBareDesktop()) {
        ASSERT_TRUE(IsWindow(Taskbar) && IsWindow(StartButton))
            << "no shell taskbar here (the driver waited " << kShellStartMs / 1000
            << " s for one when it started)";
    }
    directory_ = MakeTempDirectory();
    markerLog_ = directory_ + "\\marker.log";
    SetEnvironmentVariableA("TASTOMAT_MARKER_LOG", markerLog_.c_str());
    Launch(directory_);
}

void TastomatTest::Launch(const std::string& directory) {
    job_ = CreateJobObjectA(NULL, NULL);
    ASSERT_NE(job_, (HANDLE)NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + TastomatPath + "\"";
    // Suspended until it is in the job, so that the job sees all it starts.
    ASSERT_TRUE(CreateProcessA(TastomatPath.c_str(), commandLine.data(), NULL, NULL, FALSE,
                               CREATE_SUSPENDED, NULL, directory.c_str(), &startup, &process_))
        << "error " << GetLastError() << " in " << directory;
    ASSERT_TRUE(AssignProcessToJobObject(job_, process_.hProcess));
    launchedAt_ = GetTickCount();
    inputLog_.clear();
    ResumeThread(process_.hThread);
    // The dialog manager shows its dialog again when its queue first runs
    // empty, so a hide sent before that moment would be undone.
    ASSERT_EQ(WaitForInputIdle(process_.hProcess, kWaitMs), 0u);
    ASSERT_TRUE(WaitUntil([this] {
        dialog_ = FindTopLevel(process_.dwProcessId, "Tastomat", NULL);
        return dialog_ != NULL;
    })) << "the main dialog did not appear";
}

void TastomatTest::TearDown() {
    if (HasFailure() && !inputLog_.empty()) std::cout << InputReport() << '\n' << std::flush;
    Stop();
    RemoveDirectoryTree(directory_);
}

void TastomatTest::Stop() {
    if (!InBareDesktop()) CloseShellMenus();
    if (process_.hProcess != NULL) {
        // A killed Tastomat would leave its icon and buttons behind in the
        // shell, so a test that did not quit quits the way a user does.
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT && Answers()) {
            // Escape closes every box Tastomat shows, the notice with only OK included.
            for (int box = 0; box < 10 && !OtherWindows().empty(); ++box) {
                HWND window = OtherWindows().front();
                PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                WaitUntil([window] { return !IsWindowVisible(window); });
            }
            Press(ID_BEENDEN);
            HWND box = WaitForBox("Tastomat");
            if (box != NULL) Answer(box, IDOK);
        }
        if (!Ended()) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, kWaitMs);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }
    if (job_ != NULL) {
        // Whatever Tastomat started and is still running.
        TerminateJobObject(job_, 0);
        CloseHandle(job_);
        job_ = NULL;
    }
    dialog_ = privat_ = NULL;
    if (!InBareDesktop()) ShowWindow(StartButton, SW_SHOWNORMAL);
}

void TastomatTest::Press(int controlId) {
    PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 (LPARAM)GetDlgItem(dialog_, controlId));
}

namespace {
struct WindowSearch {
    DWORD processId;
    HWND dialog;
    std::vector<HWND> found;
};

// A named function rather than a lambda: on 32-bit Windows the callback must
// be stdcall, which a lambda cannot be made portably.
BOOL CALLBACK CollectOtherWindow(HWND window, LPARAM data) {
    WindowSearch& search = *(WindowSearch*)data;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && window != search.dialog && IsWindowVisible(window)) {
        search.found.push_back(window);
    }
    return TRUE;
}
}  // namespace

void TastomatTest::Click(int controlId) const { ClickOn(GetDlgItem(dialog_, controlId)); }

void TastomatTest::ClickOn(HWND window) const {
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    // A window that has just been shown or raised may not be the one under
    // the point yet.
    ASSERT_TRUE(WaitUntil([&] { return WindowFromPoint(centre) == window; }))
        << "another window lies over the centre of the one to click";
    HWND root = GetAncestor(window, GA_ROOT);
    DWORD owner = 0;
    GetWindowThreadProcessId(root, &owner);
    if (owner == process_.dwProcessId) ActivateWindow(root);
    ASSERT_FALSE(HasFatalFailure());
    char name[200];
    DescribeWindow(window, name);
    NoteInput(std::string("a click on ") + name, centre);
    ASSERT_TRUE(ClickAt(centre));
}

void TastomatTest::ActivateWindow(HWND window) const {
    if (KeepsInput(window)) return;
    POINT point;
    ASSERT_TRUE(ActivationPoint(window, point)) << "another window lies over the one to activate";
    char name[200];
    DescribeWindow(window, name);
    NoteInput(std::string("a click to activate ") + name, point);
    ASSERT_TRUE(ActivateByClick(window, kSteadyMs, kAnswerMs))
        << "Tastomat's window did not take the input after one click on it\n"
        << InputReport();
}

void TastomatTest::Activate() const { ActivateWindow(dialog_); }

void TastomatTest::ClickCloseBox() const {
    Activate();
    ASSERT_FALSE(HasFatalFailure());
    POINT point;
    ASSERT_TRUE(CaptionPoint(dialog_, HTCLOSE, kAnswerMs, point))
        << "no part of the caption answers to a hit test as the close box";
    // A dialog just restored may not be the window under the point yet.
    ASSERT_TRUE(WaitUntil([&] { return WindowFromPoint(point) == dialog_; }))
        << "another window lies over the dialog's close box";
    NoteInput("a click on the dialog's close box", point);
    ASSERT_TRUE(ClickAt(point));
}

void TastomatTest::Keys(const char* name, const WORD* keys, int count) const {
    POINT pointer = {0, 0};
    GetCursorPos(&pointer);
    NoteInput(std::string("the keys ") + name, pointer);
    ASSERT_TRUE(PressKeys(keys, count));
}

void TastomatTest::NoteInput(const std::string& action, POINT point) const {
    char state[1200];
    DescribeInputAt(point, process_.dwThreadId, state);
    char when[32];
    wsprintfA(when, "%lu ms: ", GetTickCount() - launchedAt_);
    inputLog_.push_back(when + action + "\n    " + state);
}

std::string TastomatTest::InputReport() const {
    std::string report = "the real input of this test, and what it met when it was given:\n";
    for (const std::string& line : inputLog_) report += "  " + line + "\n";
    POINT pointer = {0, 0};
    GetCursorPos(&pointer);
    char state[1200];
    DescribeInputAt(pointer, process_.dwThreadId, state);
    char when[32];
    wsprintfA(when, "%lu ms", GetTickCount() - launchedAt_);
    report += std::string("now, at ") + when + ": " + state + "\nTastomat's windows now:";
    char name[200];
    DescribeWindow(dialog_, name);
    report += std::string("\n  ") + name;
    WindowSearch search = {process_.dwProcessId, dialog_, {}};
    EnumWindows(CollectOtherWindow, (LPARAM)&search);
    for (HWND window : search.found) {
        DescribeWindow(window, name);
        report += std::string("\n  ") + name;
    }
    return report;
}

HWND TastomatTest::WaitForBox(const char* title) {
    HWND box = NULL;
    WaitUntil([&] {
        box = FindTopLevel(process_.dwProcessId, title, dialog_);
        return box != NULL;
    });
    return box;
}

std::string TastomatTest::BoxText(HWND box) {
    char text[4096] = "";
    GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
    return text;
}

void TastomatTest::Answer(HWND box, int buttonId) {
    PostMessageA(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
    WaitUntil([box] { return !IsWindow(box); });
}

DWORD TastomatTest::Quit() {
    Press(ID_BEENDEN);
    HWND box = WaitForBox("Tastomat");
    EXPECT_NE(box, (HWND)NULL) << "no quit confirmation";
    if (box != NULL) Answer(box, IDOK);
    DWORD exitCode = 12345;
    if (Ended()) GetExitCodeProcess(process_.hProcess, &exitCode);
    return exitCode;
}

bool TastomatTest::Ended() {
    return WaitUntil([this] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; });
}

bool TastomatTest::Answers() { return SendToDialog(WM_NULL, 0, 0); }

bool TastomatTest::SendToDialog(UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(dialog_, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs,
                               &result) != 0;
}

bool TastomatTest::Command(int controlId) {
    return SendToDialog(WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                        (LPARAM)GetDlgItem(dialog_, controlId));
}

std::vector<HWND> TastomatTest::OtherWindows() {
    WindowSearch search = {process_.dwProcessId, dialog_, {}};
    EnumWindows(CollectOtherWindow, (LPARAM)&search);
    return search.found;
}

bool TastomatTest::ShowPrivat(bool byClick) {
    if (byClick) {
        Click(ID_ERSATZ);
    } else {
        Press(ID_ERSATZ);
    }
    return WaitUntil([this] {
               privat_ = PrivatButtons().empty() ? NULL : PrivatButtons().back();
               return privat_ != NULL && IsWindowVisible(privat_);
           }) &&
           Answers();  // "Ersatz" has finished, the button's place in the z-order included
}

void TastomatTest::Release() { PostMessageA(privat_, WM_LBUTTONUP, 0, MAKELPARAM(5, 5)); }

bool TastomatTest::ClickStarts() {
    const DWORD before = ProcessesStarted();
    Release();
    return WaitUntil([&] { return ProcessesStarted() == before + 1; });
}

HWND TastomatTest::OpenNoticeThenConfirmBeenden() {
    DeleteFileA(CommandFile().c_str());
    Release();
    HWND notice = WaitForBox("Neuer Befehl");
    if (notice == NULL) return NULL;
    Press(ID_BEENDEN);
    HWND confirm = WaitForBox("Tastomat");
    if (confirm == NULL) return NULL;
    EXPECT_EQ(BoxText(confirm), "Alternativen Startknopf entfernen");
    Answer(confirm, IDOK);
    return notice;
}

std::vector<MarkerLine> TastomatTest::WaitForMarkers(size_t count) {
    WaitUntil([&] { return ReadMarkerLog(markerLog_).size() >= count; });
    return ReadMarkerLog(markerLog_);
}

static JOBOBJECT_BASIC_ACCOUNTING_INFORMATION JobCounts(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts = {};
    EXPECT_TRUE(QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts,
                                          sizeof counts, NULL));
    return counts;
}

// Tastomat itself is the job's first process.
DWORD TastomatTest::ProcessesStarted() { return JobCounts(job_).TotalProcesses - 1; }

DWORD TastomatTest::ProcessesRunning() {
    DWORD active = JobCounts(job_).ActiveProcesses;
    bool tastomatRuns = WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
    return tastomatRuns ? active - 1 : active;
}

// Turns a Unix path (as CTest passes it) into one Windows programs can use.
static std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string MarkerPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string marker(path, length);
    return marker.substr(0, marker.find_last_of('\\') + 1) + "tastomat_marker.exe";
}

// Why no shell taskbar came: the session's processes and its desktop's
// top-level windows.
static std::string DescribeSession() {
    std::string text = "no shell taskbar with a start button came within the wait; the processes:";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process;
    for (BOOL more = Process32First(snapshot, &process); more;
         more = Process32Next(snapshot, &process)) {
        text += std::string(" ") + process.szExeFile + " (" +
                std::to_string(process.th32ProcessID) + ")";
    }
    CloseHandle(snapshot);
    text += "\nthe visible top-level windows:";
    for (HWND window = GetTopWindow(NULL); window != NULL;
         window = GetWindow(window, GW_HWNDNEXT)) {
        if (!IsWindowVisible(window)) continue;
        char name[200];
        DescribeWindow(window, name);
        text += std::string("\n  ") + name;
    }
    return text;
}

// Wine ships no calculator; the default command needs one to start.
static void InstallCalculatorStandIn() {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    CopyFileA(MarkerPath().c_str(), (std::string(system) + "\\calc.exe").c_str(), FALSE);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s PATH-TO-tastomat.exe [gtest flags]\n", argv[0]);
        return 2;
    }
    TastomatPath = WindowsPath(argv[1]);
    Arguments.assign(argv + 2, argv + argc);
    InstallCalculatorStandIn();
    // The desktop's shell may still be setting up its taskbar. Once in a
    // while that takes longer than the ten seconds the other waits allow;
    // this one ends as soon as the taskbar is there.
    bool shellThere = WaitUntil(
        [] {
            Taskbar = FindWindowA("Shell_TrayWnd", NULL);
            StartButton = FindWindowExA(Taskbar, NULL, "BUTTON", NULL);
            return InBareDesktop() || StartButton != NULL;
        },
        kShellStartMs);
    if (!shellThere) std::cout << DescribeSession() << '\n' << std::flush;
    return RUN_ALL_TESTS();
}
