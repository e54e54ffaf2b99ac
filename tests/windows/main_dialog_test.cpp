// The main dialog and its tray icon: hiding, showing, quitting.
#include "desktop_driver.h"

#include "../../res/resource_ids.h"

namespace {

class MainDialog : public TastomatTest {};

TEST_F(MainDialog, ShowsItsButtonsAndLabelWithATrayIcon) {
    EXPECT_TRUE(IsWindowVisible(dialog_));
    const struct {
        int id;
        const char* text;
    } controls[] = {{ID_ERSATZ, "Ersatz"},
                    {ID_STANDARD, "Standard"},
                    {ID_VERSTECKEN, "Verstecken"},
                    {ID_BEENDEN, "Beenden"},
                    {ID_TITLE, "QUELLHOF: Alternativer Startbutton"}};
    for (const auto& control : controls) {
        HWND item = GetDlgItem(dialog_, control.id);
        char text[64] = "";
        GetWindowTextA(item, text, sizeof text);
        EXPECT_STREQ(text, control.text);
        EXPECT_TRUE(IsWindowVisible(item)) << control.text;
    }
    EXPECT_TRUE(TrayIconExists(dialog_));
}

TEST_F(MainDialog, HidesOnVerstecken_MinimizeCloseAndAltF4_AndTheTrayIconBringsItBack) {
    // As a user gives them, through the input queue; Alt+F4 once a click on
    // the caption has made the dialog the active window.
    static const WORD altF4[] = {VK_MENU, VK_F4};
    const struct {
        const char* how;
        std::function<void()> hide;
    } ways[] = {
        {"Verstecken", [this] { Click(ID_VERSTECKEN); }},
        // The dialog has no minimize box: this is the request a shell's
        // "Minimize" for its task sends.
        {"minimize", [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
        {"close box", [this] { ClickCloseBox(); }},
        {"Alt+F4",
         [this] {
             Activate();
             ASSERT_FALSE(HasFatalFailure());
             Keys("Alt+F4", altF4, 2);
         }},
    };
    for (const auto& way : ways) {
        way.hide();
        ASSERT_FALSE(HasFatalFailure()) << way.how;
        EXPECT_TRUE(WaitUntil([this] { return !IsWindowVisible(dialog_); })) << way.how;
        EXPECT_FALSE(IsIconic(dialog_)) << way.how;
        // Movement, right and middle clicks leave it hidden; only a left
        // button press brings it back.
        for (UINT mouse : {WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONUP}) {
            PostMessageA(dialog_, kTrayNotify, 0, mouse);
        }
        ASSERT_TRUE(Answers());
        EXPECT_FALSE(IsWindowVisible(dialog_)) << way.how;
        PostMessageA(dialog_, kTrayNotify, 0, WM_LBUTTONDOWN);
        EXPECT_TRUE(WaitUntil([this] { return IsWindowVisible(dialog_) != FALSE; })) << way.how;
    }
    EXPECT_TRUE(TrayIconExists(dialog_));
}

TEST_F(MainDialog, ARealClickOnTheTrayIconShowsTheHiddenDialog) {
    Click(ID_VERSTECKEN);
    ASSERT_TRUE(WaitUntil([this] { return !IsWindowVisible(dialog_); }));
    // The shell draws its tray icons from the right end of the taskbar; this
    // is the only one.
    RECT taskbar;
    GetWindowRect(ShellTaskbar(), &taskbar);
    ASSERT_TRUE(ClickMouseAt(taskbar.right - 10, (taskbar.top + taskbar.bottom) / 2));
    EXPECT_TRUE(WaitUntil([this] { return IsWindowVisible(dialog_) != FALSE; }));
}

TEST_F(MainDialog, EscapeEnterAndWmCloseDoNothing) {
    Activate();
    ASSERT_FALSE(HasFatalFailure());
    static const WORD escape[] = {VK_ESCAPE};
    static const WORD enter[] = {VK_RETURN};
    Keys("Escape", escape, 1);
    Keys("Enter", enter, 1);
    // Another program's request to close it.
    PostMessageA(dialog_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 0), (DWORD)WAIT_TIMEOUT);
}

// Real clicks, "PRIVAT" in the taskbar: from here on Tastomat's thread shares
// the taskbar's input queue.
TEST_F(MainDialog, BeendenCancelledChangesNothing) {
    ASSERT_TRUE(ShowPrivat(true));
    Click(ID_BEENDEN);
    HWND box = WaitForBox("Tastomat");
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(BoxText(box), "Alternativen Startknopf entfernen");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_);
    ClickOn(GetDlgItem(box, IDCANCEL));
    ASSERT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_TRUE(IsWindowVisible(PrivatButtons().at(0)));
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 0), (DWORD)WAIT_TIMEOUT);
}

TEST_F(MainDialog, BeendenConfirmedRestoresTheStartButtonRemovesTheIconAndExitsWithZero) {
    ASSERT_TRUE(ShowPrivat(true));
    // Making PRIVAT in the shell's taskbar takes no input from the dialog
    // whose "Ersatz" was clicked: its keys still work.
    EXPECT_TRUE(WaitUntil([this] { return !KeepsInput(dialog_); }, 500) == false)
        << "the dialog lost the input after the first \"Ersatz\"\n"
        << InputReport();
    Click(ID_STANDARD);
    ASSERT_TRUE(WaitUntil([] { return IsWindowVisible(ShellStartButton()) != FALSE; }));
    ASSERT_TRUE(Answers());
    ASSERT_TRUE(ShowPrivat(true));
    HWND dialog = dialog_;
    Click(ID_BEENDEN);
    HWND box = WaitForBox("Tastomat");
    ASSERT_NE(box, (HWND)NULL);
    ClickOn(GetDlgItem(box, IDOK));
    DWORD exitCode = 12345;
    ASSERT_TRUE(Ended());
    GetExitCodeProcess(process_.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(IsWindowVisible(ShellStartButton()));
    EXPECT_TRUE(PrivatButtons().empty());
    EXPECT_FALSE(TrayIconExists(dialog));
}

}  // namespace
