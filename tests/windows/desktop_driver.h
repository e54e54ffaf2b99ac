// Starts the real tastomat.exe in the Wine shell desktop and drives it from
// outside, as a user and the shell would: through its windows and messages.
#ifndef TASTOMAT_DESKTOP_DRIVER_H
#define TASTOMAT_DESKTOP_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

const DWORD kWaitMs = 10000;

// Polls `condition` until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

std::string MakeTempDirectory();
void RemoveDirectoryTree(const std::string& directory);
// The marker program: a stand-in for started programs that logs its
// command line to the file named by TASTOMAT_MARKER_LOG.
std::string MarkerPath();
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
// Closes a start menu that a click on a control-id-0 taskbar button opened.
void CloseStartMenus();

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

    void Press(int controlId);
    // Waits for an unowned or owned message box of Tastomat with that title.
    HWND WaitForBox(const char* title);
    std::string BoxText(HWND box);
    void Answer(HWND box, int buttonId);
    // Confirms "Beenden" and returns the exit code.
    DWORD Quit();
    bool Answers();  // the dialog's thread handles a message within 2 s

    std::string directory_;
    std::string markerLog_;
    PROCESS_INFORMATION process_ = {};
    HWND dialog_ = NULL;
};

#endif
