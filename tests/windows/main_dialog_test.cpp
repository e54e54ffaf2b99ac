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

TEST_F(MainDialog, HidesOnVerstecken_MinimizeAndClose_AndTheTrayIconBringsItBack) {
    const struct {
        const char* how;
        std::function<void()> hide;
    } ways[] = {
        {"Verstecken", [this] { Press(ID_VERSTECKEN); }},
        {"minimize", [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
        {"close box / Alt+F4", [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        way.hide();
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
    Press(ID_VERSTECKEN);
    ASSERT_TRUE(WaitUntil([this] { return !IsWindowVisible(dialog_); }));
    // The shell draws its tray icons from the right end of the taskbar; this
    // is the only one.
    RECT taskbar;
    GetWindowRect(ShellTaskbar(), &taskbar);
    ASSERT_TRUE(ClickMouseAt(taskbar.right - 10, (taskbar.top + taskbar.bottom) / 2));
    EXPECT_TRUE(WaitUntil([this] { return IsWindowVisible(dialog_) != FALSE; }));
}

TEST_F(MainDialog, EscapeEnterAndWmCloseDoNothing) {
    PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(dialog_, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 0), (DWORD)WAIT_TIMEOUT);
}

TEST_F(MainDialog, BeendenCancelledChangesNothing) {
    Press(ID_ERSATZ);
    ASSERT_TRUE(WaitUntil([] { return PrivatButtons().size() == 1; }));
    Press(ID_BEENDEN);
    HWND box = WaitForBox("Tastomat");
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(BoxText(box), "Alternativen Startknopf entfernen");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_);
    Answer(box, IDCANCEL);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_TRUE(IsWindowVisible(PrivatButtons().at(0)));
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 0), (DWORD)WAIT_TIMEOUT);
}

TEST_F(MainDialog, BeendenConfirmedRestoresTheStartButtonRemovesTheIconAndExitsWithZero) {
    Press(ID_ERSATZ);
    ASSERT_TRUE(WaitUntil([] { return PrivatButtons().size() == 1; }));
    HWND dialog = dialog_;
    EXPECT_EQ(Quit(), 0u);
    EXPECT_TRUE(IsWindowVisible(ShellStartButton()));
    EXPECT_TRUE(PrivatButtons().empty());
    EXPECT_FALSE(TrayIconExists(dialog));
}

}  // namespace
