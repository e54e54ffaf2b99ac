// The common parts of the benchmark drivers that run in Wine's shell
// desktop next to the programs they measure: a clock, starting a dialog
// program and seeing its dialog appear, ending it again, and counting the
// processes started.
#ifndef TASTOMAT_BENCH_DESKTOP_H
#define TASTOMAT_BENCH_DESKTOP_H

#include <windows.h>

#include <functional>
#include <string>

// Milliseconds on the high-resolution clock.
double NowMs();

// Calls `find` every millisecond until it gives a window; NULL after ten
// seconds.
HWND PollForWindow(const std::function<HWND()>& find);

// One of the two dialog programs measured: Tastomat or the baseline.
struct DialogProgram {
    std::string exe;
    const char* caption;
    bool isTastomat;
};

// The start-up and memory benchmarks compare Tastomat with the baseline;
// their command line is: TASTOMAT.EXE BASELINE.EXE WORKDIR [RUNS].
struct DialogComparison {
    DialogProgram tastomat;
    DialogProgram baseline;
    std::string directory;  // both programs' current directory
    int runs;
};
bool ParseDialogComparison(int argc, char** argv, int defaultRuns, DialogComparison& out);

// A running dialog program.
struct Running {
    PROCESS_INFORMATION process;
    HWND dialog;
};

// Starts the program in `directory` and waits for its dialog; `startMs` and
// `visibleMs` (NowMs) are taken right before CreateProcessA and when the
// dialog was seen visible. False if it did not start or show its dialog.
bool StartAndWaitForDialog(const DialogProgram& program, const std::string& directory,
                           Running& running, double& startMs, double& visibleMs);

// Ends it the way a user does: Tastomat with "Beenden" and OK on its
// confirmation, the baseline with its OK button. Kills it if that fails.
void Quit(const DialogProgram& program, Running& running);

// Every process this driver starts, and every process those start, join one
// job, which counts them.
bool JoinJob();
struct JobProcesses {
    DWORD active;  // running now
    DWORD total;   // ever started in the job, ended ones included
};
JobProcesses CountJobProcesses();
// Waits until no more than `count` processes of the job are running.
bool WaitForActiveProcesses(DWORD count);

// Prints a message to stderr and returns exit code 1, for a driver's main().
int Fail(const char* what);

#endif
