// "Ersatz" and "Standard": the replacement button over the shell's start
// button, and the start button brought back.
#include "desktop_driver.h"

#include <stdio.h>

#include "../../res/resource_ids.h"

namespace {

class StartButton : public TastomatTest {
protected:
    // Waits until "Ersatz" has shown PRIVAT and has finished its work.
    HWND WaitForVisiblePrivat() {
        HWND privat = NULL;
        WaitUntil([&] {
            for (HWND button : PrivatButtons()) {
                if (IsWindowVisible(button)) privat = button;
            }
            return privat != NULL;
        });
        return Answers() ? privat : NULL;
    }
};

TEST_F(StartButton, ErsatzCoversTheStartButtonWithPrivatOfTheSameSize) {
    Click(ID_ERSATZ);
    HWND privat = WaitForVisiblePrivat();
    ASSERT_NE(privat, (HWND)NULL);
    EXPECT_FALSE(IsWindowVisible(ShellStartButton()));
    EXPECT_EQ(GetParent(privat), ShellTaskbar());
    EXPECT_EQ(GetDlgCtrlID(privat), 0);

    RECT start, replacement;
    GetWindowRect(ShellStartButton(), &start);
    GetWindowRect(privat, &replacement);
    POINT clientOrigin = {0, 0};
    ClientToScreen(ShellTaskbar(), &clientOrigin);
    EXPECT_EQ(replacement.left, clientOrigin.x);
    EXPECT_EQ(replacement.top, clientOrigin.y);
    EXPECT_EQ(replacement.right - replacement.left, start.right - start.left);
    EXPECT_EQ(replacement.bottom - replacement.top, start.bottom - start.top);
    // What the user points at is "PRIVAT", even where the shell shows its
    // own button again.
    ShowWindow(ShellStartButton(), SW_SHOWNOACTIVATE);
    POINT middle = {(replacement.left + replacement.right) / 2,
                    (replacement.top + replacement.bottom) / 2};
    EXPECT_EQ(WindowFromPoint(middle), privat);
}

TEST_F(StartButton, StandardBringsTheStartButtonBack_EvenAfterErsatzTwice) {
    Click(ID_STANDARD);  // before any "Ersatz": nothing to undo
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(ShellStartButton()));
    EXPECT_TRUE(PrivatButtons().empty());

    for (int round = 0; round < 2; ++round) {
        Click(ID_ERSATZ);
        Click(ID_ERSATZ);
        ASSERT_NE(WaitForVisiblePrivat(), (HWND)NULL);
        EXPECT_EQ(PrivatButtons().size(), 1u) << "a second Ersatz made a second button";
        Click(ID_STANDARD);
        EXPECT_TRUE(WaitUntil([] { return IsWindowVisible(ShellStartButton()) != FALSE; }));
        ASSERT_TRUE(Answers());
        for (HWND button : PrivatButtons()) EXPECT_FALSE(IsWindowVisible(button));
    }
}

TEST_F(StartButton, ErsatzShowingPrivatAgainGivesItTheStartButtonsNewSize) {
    ASSERT_TRUE(ShowPrivat());
    ASSERT_TRUE(Command(ID_STANDARD));
    RECT start;
    GetWindowRect(ShellStartButton(), &start);
    const int width = start.right - start.left + 17, height = start.bottom - start.top;
    ASSERT_TRUE(SetWindowPos(ShellStartButton(), NULL, 0, 0, width, height,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(Command(ID_ERSATZ));
    RECT replacement;
    GetWindowRect(privat_, &replacement);
    EXPECT_EQ(PrivatButtons().size(), 1u);
    EXPECT_EQ(replacement.right - replacement.left, width);
    EXPECT_EQ(replacement.bottom - replacement.top, height);
    // The start button's widened right end is covered too.
    EXPECT_EQ(WindowFromPoint({start.left + width - 3, (start.top + start.bottom) / 2}), privat_);
    SetWindowPos(ShellStartButton(), NULL, 0, 0, start.right - start.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A desktop without a shell has no start button. Wine keeps a Shell_TrayWnd
// there for the tray icons: Wine 8 a hidden one, Wine 10 a small visible
// window that shows Tastomat's icon. Either way it holds no button. A
// top-level button of another program must not be taken for the start
// button, and nothing is put in its place.
class NoStartButton : public TastomatTest {};

TEST_F(NoStartButton, ErsatzAndStandardTouchNobodysWindow) {
    if (!InBareDesktop()) GTEST_SKIP() << "runs inside the bare desktop, see BareDesktop";
    HWND tray = FindWindowA("Shell_TrayWnd", NULL);
    const char* trayIs = "not there";
    if (tray != NULL) {
        ASSERT_EQ(FindWindowExA(tray, NULL, "BUTTON", NULL), (HWND)NULL)
            << "this desktop's Shell_TrayWnd has a start button";
        trayIs = IsWindowVisible(tray) ? "shown, without a button" : "hidden";
    }
    printf("this desktop's Shell_TrayWnd: %s\n", trayIs);
    HWND decoy = CreateWindowExA(0, "BUTTON", "decoy", WS_POPUP | WS_VISIBLE, 300, 300, 80, 30,
                                 NULL, NULL, NULL, NULL);
    ASSERT_NE(decoy, (HWND)NULL);
    Press(ID_ERSATZ);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(decoy));
    EXPECT_EQ(FindWindowExA(FindWindowA("Shell_TrayWnd", NULL), NULL, "BUTTON", "PRIVAT"),
              (HWND)NULL);
    Press(ID_STANDARD);
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(IsWindowVisible(decoy));
    EXPECT_EQ(Quit(), 0u);
    DestroyWindow(decoy);
}

TEST(BareDesktop, RunsTheNoStartButtonCaseThere) {
    if (InBareDesktop()) GTEST_SKIP();
    EXPECT_EQ(RunSelfInBareDesktop("NoStartButton.*"), 0u);
}

}  // namespace
