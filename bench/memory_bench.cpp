// Memory after start-up under Wine: private bytes and working set of
// Tastomat against the minimal dialog program, once the dialog is visible
// and the program idle. The two are started in turn (which one goes first
// alternates).
//
// GetProcessMemoryInfo gives both figures on Windows. Wine fills its
// PrivateUsage from the Unix process's swap use, which is 0 here, so the
// private bytes are also counted the long way: the committed private
// regions of the address space, summed with VirtualQueryEx.
//
// Usage, in the shell desktop: memory_bench TASTOMAT.EXE BASELINE.EXE WORKDIR [RUNS]
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <vector>

#include "bench_desktop.h"
#include "report.h"

namespace {

SIZE_T CommittedPrivateBytes(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* address = NULL;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = (const char*)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

struct Sample {
    double privateUsageKiB;    // GetProcessMemoryInfo
    double committedPrivateKiB;  // VirtualQueryEx
    double workingSetKiB;      // GetProcessMemoryInfo
};

}  // namespace

int main(int argc, char** argv) {
    DialogComparison compared;
    if (!ParseDialogComparison(argc, argv, 7, compared)) return 2;
    const DialogProgram* programs[2] = {&compared.tastomat, &compared.baseline};
    std::vector<Sample> samples[2];
    for (int round = 0; round < compared.runs; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (round + turn) & 1;
            const DialogProgram& program = *programs[which];
            Running running;
            double start = 0.0, visible = 0.0;
            bool shown = StartAndWaitForDialog(program, compared.directory, running, start, visible);
            PROCESS_MEMORY_COUNTERS_EX counters = {};
            counters.cb = sizeof counters;
            bool read = false;
            SIZE_T committedPrivate = 0;
            if (shown) {
                // Settled: the dialog's queue has run empty and stayed so.
                WaitForInputIdle(running.process.hProcess, 5000);
                Sleep(500);
                read = GetProcessMemoryInfo(running.process.hProcess,
                                            (PROCESS_MEMORY_COUNTERS*)&counters,
                                            sizeof counters) != FALSE;
                committedPrivate = CommittedPrivateBytes(running.process.hProcess);
            }
            Quit(program, running);
            if (!shown) return Fail(("no dialog from " + program.exe).c_str());
            if (!read) return Fail("GetProcessMemoryInfo failed");
            if (committedPrivate == 0) return Fail("VirtualQueryEx found no private memory");
            samples[which].push_back({(double)counters.PrivateUsage / 1024.0,
                                      (double)committedPrivate / 1024.0,
                                      (double)counters.WorkingSetSize / 1024.0});
            Sleep(200);
        }
    }
    std::vector<double> figures[2][3];
    for (int which = 0; which < 2; ++which) {
        printf("%s, KiB PrivateUsage / committed private / working set:",
               programs[which]->exe.c_str());
        for (const Sample& sample : samples[which]) {
            printf(" %.0f/%.0f/%.0f", sample.privateUsageKiB, sample.committedPrivateKiB,
                   sample.workingSetKiB);
            figures[which][0].push_back(sample.privateUsageKiB);
            figures[which][1].push_back(sample.committedPrivateKiB);
            figures[which][2].push_back(sample.workingSetKiB);
        }
        printf("\n");
    }
    const char* names[3] = {
        "memory after start-up: private bytes, PrivateUsage (Wine)",
        "memory after start-up: private bytes, committed private regions (Wine)",
        "memory after start-up: working set (Wine)"};
    for (int figure = 0; figure < 3; ++figure) {
        PrintRow(names[figure], "KiB", Median(figures[1][figure]), Median(figures[0][figure]),
                 Goal::AtMost, 1.1);
    }
    return 0;
}
