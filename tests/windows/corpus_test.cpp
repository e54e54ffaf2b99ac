// The bad-input corpus: command files nobody should write and places nobody
// should keep them, each met by a real click on "PRIVAT" (a posted release).
// For every case Tastomat must not crash or hang (its dialog answers within
// 2 s), show no box, leave the user's file byte for byte as it was, and start
// what the case expects. A table of what happened is printed at the end.
#include <windows.h>

#include <stdio.h>

#include "../../res/resource_ids.h"
#include "desktop_driver.h"

namespace {

// Where Tastomat runs for a case: a plain directory, one nobody may write
// to, or one whose path is longer than 255 characters. 258 characters is
// the longest current directory Wine starts a process in (from 259 on the
// new process fails or starts elsewhere); with "\Rufknopf.ini" behind it
// the path is longer than MAX_PATH either way.
enum Place { kPlain, kReadOnly, kLong256, kLong258 };

// A case's special arrangement besides the file's content. It returns why
// the case cannot be set up here ("" when it can) and leaves in `undo` what
// puts things back before the file is compared.
using Arrange = std::function<std::string(const std::string& file, std::function<void()>& undo)>;

struct Case {
    const char* name;
    Place place;
    bool hasFile;
    std::string content;
    Arrange arrange;      // may be empty
    std::string started;  // the command line expected to start, "" for none
};

struct Row {
    std::string name, started, answers, boxes, file, note;
};

// The marker's quoted path, shortened in the table.
const char kMarkerShown[] = "\"marker\"";

std::string NoiseBytes(size_t size) {
    std::string bytes(size, '\0');
    unsigned state = 20240531;  // fixed, so every run clicks the same noise
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = (char)(state >> 16);
    }
    return bytes;
}

std::string Filler(std::string line, size_t length) {
    while (line.size() < length) line += (char)('a' + (line.size() % 26));
    return line;
}

// Applies a DACL of one "allow everyone" entry (none for 0) through an open
// handle. Wine turns it into the file's Unix permissions.
bool SetAccess(HANDLE object, DWORD allowed) {
    BYTE aclBuffer[128];
    ACL* acl = (ACL*)aclBuffer;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    bool ok =
        InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
        (allowed == 0 || AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone));
    SECURITY_DESCRIPTOR descriptor;
    ok = ok && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
         SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, &descriptor);
    if (everyone != NULL) FreeSid(everyone);
    return ok;
}

bool CanOpen(const std::string& path, DWORD access, DWORD disposition) {
    HANDLE file =
        CreateFileW(LongPath(path).c_str(), access, FILE_SHARE_READ, NULL, disposition, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    if (disposition == CREATE_NEW) DeleteFileW(LongPath(path).c_str());
    return true;
}

// The file as a directory: Tastomat sees it present but cannot open it.
std::string AsDirectory(const std::string& file, std::function<void()>& /*undo*/) {
    return CreateDirectoryA(file.c_str(), NULL) ? "" : "no directory made";
}

// Another program holds the file open for reading without sharing it.
std::string HeldOpen(const std::string& file, std::function<void()>& undo) {
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (held == INVALID_HANDLE_VALUE) return "could not hold the file";
    undo = [held] { CloseHandle(held); };
    return "";
}

// Nobody may read the file. The handle kept here may change permissions
// but not read, so it neither conflicts with Tastomat's opening nor needs
// the permission it takes away to give it back.
std::string Unreadable(const std::string& file, std::function<void()>& undo) {
    HANDLE keeper = CreateFileA(file.c_str(), READ_CONTROL | WRITE_DAC,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, 0, NULL);
    if (keeper == INVALID_HANDLE_VALUE) return "could not open for WRITE_DAC";
    undo = [keeper] {
        SetAccess(keeper, FILE_ALL_ACCESS);
        CloseHandle(keeper);
    };
    if (!SetAccess(keeper, 0)) return "the permissions did not change";
    if (CanOpen(file, GENERIC_READ, OPEN_EXISTING)) {
        return "root reads it anyway (Wine runs with root's override)";
    }
    return "";
}

// Nobody may write into the directory the file is (or would be) in.
std::string ReadOnlyDirectory(const std::string& file, std::function<void()>& undo) {
    const std::string directory = file.substr(0, file.rfind('\\'));
    HANDLE keeper = CreateFileA(directory.c_str(), READ_CONTROL | WRITE_DAC,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (keeper == INVALID_HANDLE_VALUE) return "could not open the directory for WRITE_DAC";
    undo = [keeper] {
        SetAccess(keeper, FILE_ALL_ACCESS);
        CloseHandle(keeper);
    };
    if (!SetAccess(keeper, FILE_GENERIC_READ | FILE_TRAVERSE)) {
        return "the permissions did not change";
    }
    if (CanOpen(directory + "\\probe.tmp", GENERIC_WRITE, CREATE_NEW)) {
        return "root writes there anyway (Wine runs with root's override)";
    }
    return "";
}

// A command line for the table: the marker's path shortened, bytes outside
// ASCII in hex.
std::string Shown(std::string commandLine, const std::string& marker) {
    for (size_t at; (at = commandLine.find(marker)) != std::string::npos;) {
        commandLine.replace(at, marker.size(), kMarkerShown);
    }
    std::string shown;
    for (char c : commandLine) {
        char hex[8];
        snprintf(hex, sizeof hex, "<%02X>", (unsigned char)c);
        shown += (unsigned char)c < 0x80 ? std::string(1, c) : hex;
    }
    return shown;
}

// What is at `path`: the file's bytes, or a word in angle brackets.
std::string Found(const std::string& path) {
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "<nothing>";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "<directory>";
    return ReadWholeFile(path);
}

class Corpus : public TastomatTest {
protected:
    void SetUp() override {
        TastomatTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ShowPrivat());
    }

    // The directory of each place; the long ones are made inside directory_.
    std::string PlaceDirectory(Place place) {
        if (place == kPlain) return directory_;
        if (place == kReadOnly) return directory_ + "\\read-only";
        const size_t length = place == kLong256 ? 256 : 258;
        std::string path = directory_ + "\\" + std::string(100, 'd');
        path += "\\" + std::string(length - path.size() - 1, place == kLong256 ? 'e' : 'f');
        return path;
    }

    void MakePlace(Place place) {
        const std::string path = PlaceDirectory(place);
        for (size_t end = directory_.size() + 1; end != std::string::npos;) {
            end = path.find('\\', end + 1);
            CreateDirectoryW(LongPath(path.substr(0, end)).c_str(), NULL);
        }
        ASSERT_TRUE(FileExists(path)) << path;
    }

    void RemovePlace(Place place) {
        if (place == kPlain) return;
        std::string path = PlaceDirectory(place);
        DeleteFileW(LongPath(path + "\\Rufknopf.ini").c_str());
        while (path.size() > directory_.size()) {
            RemoveDirectoryW(LongPath(path).c_str());
            path.erase(path.rfind('\\'));
        }
    }

    // Runs Tastomat in the case's place, with "PRIVAT" shown.
    void MoveTo(Place place) {
        if (place == current_) return;
        Stop();
        RemovePlace(current_);
        if (place != kPlain) MakePlace(place);
        if (HasFatalFailure()) return;
        Launch(PlaceDirectory(place));
        if (HasFatalFailure()) return;
        current_ = place;
        ASSERT_TRUE(ShowPrivat());
    }

    Row Run(const Case& c) {
        Row row = {c.name, "", "", "", "", ""};
        MoveTo(c.place);
        if (HasFatalFailure()) return row;
        const std::string file = PlaceDirectory(c.place) + "\\Rufknopf.ini";
        if (c.hasFile) WriteWholeFile(file, c.content);
        std::function<void()> undo;
        row.note = c.arrange ? c.arrange(file, undo) : "";
        const bool arranged = row.note.empty();
        const std::string before = c.hasFile ? c.content : Found(file);
        const DWORD startedBefore = ProcessesStarted();
        const size_t loggedBefore = ReadMarkerLog(markerLog_).size();

        Click(c, arranged, row);
        CheckStarted(c, arranged, startedBefore, loggedBefore, row);
        if (undo) undo();
        CheckFile(c, arranged, file, before, row);
        RemoveDirectoryW(LongPath(file).c_str());
        DeleteFileW(LongPath(file).c_str());
        return row;
    }

    // Clicks and sees whether Tastomat answers and which boxes it shows.
    void Click(const Case& c, bool arranged, Row& row) {
        // Posted messages are handled in order, so the dialog hides once the
        // click has been handled, or has opened a box whose loop hid it.
        Release();
        Press(ID_VERSTECKEN);
        bool answered = WaitUntil([this] { return !IsWindowVisible(dialog_); }, kAnswerMs);
        answered = answered && SendToDialog(kTrayNotify, 0, WM_LBUTTONDOWN);
        const bool alive = WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
        row.answers = answered ? "yes" : "no";
        if (!alive) row.answers = "ended!";
        EXPECT_TRUE(alive && answered) << c.name;

        WaitUntil([this] { return !OtherWindows().empty(); }, 300);
        for (HWND box : OtherWindows()) {
            char title[128] = "";
            GetWindowTextA(box, title, sizeof title);
            row.boxes += std::string(row.boxes.empty() ? "" : ", ") + "\"" + title + "\"";
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            WaitUntil([box] { return !IsWindow(box); });
        }
        // Where the case could not be set up as meant (see its note), a
        // notice of a file created after all is what Tastomat should show.
        if (arranged) {
            EXPECT_EQ(row.boxes, "") << c.name;
        }
        if (row.boxes.empty()) row.boxes = "none";
    }

    void CheckStarted(const Case& c, bool arranged, DWORD startedBefore, size_t loggedBefore,
                      Row& row) {
        const DWORD started = ProcessesStarted() - startedBefore;
        std::vector<MarkerLine> logged = WaitForMarkers(loggedBefore + started);
        logged.erase(logged.begin(), logged.begin() + (std::ptrdiff_t)loggedBefore);
        row.started = std::to_string(started);
        for (const MarkerLine& line : logged)
            row.started += ": " + Shown(line.commandLine, marker_);
        if (!arranged) return;
        EXPECT_EQ(started, c.started.empty() ? 0u : 1u) << c.name;
        if (!c.started.empty()) {
            EXPECT_TRUE(logged.size() == 1 && logged[0].commandLine == c.started) << c.name;
        }
    }

    // The user's file always stays as it was; no file is made where the case
    // keeps Tastomat from writing.
    static void CheckFile(const Case& c, bool arranged, const std::string& file,
                          const std::string& before, Row& row) {
        const std::string after = Found(file);
        if (after != before) {
            row.file = before == "<nothing>" ? "created!" : "changed!";
        } else if (c.hasFile) {
            row.file = "identical";
        } else {
            row.file = before == "<directory>" ? "still a directory" : "none created";
        }
        if (c.hasFile || arranged) {
            EXPECT_TRUE(after == before) << c.name;
        }
    }

    Place current_ = kPlain;
    std::string marker_ = "\"" + MarkerPath() + "\"";
};

TEST_F(Corpus, NoCaseCrashesHangsShowsABoxOrChangesTheFile) {
    const std::string& m = marker_;
    const std::string nul(1, '\0');
    const Case cases[] = {
        {"binary noise (64 KiB)", kPlain, true, NoiseBytes(65536), nullptr, ""},
        {"10 MiB in one line", kPlain, true, Filler(m + " ", 10 << 20), nullptr, ""},
        {"only Ctrl-Z", kPlain, true, std::string(16, '\x1A'), nullptr, ""},
        {"NUL bytes in the line", kPlain, true, m + " nul" + nul + "after\r\n" + nul, nullptr,
         m + " nul"},
        {"only NUL bytes", kPlain, true, std::string(4096, '\0'), nullptr, ""},
        {"lone CRs", kPlain, true, m + "\r a\r b\r", nullptr, m + " a b"},
        {"lone LFs", kPlain, true, m + " a\nb\n", nullptr, m + " a<0A>b<0A>"},
        {"40,000-character line", kPlain, true, Filler(m + " ", 40000) + "\r\n", nullptr, ""},
        // Bytes that code page 1252 leaves undefined, and the fill byte of
        // double-byte code pages.
        {"invalid ANSI bytes", kPlain, true, m + " \x81\x8D\x8F\x90\x9D\xFF\r\n", nullptr,
         m + " \x81\x8D\x8F\x90\x9D\xFF"},
        {"a directory named Rufknopf.ini", kPlain, false, "", AsDirectory, ""},
        {"held open without sharing", kPlain, true, m + " held\r\n", HeldOpen, ""},
        {"no read permission", kPlain, true, m + " unreadable\r\n", Unreadable, ""},
        {"read-only directory, no file", kReadOnly, false, "", ReadOnlyDirectory, ""},
        {"read-only directory, a file", kReadOnly, true, m + " ro\r\n", ReadOnlyDirectory,
         m + " ro"},
        {"directory of 256 characters, a file", kLong256, true, m + " long\r\n", nullptr, ""},
        {"directory of 258 characters, a file", kLong258, true, m + " long\r\n", nullptr, ""},
        {"directory of 258 characters, no file", kLong258, false, "", nullptr, ""},
    };
    std::vector<Row> rows;
    for (const Case& c : cases) {
        rows.push_back(Run(c));
        if (HasFatalFailure()) break;
    }
    Stop();
    RemovePlace(current_);

    printf("\n%-38s %-8s %-15s %-17s %s\n", "case", "answers", "boxes", "file afterwards",
           "started");
    for (const Row& row : rows) {
        printf("%-38s %-8s %-15s %-17s %s\n", row.name.c_str(), row.answers.c_str(),
               row.boxes.c_str(), row.file.c_str(), row.started.substr(0, 90).c_str());
        if (!row.note.empty()) printf("%-38s not as intended here: %s\n", "", row.note.c_str());
    }
    fflush(stdout);
}

}  // namespace
