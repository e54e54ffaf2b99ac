// Faults from outside: the tray icon lost and the shell announcing a new
// taskbar, the start button (and the taskbar) destroyed under "PRIVAT", the
// shell restarting with a new taskbar, and "Beenden" while the first-run
// notice is open. Nothing may crash or hang.
#include "desktop_driver.h"

#include <shellapi.h>

#include <atomic>

#include "../../res/resource_ids.h"

namespace {

// The message the shell sends to all top-level windows when it has made a
// new taskbar.
UINT TaskbarCreated() { return RegisterWindowMessageA("TaskbarCreated"); }

// The command every click of these tests starts: the marker.
void WriteMarkerCommand(const std::string& commandFile) {
    WriteWholeFile(commandFile, "\"" + MarkerPath() + "\" fault\r\n");
}

class Faults : public TastomatTest {
protected:
    void SetUp() override {
        TastomatTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ShowPrivat());
        WriteMarkerCommand(CommandFile());
    }
};

TEST_F(Faults, ADeletedTrayIconComesBackWhenANewTaskbarIsAnnounced) {
    Press(ID_VERSTECKEN);
    ASSERT_TRUE(WaitUntil([this] { return !IsWindowVisible(dialog_); }));
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = dialog_;
    icon.uID = (UINT)GetWindowLongPtrA(dialog_, GWLP_HINSTANCE);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon));
    ASSERT_FALSE(TrayIconExists(dialog_));

    // The shell sends it to every top-level window, hidden ones included.
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    EXPECT_TRUE(WaitUntil([this] { return TrayIconExists(dialog_); }));
    // Once more while the icon is there: nothing changes.
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(TrayIconExists(dialog_));
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_TRUE(IsWindowVisible(privat_));
    EXPECT_TRUE(ClickStarts());

    // The new icon is the shell's, with the callback: a real click on it
    // (the only icon, at the right end of the taskbar) shows the dialog.
    RECT taskbar;
    GetWindowRect(ShellTaskbar(), &taskbar);
    ASSERT_TRUE(ClickMouseAt(taskbar.right - 10, (taskbar.top + taskbar.bottom) / 2));
    EXPECT_TRUE(WaitUntil([this] { return IsWindowVisible(dialog_) != FALSE; }));
    EXPECT_EQ(Quit(), 0u);
}

TEST_F(Faults, BeendenWhileTheFirstRunNoticeIsOpenEndsWhenTheNoticeCloses) {
    HWND notice = OpenNoticeThenConfirmBeenden();
    ASSERT_NE(notice, (HWND)NULL);

    // The click that opened the notice is still being handled: the dialog
    // has ended and is gone from view, the start button is back, and the
    // notice stays until it is answered.
    ASSERT_TRUE(Answers());
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 300), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(IsWindowVisible(notice));
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_FALSE(IsWindowVisible(privat_));
    EXPECT_TRUE(IsWindowVisible(ShellStartButton()));
    EXPECT_TRUE(TrayIconExists(dialog_));

    Answer(notice, IDOK);
    ASSERT_TRUE(Ended());
    DWORD exitCode = 12345;
    GetExitCodeProcess(process_.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(IsWindowVisible(ShellStartButton()));
    EXPECT_TRUE(PrivatButtons().empty());
    EXPECT_EQ(ReadWholeFile(CommandFile()), "\"calc.exe\"\r\n");
}

// The start button's size is the shell's to choose, and a new taskbar's may
// differ from the old one's.
const SIZE kStartButtonSize = {58, 20};
const SIZE kNewStartButtonSize = {75, 18};

// A stand-in for the shell's taskbar, for a desktop without a shell: a
// top-level "Shell_TrayWnd" with a button as its start button, on a thread of
// its own that keeps handling messages whatever the test waits for, as the
// shell's does. Unlike the shell's, the test can destroy it and its button.
class StandInTaskbar {
public:
    ~StandInTaskbar() { Destroy(); }

    bool Make(SIZE startButton = kStartButtonSize) {
        Destroy();
        startButton_ = startButton;
        HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        ready_ = ready;
        desktop_ = GetThreadDesktop(GetCurrentThreadId());
        thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
        WaitForSingleObject(ready, kWaitMs);
        CloseHandle(ready);
        return IsWindow(taskbar) && IsWindow(start);
    }
    void DestroyStartButton() const { SendMessageA(start, WM_CLOSE, 0, 0); }
    void Destroy() {
        if (thread_ == NULL) return;
        if (IsWindow(taskbar)) SendMessageA(taskbar, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, kWaitMs);
        CloseHandle(thread_);
        thread_ = NULL;
    }

    HWND taskbar = NULL;
    HWND start = NULL;
    // Whether it takes tray icons. At first it does not, as a desktop
    // without a notification area, or a shell too busy to answer.
    static std::atomic<bool> takesIcons;

private:
    static std::atomic<bool> holdsIcon;

    // Wine's Shell_NotifyIcon hands the taskbar each request as WM_COPYDATA
    // with the request in dwData. One icon is all the tests need.
    static LRESULT AnswerTray(const COPYDATASTRUCT& request) {
        if (!takesIcons) return FALSE;
        if (request.dwData == NIM_MODIFY) return holdsIcon ? TRUE : FALSE;
        holdsIcon = request.dwData == NIM_ADD;
        return TRUE;
    }

    static LRESULT CALLBACK TaskbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COPYDATA) return AnswerTray(*(const COPYDATASTRUCT*)lParam);
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcA(window, message, wParam, lParam);
    }

    static DWORD WINAPI Run(LPVOID self) {
        StandInTaskbar& stand = *(StandInTaskbar*)self;
        // Wine starts a new thread in the default desktop, not the one the
        // process was started in.
        SetThreadDesktop(stand.desktop_);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = TaskbarProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&windowClass);
        stand.taskbar =
            CreateWindowExA(WS_EX_TOOLWINDOW, "Shell_TrayWnd", NULL, WS_POPUP | WS_VISIBLE, 0, 748,
                            1024, 20, NULL, NULL, GetModuleHandleA(NULL), NULL);
        stand.start = CreateWindowExA(0, "BUTTON", "Start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                      0, 0, stand.startButton_.cx, stand.startButton_.cy,
                                      stand.taskbar, NULL, NULL, NULL);
        SetEvent(stand.ready_);
        MSG message;
        while (stand.taskbar != NULL && GetMessageA(&message, NULL, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        return 0;
    }

    HANDLE thread_ = NULL;
    HANDLE ready_ = NULL;
    HDESK desktop_ = NULL;
    SIZE startButton_ = {0, 0};
};

std::atomic<bool> StandInTaskbar::takesIcons(false);
std::atomic<bool> StandInTaskbar::holdsIcon(false);

// In a desktop without a shell, Wine's windows are X windows of their own,
// and with no window manager on the display Wine waits up to 2 s for each
// one that hides (the dialog, a message box). The checks here therefore wait
// for what a command does, up to 10 s, instead of for a 2-second answer.
class FakeTaskbar : public TastomatTest {
protected:
    void SetUp() override {
        if (!InBareDesktop()) GTEST_SKIP() << "runs inside the bare desktop, see BareDesktop";
        // Made once Tastomat runs, as the shell is there before it.
        TastomatTest::SetUp();
        if (HasFatalFailure()) return;
        MakeTaskbar();
        if (HasFatalFailure()) return;
        WriteMarkerCommand(CommandFile());
        ASSERT_TRUE(Do(ID_ERSATZ, [this] { return IsWindowVisible(privat_ = Privat()) != FALSE; }));
    }
    void TearDown() override {
        TastomatTest::TearDown();
        stand_.Destroy();
        StandInTaskbar::takesIcons = false;
    }

    void MakeTaskbar(SIZE startButton = kStartButtonSize) { MakeTaskbar(stand_, startButton); }
    static void MakeTaskbar(StandInTaskbar& stand, SIZE startButton) {
        ASSERT_TRUE(stand.Make(startButton));
        ASSERT_EQ(FindWindowA("Shell_TrayWnd", NULL), stand.taskbar)
            << "another taskbar is found first";
    }

    HWND Privat() const { return PrivatIn(stand_); }
    static HWND PrivatIn(const StandInTaskbar& stand) {
        return FindWindowExA(stand.taskbar, NULL, "BUTTON", "PRIVAT");
    }

    // Presses a button and waits for what it does.
    bool Do(int controlId, const std::function<bool()>& done) {
        Press(controlId);
        return WaitUntil(done);
    }

    StandInTaskbar stand_;
};

TEST_F(FakeTaskbar, PrivatOutlivesTheStartButton_AndANewTaskbarGetsItsOwn) {
    HWND privat = privat_;
    EXPECT_FALSE(IsWindowVisible(stand_.start));

    // The start button destroyed while "PRIVAT" is shown.
    stand_.DestroyStartButton();
    EXPECT_TRUE(ClickStarts());
    EXPECT_TRUE(Do(ID_STANDARD, [privat] { return !IsWindowVisible(privat); }));
    // "Ersatz" shows the button it made before, start button or not.
    EXPECT_TRUE(Do(ID_ERSATZ, [privat] { return IsWindowVisible(privat) != FALSE; }));

    // The whole taskbar destroyed: "PRIVAT" goes with it, and the commands
    // find nothing to act on. A child of another process's thread is
    // destroyed when that thread gets to it, not within the parent's
    // DestroyWindow, so this waits for it.
    stand_.Destroy();
    EXPECT_TRUE(WaitUntil([privat] { return !IsWindow(privat); }));
    Press(ID_STANDARD);
    Press(ID_ERSATZ);
    Release();
    ASSERT_TRUE(WaitUntil([this] { return Answers(); }));
    EXPECT_EQ(FindWindowExA(NULL, NULL, "BUTTON", "PRIVAT"), (HWND)NULL);

    // A new taskbar, announced as the shell does, while "Ersatz" is in
    // force: it gets a new "PRIVAT", and "Ersatz" shows that one again.
    MakeTaskbar();
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(Do(ID_ERSATZ, [this] { return IsWindowVisible(privat_ = Privat()) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(stand_.start));
    EXPECT_TRUE(ClickStarts());
    EXPECT_EQ(Quit(), 0u);
    EXPECT_TRUE(IsWindowVisible(stand_.start));
}

// Between a confirmed "Beenden" and the end of the click that opened the
// notice, the tray icon can still show the dialog and "Ersatz" hide the
// start button again. Here, unlike in Wine's shell, nothing shows it again
// by itself: Tastomat has to on its way out.
TEST_F(FakeTaskbar, TheStartButtonIsBackAfterTheEndWhateverCameBetweenBeendenAndTheEnd) {
    HWND notice = OpenNoticeThenConfirmBeenden();
    ASSERT_NE(notice, (HWND)NULL);
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(stand_.start) != FALSE; }));

    PostMessageA(dialog_, kTrayNotify, 0, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(dialog_) != FALSE; }));
    ASSERT_TRUE(Do(ID_ERSATZ, [this] { return !IsWindowVisible(stand_.start); }));
    Answer(notice, IDOK);
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(IsWindowVisible(stand_.start));
}

// The shell restarting, on the stand-in taskbar. Run in a bare desktop of its
// own: with Wine's wait for every window that hides, these cases together
// with FakeTaskbar's would come close to the time one run is given there.
class ShellRestart : public FakeTaskbar {
protected:
    // Explorer ending and starting again: its taskbar destroyed, "PRIVAT"
    // with it, and a new one made whose start button has another size.
    void RestartShell() {
        HWND privat = Privat();
        stand_.Destroy();
        // A child of another process's thread is destroyed when that thread
        // gets to it, not within the parent's DestroyWindow.
        ASSERT_TRUE(WaitUntil([privat] { return !IsWindow(privat); }));
        MakeTaskbar(kNewStartButtonSize);
    }

    static size_t CountPrivatsIn(const StandInTaskbar& stand) {
        size_t count = 0;
        HWND button = NULL;
        while ((button = FindWindowExA(stand.taskbar, button, "BUTTON", "PRIVAT")) != NULL) ++count;
        return count;
    }

    // What "Ersatz" leaves in a taskbar: one "PRIVAT", shown, at the origin of
    // the client area with the start button's size, and the start button
    // hidden.
    static void ExpectReplaced(const StandInTaskbar& stand) {
        HWND privat = PrivatIn(stand);
        EXPECT_EQ(CountPrivatsIn(stand), 1u);
        EXPECT_TRUE(IsWindowVisible(privat));
        EXPECT_FALSE(IsWindowVisible(stand.start));
        RECT start, replacement;
        GetWindowRect(stand.start, &start);
        GetWindowRect(privat, &replacement);
        POINT clientOrigin = {0, 0};
        ClientToScreen(stand.taskbar, &clientOrigin);
        EXPECT_EQ(replacement.left, clientOrigin.x);
        EXPECT_EQ(replacement.top, clientOrigin.y);
        EXPECT_EQ(replacement.right - replacement.left, start.right - start.left);
        EXPECT_EQ(replacement.bottom - replacement.top, start.bottom - start.top);
    }

    // Waits until Tastomat has handled every message posted to it so far:
    // the quit confirmation, posted behind them, opens only then. It is
    // cancelled, which changes nothing.
    bool HandledSoFar() {
        Press(ID_BEENDEN);
        HWND confirmation = WaitForBox("Tastomat");
        if (confirmation == NULL) return false;
        Answer(confirmation, IDCANCEL);
        return !IsWindow(confirmation);
    }
};

// Explorer restarted: its new taskbar comes with a start button of its own,
// shown, and is announced to every top-level window.
TEST_F(ShellRestart, ANewTaskbarIsReplacedToo_WhileErsatzIsInForce) {
    RestartShell();
    if (HasFatalFailure()) return;
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(privat_ = Privat()) != FALSE; }));
    ExpectReplaced(stand_);
    EXPECT_TRUE(ClickStarts());

    // Announced again with the taskbar unchanged, after the shell has shown
    // its start button again: "PRIVAT" covers it again, the same button, not
    // a second one.
    HWND privat = privat_;
    ShowWindow(stand_.start, SW_SHOWNOACTIVATE);
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return !IsWindowVisible(stand_.start); }));
    EXPECT_EQ(Privat(), privat);
    ExpectReplaced(stand_);
    EXPECT_TRUE(ClickStarts());

    // A confirmed "Beenden" ends "Ersatz" with the new start button back.
    EXPECT_EQ(Quit(), 0u);
    EXPECT_TRUE(IsWindowVisible(stand_.start));
}

// "Standard" leaves a new taskbar as the shell made it; "Ersatz" pressed while
// there is no taskbar at all holds for the one a shell starting later makes.
TEST_F(ShellRestart, AfterStandardANewTaskbarStaysAsMade_AfterErsatzWithoutTaskbarItGetsPrivat) {
    ASSERT_TRUE(Do(ID_STANDARD, [this] { return IsWindowVisible(stand_.start) != FALSE; }));
    RestartShell();
    if (HasFatalFailure()) return;
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(HandledSoFar());
    EXPECT_TRUE(IsWindowVisible(stand_.start));
    EXPECT_EQ(CountPrivatsIn(stand_), 0u);

    stand_.Destroy();
    Press(ID_ERSATZ);
    // Handled before the next taskbar is there, so that only the
    // announcement can put "PRIVAT" into it.
    ASSERT_TRUE(HandledSoFar());
    MakeTaskbar(kNewStartButtonSize);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(IsWindowVisible(stand_.start));
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(privat_ = Privat()) != FALSE; }));
    ExpectReplaced(stand_);
    EXPECT_TRUE(ClickStarts());
}

// A new taskbar made while the old one is still there, as from a shell that
// hangs on its way out: the old taskbar's "PRIVAT" is not taken for the new
// one's replacement, and stays behind hidden, to go with its taskbar.
TEST_F(ShellRestart, APrivatOfTheOldTaskbarIsNotTakenForTheNewOnes) {
    HWND oldPrivat = privat_;
    StandInTaskbar newer;
    MakeTaskbar(newer, kNewStartButtonSize);
    if (HasFatalFailure()) return;
    PostMessageA(HWND_BROADCAST, TaskbarCreated(), 0, 0);
    ASSERT_TRUE(WaitUntil([&newer] { return IsWindowVisible(PrivatIn(newer)) != FALSE; }));
    ExpectReplaced(newer);
    // Hidden in its old taskbar, which it goes with.
    EXPECT_TRUE(IsWindow(oldPrivat));
    EXPECT_FALSE(IsWindowVisible(oldPrivat));
    privat_ = PrivatIn(newer);
    EXPECT_TRUE(ClickStarts());
    EXPECT_EQ(Quit(), 0u);
    EXPECT_TRUE(IsWindowVisible(newer.start));
}

// Without its tray icon a hidden dialog could not be shown again: each way
// of hiding it minimizes it instead, and it stays within reach. Once the
// shell takes the icon, asked again every few seconds after a failed start,
// they hide it again. Given as the messages they send: in this desktop
// without a shell a click does not activate the dialog under Wine 10, nor
// does Wine put a dialog restored from outside back under the pointer. The
// ReactOS leg gives them as real input, with explorer ended.
TEST_F(FakeTaskbar, WithoutATrayIconHidingMinimizes_OnceTheShellTakesItItHides) {
    const struct {
        const char* how;
        std::function<void()> hide;
    } ways[] = {
        {"Verstecken", [this] { Press(ID_VERSTECKEN); }},
        // The dialog has no minimize box: this is the request a shell sends.
        {"minimize", [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
        {"close box and Alt+F4", [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        way.hide();
        EXPECT_TRUE(WaitUntil([this] { return IsIconic(dialog_) != FALSE; })) << way.how;
        EXPECT_TRUE(IsWindowVisible(dialog_)) << way.how;
        ShowWindow(dialog_, SW_RESTORE);
        ASSERT_TRUE(WaitUntil([this] { return !IsIconic(dialog_); })) << way.how;
    }

    StandInTaskbar::takesIcons = true;
    EXPECT_TRUE(WaitUntil([this] { return TrayIconExists(dialog_); }))
        << "the icon was not asked for again";
    Press(ID_VERSTECKEN);
    EXPECT_TRUE(WaitUntil([this] { return !IsWindowVisible(dialog_); }));
    EXPECT_FALSE(IsIconic(dialog_));
}

TEST(BareDesktop, RunsTheFakeTaskbarCaseThere) {
    if (InBareDesktop()) GTEST_SKIP();
    EXPECT_EQ(RunSelfInBareDesktop("FakeTaskbar.*"), 0u);
}

TEST(BareDesktop, RunsTheShellRestartCasesThere) {
    if (InBareDesktop()) GTEST_SKIP();
    EXPECT_EQ(RunSelfInBareDesktop("ShellRestart.*"), 0u);
}

}  // namespace
