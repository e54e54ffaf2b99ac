// The common parts of the benchmark drivers that run in Wine's shell
// desktop next to the programs they measure.
#include "bench_desktop.h"

#include <stdio.h>
#include <stdlib.h>

#include "../res/resource_ids.h"
#include "baseline_dialog_ids.h"

static const DWORD kTimeoutMs = 10000;

double NowMs() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static HWND VisibleDialog(DWORD processId, const char* caption, HWND except) {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, "#32770", caption)) != NULL) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != except && IsWindowVisible(window)) return window;
    }
    return NULL;
}

HWND PollForWindow(const std::function<HWND()>& find) {
    const double start = NowMs();
    do {
        HWND window = find();
        if (window != NULL) return window;
        Sleep(1);
    } while (NowMs() - start < kTimeoutMs);
    return NULL;
}

static HWND WaitForVisibleDialog(DWORD processId, const char* caption, HWND except = NULL) {
    return PollForWindow([=] { return VisibleDialog(processId, caption, except); });
}

bool ParseDialogComparison(int argc, char** argv, int defaultRuns, DialogComparison& out) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s TASTOMAT.EXE BASELINE.EXE WORKDIR [RUNS]\n", argv[0]);
        return false;
    }
    out.tastomat = {argv[1], "Tastomat", true};
    out.baseline = {argv[2], BASELINE_CAPTION, false};
    out.directory = argv[3];
    out.runs = argc > 4 ? (int)strtol(argv[4], NULL, 10) : defaultRuns;
    return out.runs > 0;
}

bool StartAndWaitForDialog(const DialogProgram& program, const std::string& directory,
                           Running& running, double& startMs, double& visibleMs) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program.exe + "\"";
    running = Running();
    startMs = NowMs();
    if (!CreateProcessA(program.exe.c_str(), commandLine.data(), NULL, NULL, FALSE, 0, NULL,
                        directory.c_str(), &startup, &running.process)) {
        return false;
    }
    running.dialog = WaitForVisibleDialog(running.process.dwProcessId, program.caption);
    visibleMs = NowMs();
    return running.dialog != NULL;
}

void Quit(const DialogProgram& program, Running& running) {
    if (running.process.hProcess == NULL) return;
    if (running.dialog != NULL) {
        if (program.isTastomat) {
            PostMessageA(running.dialog, WM_COMMAND, MAKEWPARAM(ID_BEENDEN, BN_CLICKED),
                         (LPARAM)GetDlgItem(running.dialog, ID_BEENDEN));
            // The confirmation is a message box titled like the dialog.
            HWND confirm =
                WaitForVisibleDialog(running.process.dwProcessId, program.caption, running.dialog);
            if (confirm != NULL) PostMessageA(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
        } else {
            PostMessageA(GetDlgItem(running.dialog, IDOK), BM_CLICK, 0, 0);
        }
    }
    if (WaitForSingleObject(running.process.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
        fprintf(stderr, "%s did not end; killed\n", program.exe.c_str());
        TerminateProcess(running.process.hProcess, 99);
        WaitForSingleObject(running.process.hProcess, kTimeoutMs);
    }
    CloseHandle(running.process.hProcess);
    CloseHandle(running.process.hThread);
    running = Running();
}

static HANDLE Job = NULL;

bool JoinJob() {
    Job = CreateJobObjectA(NULL, NULL);
    return Job != NULL && AssignProcessToJobObject(Job, GetCurrentProcess());
}

JobProcesses CountJobProcesses() {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    QueryInformationJobObject(Job, JobObjectBasicAccountingInformation, &info, sizeof info, NULL);
    JobProcesses count = {info.ActiveProcesses, info.TotalProcesses};
    return count;
}

bool WaitForActiveProcesses(DWORD count) {
    const double start = NowMs();
    while (CountJobProcesses().active > count) {
        if (NowMs() - start > kTimeoutMs) return false;
        Sleep(1);
    }
    return true;
}

int Fail(const char* what) {
    fprintf(stderr, "%s\n", what);
    return 1;
}
