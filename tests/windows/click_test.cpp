// A click on "PRIVAT": the command file, the first-run notice and the start
// of the user's command.
#include "desktop_driver.h"

#include "../../res/resource_ids.h"

namespace {

const char kDefaultContent[] = "\"calc.exe\"\r\n";

class Click : public TastomatTest {
protected:
    void SetUp() override {
        TastomatTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ShowPrivat(true));
    }

    // A user's click on PRIVAT. It is Tastomat's alone: the shell, whose
    // taskbar PRIVAT is in, opens no menu for it (Wine's would open its
    // start menu for a click notification from PRIVAT).
    void ClickPrivat() {
        ClickOn(privat_);
        EXPECT_FALSE(CloseShellMenus(1000)) << "the click on PRIVAT opened a menu of the shell's";
    }

    std::string ExpectedNotice() const {
        return "Die Rufknopf.ini wurde im Verzeichnis " + directory_ +
               " angelegt. Beim Anklicken des neuen PRIVAT Buttons wird zun\xE4"
               "chst der Taschenrechner aufgerufen.\r\n\r\nUm die Funktion des neuen "
               "Buttons anzupassen, ersetzten Sie die Zeile calc.exe in der Rufknopf.ini "
               "durch eine beliebige andere Befehlszeile";
    }
};

TEST_F(Click, FirstClickCreatesTheFileAndTellsWhere_TheNextStartsTheCalculator) {
    ClickPrivat();
    HWND notice = WaitForBox("Neuer Befehl");
    ASSERT_NE(notice, (HWND)NULL);
    EXPECT_EQ(ReadWholeFile(CommandFile()), kDefaultContent);
    EXPECT_EQ(BoxText(notice), ExpectedNotice());
    EXPECT_EQ(GetWindow(notice, GW_OWNER), (HWND)NULL);
    EXPECT_EQ(GetDlgItem(notice, IDCANCEL), (HWND)NULL) << "the notice has only OK";
    ClickOn(GetDlgItem(notice, IDOK));
    ASSERT_TRUE(WaitUntil([notice] { return !IsWindow(notice); }));
    ASSERT_TRUE(Answers());
    EXPECT_TRUE(ReadMarkerLog(markerLog_).empty()) << "the first click started something";

    ClickPrivat();
    std::vector<MarkerLine> started = WaitForMarkers(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, "\"calc.exe\"");
    EXPECT_EQ(ReadWholeFile(CommandFile()), kDefaultContent);
}

TEST_F(Click, AClickWhileTheNoticeIsOpenStartsTheCommandOnce) {
    Release();
    HWND notice = WaitForBox("Neuer Befehl");
    ASSERT_NE(notice, (HWND)NULL);
    Release();
    ASSERT_EQ(WaitForMarkers(1).size(), 1u);
    Answer(notice, IDOK);
    ASSERT_TRUE(Answers());
    Sleep(300);
    EXPECT_EQ(ReadMarkerLog(markerLog_).size(), 1u);
}

TEST_F(Click, EveryClickReadsTheFileAnewAndStartsOneMoreProcess) {
    std::string marker = MarkerPath();
    WriteWholeFile(CommandFile(), "\"" + marker + "\"\r\n first\r\n");
    ClickPrivat();
    ASSERT_EQ(WaitForMarkers(1).size(), 1u);
    WriteWholeFile(CommandFile(), "\"" + marker + "\"\r second\r\n");
    for (size_t count : {2, 3}) {
        ClickPrivat();
        ASSERT_EQ(WaitForMarkers(count).size(), count);
    }
    std::vector<MarkerLine> started = WaitForMarkers(3);
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[0].commandLine, "\"" + marker + "\" first");
    for (size_t later : {1, 2}) {
        EXPECT_EQ(started[later].commandLine, "\"" + marker + "\" second");
        EXPECT_NE(started[later].processId, started[later - 1].processId);
    }
}

TEST_F(Click, AStartedProgramOutlivesTastomat) {
    WriteWholeFile(CommandFile(), "\"" + MarkerPath() + "\" --linger");
    Release();
    std::vector<MarkerLine> started = WaitForMarkers(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(Quit(), 0u);
    HANDLE marker = OpenProcess(SYNCHRONIZE, FALSE, started[0].processId);
    ASSERT_NE(marker, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(marker, 500), (DWORD)WAIT_TIMEOUT);
    CloseHandle(marker);
}

}  // namespace
