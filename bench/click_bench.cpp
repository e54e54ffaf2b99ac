// Click latency under Wine: a WM_LBUTTONUP sent to "PRIVAT" returns once
// Tastomat's button procedure has read Rufknopf.ini and CreateProcessA has
// returned. The baseline is this driver's own CreateProcessA of the same
// small program with the same arguments. The two alternate; after each, the
// driver waits until the started program has ended, so that no start runs
// beside the next one.
//
// A release without a press: the button, never pressed, sends no click
// notification, so the shell opens no start menu.
//
// To tell the platform's share from Tastomat's own, the driver also times a
// WM_NULL sent to the button (the same trip to Tastomat's thread and back,
// with nothing done there) and Tastomat's own work before CreateProcessA,
// FetchCommand, called here on the same command file.
//
// Usage, in the shell desktop: click_bench TASTOMAT.EXE NOOP.EXE WORKDIR [CLICKS]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../res/resource_ids.h"
#include "bench_desktop.h"
#include "command_file.h"
#include "report.h"

namespace {

// Tastomat's "PRIVAT" button in the taskbar, if it is visible.
HWND VisiblePrivat(DWORD processId) {
    HWND button = NULL;
    while ((button = FindWindowExA(FindWindowA("Shell_TrayWnd", NULL), button, "BUTTON",
                                   "PRIVAT")) != NULL) {
        DWORD owner = 0;
        GetWindowThreadProcessId(button, &owner);
        if (owner == processId && IsWindowVisible(button)) return button;
    }
    return NULL;
}

// CreateProcessA as Tastomat calls it (command_launch.cpp).
bool StartLikeTastomat(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL, NULL,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

bool WriteCommandFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s TASTOMAT.EXE NOOP.EXE WORKDIR [CLICKS]\n", argv[0]);
        return 2;
    }
    const DialogProgram tastomat = {argv[1], "Tastomat", true};
    const std::string commandLine = std::string("\"") + argv[2] + "\"";
    const std::string directory = argv[3];
    const int clicks = argc > 4 ? (int)strtol(argv[4], NULL, 10) : 101;
    const int warmUp = 3;
    if (clicks < 1) return 2;

    // Both sides start the program with the same current directory.
    if (!SetCurrentDirectoryA(directory.c_str())) return Fail("no such directory");
    if (!WriteCommandFile(directory + "\\Rufknopf.ini", commandLine + "\r\n")) {
        return Fail("cannot write Rufknopf.ini");
    }
    if (!JoinJob()) return Fail("cannot make a job object");
    Running running;
    double start = 0.0, visible = 0.0;
    if (!StartAndWaitForDialog(tastomat, directory, running, start, visible)) {
        Quit(tastomat, running);
        return Fail("no dialog from Tastomat");
    }
    PostMessageA(running.dialog, WM_COMMAND, MAKEWPARAM(ID_ERSATZ, BN_CLICKED),
                 (LPARAM)GetDlgItem(running.dialog, ID_ERSATZ));
    const DWORD processId = running.process.dwProcessId;
    HWND privat = PollForWindow([=] { return VisiblePrivat(processId); });
    if (privat == NULL) {
        Quit(tastomat, running);
        return Fail("no PRIVAT button");
    }

    // This driver and Tastomat; every started program is counted in the job.
    const DWORD resting = CountJobProcesses().active;
    std::vector<double> clickMs, bareMs, nullMs, fetchMs;
    const char* failure = NULL;
    for (int round = -warmUp; round < clicks && failure == NULL; ++round) {
        for (int turn = 0; turn < 2 && failure == NULL; ++turn) {
            const bool click = ((round + turn) & 1) == 0;
            const DWORD startedBefore = CountJobProcesses().total;
            const double before = NowMs();
            DWORD_PTR answer = 0;
            bool called = click ? SendMessageTimeoutA(privat, WM_LBUTTONUP, 0, MAKELPARAM(5, 5),
                                                      SMTO_NORMAL, 10000, &answer) != 0
                                : StartLikeTastomat(commandLine);
            const double after = NowMs();
            if (!called || CountJobProcesses().total != startedBefore + 1) {
                failure = click ? "a click started no process" : "CreateProcessA failed";
            } else if (!WaitForActiveProcesses(resting)) {
                failure = "the started program did not end";
            } else if (round >= 0) {
                (click ? clickMs : bareMs).push_back(after - before);
            }
        }
        if (failure != NULL) break;
        DWORD_PTR answer = 0;
        double before = NowMs();
        if (!SendMessageTimeoutA(privat, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer)) {
            failure = "Tastomat does not answer";
        } else if (round >= 0) {
            nullMs.push_back(NowMs() - before);
        }
        ByteBuffer command = MakeByteBuffer();
        before = NowMs();
        const bool fetched = FetchCommand(command);
        const double fetch = NowMs() - before;
        const bool sameLine = fetched && command.size == commandLine.size() &&
                              memcmp(command.data, commandLine.data(), command.size) == 0;
        FreeByteBuffer(command);
        if (!sameLine) {
            failure = "FetchCommand did not read the command line back";
        } else if (round >= 0) {
            fetchMs.push_back(fetch);
        }
    }
    Quit(tastomat, running);
    if (failure != NULL) return Fail(failure);
    printf(
        "click_bench: %d of each; median of the paired ratios %.3f; fastest %.2f ms against "
        "%.2f ms\n",
        clicks, MedianOfRatios(clickMs, bareMs), Fastest(clickMs), Fastest(bareMs));
    printf(
        "the platform's share: the trip to Tastomat's thread and back (WM_NULL), median %.3f "
        "ms; Tastomat's own: FetchCommand, median %.3f ms\n",
        Median(nullMs), Median(fetchMs));
    PrintRow("click: WM_LBUTTONUP on PRIVAT until CreateProcessA returned (Wine)", "ms",
             Median(bareMs), Median(clickMs), Goal::AtMost, 1.1);
    return 0;
}
