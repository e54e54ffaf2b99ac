// Starts the real tastomat.exe in the Wine shell desktop and drives it from
// outside, as a user and the shell would: through its windows and messages.
#ifndef TASTOMAT_DESKTOP_DRIVER_H
#define TASTOMAT_DESKTOP_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../common/real_input.h"

const DWORD kWaitMs = 10000;
// How long the dialog may take to answer a message before it counts as hung.
const DWORD kAnswerMs = 2000;
// How long a window must have kept the input before a test gives it more.
const DWORD kSteadyMs = 200;
// The callback message of Tastomat's tray icon.
const UINT kTrayNotify = WM_USER + 400;

// Polls `condition` until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// The driver's command-line arguments behind the path of tastomat.exe that
// GoogleTest did not take for itself.
const std::vector<std::string>& DriverArguments();

std::string MakeTempDirectory();
void RemoveDirectoryTree(const std::string& directory);
// The marker program: a stand-in for started programs that logs its
// command line to the file named by TASTOMAT_MARKER_LOG.
std::string MarkerPath();
// File access for absolute paths of any length (through the \\?\ form,
// which passes the MAX_PATH limit). ReadWholeFile gives "" for a file it
// cannot read.
std::wstring LongPath(const std::string& absolutePath);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Whether this driver runs in a desktop of its own without a shell, and a
// way to get there: runs this driver with a test filter in such a desktop
// and returns its exit code.
bool InBareDesktop();
DWORD RunSelfInBareDesktop(const char* testFilter);

// Where the driver found the shell's taskbar and start button before any
// Tastomat ran.
HWND ShellTaskbar();
HWND ShellStartButton();
std::vector<HWND> PrivatButtons();

// The tray icon of `dialog`, asked for in the shell's own terms.
bool TrayIconExists(HWND dialog);
// A real left click at a screen point, through the display's input queue.
bool ClickMouseAt(int x, int y);
// Closes every menu the shell opened, waiting up to `waitMs` for one to
// open; true if one did.
bool CloseShellMenus(DWORD waitMs = 300);

// The lines the marker program (the stand-in for started programs) logged.
struct MarkerLine {
    DWORD processId;
    std::string commandLine;
};
std::vector<MarkerLine> ReadMarkerLog(const std::string& logPath);

// One running Tastomat in its own current directory. Ends it (cleanly if the
// test did not) and tidies the taskbar when the test is over.
class TastomatTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts Tastomat in `directory` and waits for its dialog; what it starts
    // is counted from here on. Stop() ends it as TearDown does.
    void Launch(const std::string& directory);
    void Stop();

    // A button's click notification, posted to the dialog: for tests that
    // inject faults or load, and for tidying up. A user's click is Click().
    void Press(int controlId);
    // Real clicks through the display's input queue, as a user gives them:
    // on one of the dialog's buttons, or on any window at its centre (a
    // message box's button, "PRIVAT"), once Tastomat's window is the active
    // one. Each fails the test if another window lies under that point.
    void Click(int controlId) const;
    void ClickOn(HWND window) const;
    // A user's click on the dialog, away from its controls, unless it takes
    // the input already; then until it has kept the input for a moment:
    // keys and clicks a test gives come then, not while Wine is still
    // activating it. ActivateWindow does so for any of Tastomat's windows.
    void Activate() const;
    void ActivateWindow(HWND window) const;
    // A real click on the dialog's close box, once the dialog is active.
    void ClickCloseBox() const;
    // Keys a user presses, named for the report (PressKeys).
    void Keys(const char* name, const WORD* keys, int count) const;
    // Records real input with what it meets, for the report of a failed
    // test: the real input given since the launch, each with the state of
    // the desktop then, and the state and Tastomat's windows now.
    void NoteInput(const std::string& action, POINT point) const;
    std::string InputReport() const;
    // Waits for an unowned or owned message box of Tastomat with that title.
    HWND WaitForBox(const char* title);
    std::string BoxText(HWND box);
    // A box's button clicked by message, for tidying up and the fault tests;
    // the tests of a user's answer click it with ClickOn().
    void Answer(HWND box, int buttonId);
    // Confirms "Beenden" and returns the exit code.
    DWORD Quit();
    // Waits for Tastomat to end. The driver's windows answer meanwhile:
    // Tastomat may be sending to them on its way out.
    bool Ended();
    bool Answers();  // the dialog's thread handles a message within 2 s
    // Sends to the dialog: true once it has handled the message, false if
    // that took more than 2 s.
    bool SendToDialog(UINT message, WPARAM wParam, LPARAM lParam);
    // A button's command, handled when this returns. Not for "Beenden",
    // whose confirmation box would keep the message from returning.
    bool Command(int controlId);
    // Tastomat's visible top-level windows other than its dialog.
    std::vector<HWND> OtherWindows();

    // Presses "Ersatz" (with a real click if `byClick`) and waits for
    // "PRIVAT" to be shown and for "Ersatz" to have finished; false if it was
    // not shown.
    bool ShowPrivat(bool byClick = false);
    // A release without a press: the button sends no click notification, so
    // the shell opens no start menu.
    void Release();
    // Opens the first-run notice with a click and, while it is open, confirms
    // "Beenden". Returns the notice, still open; NULL if a box did not come.
    HWND OpenNoticeThenConfirmBeenden();
    std::vector<MarkerLine> WaitForMarkers(size_t count);
    // Releases the mouse on "PRIVAT" once more; true once that has started
    // one more process.
    bool ClickStarts();
    std::string CommandFile() const { return directory_ + "\\Rufknopf.ini"; }

    // The processes Tastomat has started since its launch, and how many of
    // them are still running.
    DWORD ProcessesStarted();
    DWORD ProcessesRunning();

    std::string directory_;
    std::string markerLog_;
    PROCESS_INFORMATION process_ = {};
    HWND dialog_ = NULL;
    HWND privat_ = NULL;
    // Holds Tastomat and, by inheritance, everything it starts.
    HANDLE job_ = NULL;
    DWORD launchedAt_ = 0;
    mutable std::vector<std::string> inputLog_;
};

#endif
