// The command layer against the real file system and real process creation.
// Each test works in a fresh directory, its current directory while it runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "command_file.h"
#include "command_launch.h"
#include "command_text.h"

namespace {

// Every process this program starts joins this job, which counts them all,
// those that have already ended included.
DWORD ProcessesStarted() {
    static HANDLE job = CreateJobObjectA(NULL, NULL);
    static bool joined = job && AssignProcessToJobObject(job, GetCurrentProcess());
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    EXPECT_TRUE(joined && QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info,
                                                    sizeof info, NULL));
    return info.TotalProcesses;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != ~0u; }

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    EXPECT_TRUE(out.write(bytes.data(), bytes.size()).flush().good()) << path;
}

// The whole file, or "<unreadable>" while it is missing or held by a writer.
std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<unreadable>";
}

DWORD WINAPI RunCall(LPVOID call) { return (*static_cast<std::function<void()>*>(call))(), 0; }

// Runs `call` on a worker thread; false if it has not returned within 5 s. A
// stuck call is stopped so that it cannot write into the caller's locals later.
bool ReturnsPromptly(std::function<void()> call) {
    HANDLE thread = CreateThread(NULL, 0, RunCall, &call, 0, NULL);
    bool returned = thread && WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    if (thread && !returned) TerminateThread(thread, 1);
    if (thread) CloseHandle(thread);
    return returned;
}

class CommandLayer : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH], module[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
        for (int n = 0; dir_.empty() && n < 1000; ++n) {
            std::string name = std::string(temp) + "tastomat_command_" +
                               std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
            if (CreateDirectoryA(name.c_str(), NULL)) dir_ = name;
        }
        ASSERT_FALSE(dir_.empty());
        GetCurrentDirectoryA(MAX_PATH, previousDir_);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        ASSERT_NE(GetModuleFileNameA(NULL, module, MAX_PATH), 0u);
        std::string exe = module;
        exe = exe.substr(0, exe.rfind('\\') + 1) + "tastomat_marker.exe";
        ASSERT_TRUE(Exists(exe)) << exe;
        marker_ = "\"" + exe + "\"";
        log_ = Path("marker.log");
        SetEnvironmentVariableA("TASTOMAT_MARKER_LOG", log_.c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryA(previousDir_);
        SetEnvironmentVariableA("TASTOMAT_MARKER_LOG", NULL);
        for (const char* name : {"Rufknopf.ini", "new.ini", "notes.txt", "marker.log"})
            DeleteFileA(Path(name).c_str());
        RemoveDirectoryA(Path("Rufknopf.ini").c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

    // The quoted marker, a space and filler up to `length` characters.
    std::string MarkerCommand(size_t length) const {
        std::string command = marker_ + " ";
        for (size_t i = command.size(); i < length; ++i) command += (char)('a' + (i % 26));
        return command;
    }

    // How many processes one LaunchCommand started.
    DWORD Launch(const char* command, size_t size) {
        DWORD before = ProcessesStarted();
        LaunchCommand(command, size);
        return ProcessesStarted() - before;
    }
    DWORD Launch(const std::string& line) { return Launch(line.data(), line.size()); }

    // The command lines in the marker log once it has `count` lines (up to
    // 10 s), each logged by a process of its own.
    std::vector<std::string> LoggedCommands(size_t count) {
        std::string log;
        for (int wait = 0; wait < 200 && (size_t)std::count(log.begin(), log.end(), '\n') < count;)
            Sleep(50), ++wait, log = ReadBytes(log_);
        std::vector<std::string> commands, pids;
        for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos;
             start = end + 1) {
            size_t space = log.find(' ', start);
            pids.push_back(log.substr(start, space - start));
            commands.push_back(log.substr(space + 1, end - space - 1));
        }
        std::sort(pids.begin(), pids.end());
        EXPECT_EQ(std::unique(pids.begin(), pids.end()), pids.end()) << "a pid logged twice";
        return commands;
    }

    std::string dir_, marker_, log_;
    char previousDir_[MAX_PATH] = "";
};

TEST_F(CommandLayer, CreateDefaultCommandFileWritesTheDefaultLineOnlyIntoANewFile) {
    const std::string file = Path("Rufknopf.ini");
    EXPECT_TRUE(CreateDefaultCommandFile(file.c_str()));
    const char expected[] = {0x22, 0x63, 0x61, 0x6C, 0x63, 0x2E, 0x65, 0x78, 0x65, 0x22, 0xD, 0xA};
    EXPECT_EQ(ReadBytes(file), std::string(expected, sizeof expected));
    // The presence test said "absent", but the file is there: it stays as it is.
    for (const char* content : {"my command\r\n", "", "\"calc.exe\"", "x\x1A\r\n\r\n"}) {
        WriteBytes(file, content);
        EXPECT_FALSE(CreateDefaultCommandFile(file.c_str())) << content;
        EXPECT_EQ(ReadBytes(file), content);
    }
    EXPECT_FALSE(CreateDefaultCommandFile(Path("missing\\Rufknopf.ini").c_str()));
    EXPECT_FALSE(Exists(Path("missing")));
}

TEST_F(CommandLayer, FetchCommandJoinsTheLinesOfAnExistingFile) {
    struct Case {
        std::string content, command;
    };
    std::vector<Case> cases = {{"a\r\n b\rc\n", "a bc\n"},
                               {"\"calc.exe\"\r\n", "\"calc.exe\""},
                               {"", ""},
                               {std::string("run\r") + '\x1A' + "ignored\r\nmore", "run"}};
    // A CR LF whose two bytes fall into different reads is still one line end.
    for (size_t n : {63, 64, 127, 128, 255, 256, 511, 4095, 4096, 5000}) {
        cases.push_back({std::string(n, 'x') + "\r\ny", std::string(n, 'x') + "y"});
    }
    for (const auto& c : cases) {
        WriteBytes(Path("Rufknopf.ini"), c.content);
        ByteBuffer command = MakeByteBuffer();
        EXPECT_TRUE(FetchCommand(command)) << c.content.size();
        EXPECT_EQ(std::string(command.data ? command.data : "", command.size), c.command);
        FreeByteBuffer(command);
        EXPECT_EQ(ReadBytes(Path("Rufknopf.ini")), c.content);
    }
}

// A file far longer than any command line is read no further than needed:
// what starts is decided by then, the same as after reading it all.
TEST_F(CommandLayer, FetchCommandStopsReadingOnceTheCommandIsTooLongToStart) {
    const std::string tail(1 << 20, 'x');
    const struct {
        std::string content;
        DWORD starts;
    } cases[] = {{MarkerCommand(40000) + tail, 0}, {marker_ + " before-nul" + '\0' + tail, 1}};
    for (const auto& c : cases) {
        WriteBytes(Path("Rufknopf.ini"), c.content);
        ByteBuffer command = MakeByteBuffer();
        ASSERT_TRUE(FetchCommand(command));
        EXPECT_GE(command.size, kMaxCommandLineChars);
        EXPECT_LT(command.size, tail.size()) << "read to the end";
        EXPECT_EQ(Launch(command.data, command.size), c.starts);
        FreeByteBuffer(command);
    }
    EXPECT_EQ(LoggedCommands(1), std::vector<std::string>{marker_ + " before-nul"});
}

TEST_F(CommandLayer, AnUnreadableCommandFileGivesPromptlyAnEmptyCommandThatStartsNothing) {
    const std::string file = Path("Rufknopf.ini");
    auto check = [&](const char* what) {
        ByteBuffer fetched = MakeByteBuffer(), read = MakeByteBuffer();
        ASSERT_TRUE(ReturnsPromptly([&] { FetchCommand(fetched); })) << what;
        ASSERT_TRUE(ReturnsPromptly([&] { read = ReadCommandFile(file.c_str()); })) << what;
        for (ByteBuffer* command : {&fetched, &read}) {
            EXPECT_EQ(command->size, 0u) << what;
            EXPECT_EQ(Launch(command->data, command->size), 0u) << what;
            FreeByteBuffer(*command);
        }
    };
    ASSERT_TRUE(CreateDirectoryA(file.c_str(), NULL));
    check("a directory");
    ASSERT_TRUE(RemoveDirectoryA(file.c_str()));
    // Its line would start the marker if it were read after all.
    WriteBytes(file, marker_ + " held\r\n");
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    check("a file held with share mode 0");
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(file), marker_ + " held\r\n");
    EXPECT_FALSE(Exists(log_));
}

// A named pipe stands in for a file whose reading fails part-way, as on a
// failing disk or a dropped network share: its writer sends some bytes and
// disconnects, and the next read fails (ERROR_PIPE_NOT_CONNECTED). What came
// before is a command cut short, which could run something else: nothing
// starts, whether the failure follows the first block or several.
TEST_F(CommandLayer, AReadThatFailsPartWayStartsNothing) {
    const std::string pipe = "\\\\.\\pipe\\tastomat-read-" + std::to_string(GetCurrentProcessId());
    for (const std::string& sent : {marker_ + " ab\r\n cd", MarkerCommand(300) + "\r\n"}) {
        HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                         4096, 4096, 0, NULL);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
        std::function<void()> writer = [&] {
            ConnectNamedPipe(server, NULL);
            DWORD written = 0;
            WriteFile(server, sent.data(), (DWORD)sent.size(), &written, NULL);
            FlushFileBuffers(server);  // returns once the reader has it all
            DisconnectNamedPipe(server);
        };
        HANDLE thread = CreateThread(NULL, 0, RunCall, &writer, 0, NULL);
        ByteBuffer read = MakeByteBuffer();
        EXPECT_TRUE(ReturnsPromptly([&] { read = ReadCommandFile(pipe.c_str()); })) << sent;
        EXPECT_EQ(read.size, 0u) << sent;
        EXPECT_EQ(Launch(read.data, read.size), 0u) << sent;
        FreeByteBuffer(read);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(server);
    }
}

TEST_F(CommandLayer, LaunchCommandStartsTheWholeCommandLineUpToTheFirstNul) {
    const std::string nul(1, '\0');
    ASSERT_EQ(MarkerCommand(300).size(), 300u);
    // 32766 characters are the longest command line the platform starts.
    const struct {
        std::string command, started;
    } cases[] = {{MarkerCommand(300), MarkerCommand(300)},
                 {MarkerCommand(32766), MarkerCommand(32766)},
                 {marker_ + " arg1" + nul + "garbage", marker_ + " arg1"},
                 {MarkerCommand(32766) + nul + std::string(100, 'g'), MarkerCommand(32766)}};
    for (const auto& c : cases) {
        DeleteFileA(log_.c_str());
        EXPECT_EQ(Launch(c.command), 1u) << c.command.size();
        const std::vector<std::string> logged = LoggedCommands(1);
        ASSERT_EQ(logged.size(), 1u) << c.command.size();
        EXPECT_EQ(logged[0].size(), c.started.size());
        EXPECT_TRUE(logged[0] == c.started) << c.command.size();
    }
}

TEST_F(CommandLayer, LaunchCommandStartsNothingForWhatCannotRunWhole) {
    WriteBytes(Path("notes.txt"), "a text document\r\n");
    const struct {
        const char* what;
        std::string command;
    } cases[] = {{"one character too long", MarkerCommand(32767)},
                 {"40,000 characters", MarkerCommand(40000)},
                 {"a program that does not exist", "\"" + Path("missing.exe") + "\" arg"},
                 {"a text document", "notes.txt"},
                 {"nothing", ""}};
    for (const auto& c : cases) EXPECT_EQ(Launch(c.command), 0u) << c.what;
    Sleep(400);
    EXPECT_FALSE(Exists(log_));
}

TEST_F(CommandLayer, EachLaunchStartsAProcessOfItsOwn) {
    std::vector<std::string> commands = {marker_ + " 1", marker_ + " 2", marker_ + " 3"};
    for (const auto& command : commands) EXPECT_EQ(Launch(command), 1u) << command;
    std::vector<std::string> logged = LoggedCommands(3);
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, commands);
}

TEST_F(CommandLayer, TheCallsLeaveTheErrorModeAsTheyFoundIt) {
    WriteBytes(Path("Rufknopf.ini"), "x\r\n");
    const std::string started = marker_ + " mode";
    ByteBuffer command = MakeByteBuffer();
    const struct {
        const char* what;
        std::function<void()> call;
    } calls[] = {{"FetchCommand",
                  [&] {
                      FetchCommand(command);
                      FreeByteBuffer(command);
                  }},
                 {"CreateDefaultCommandFile", [&] { CreateDefaultCommandFile("new.ini"); }},
                 {"LaunchCommand that starts", [&] { Launch(started); }},
                 {"LaunchCommand that fails", [&] { Launch("missing.exe"); }}};
    const UINT original = GetErrorMode();
    for (UINT mode : {0u, (UINT)SEM_NOGPFAULTERRORBOX, (UINT)SEM_FAILCRITICALERRORS}) {
        for (const auto& c : calls) {
            SetErrorMode(mode);
            c.call();
            EXPECT_EQ(GetErrorMode(), mode) << c.what;
        }
    }
    SetErrorMode(original);
    EXPECT_EQ(LoggedCommands(3).size(), 3u);
}

}  // namespace
