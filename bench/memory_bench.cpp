// Memory after start-up under Wine: private bytes and working set of
// Tastomat against the minimal dialog program, once the dialog is visible
// and the program idle. The two are started in turn (which one goes first
// alternates).
//
// On Windows GetProcessMemoryInfo gives the private bytes twice, as
// PrivateUsage and as PagefileUsage, and the working set. Under Wine 8
// PrivateUsage comes back 0, PagefileUsage is the Unix process's resident
// anonymous memory and the working set its whole resident size. The
// committed private regions of the address space, summed with
// VirtualQueryEx, are a third view of the private bytes.
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

const int kFigures = 4;
const char* const kFigureNames[kFigures] = {
    "memory after start-up: private bytes, PrivateUsage (Wine)",
    "memory after start-up: private bytes, PagefileUsage (Wine)",
    "memory after start-up: private bytes, committed private regions (Wine)",
    "memory after start-up: working set (Wine)"};

}  // namespace

int main(int argc, char** argv) {
    DialogComparison compared;
    if (!ParseDialogComparison(argc, argv, 7, compared)) return 2;
    const DialogProgram* programs[2] = {&compared.tastomat, &compared.baseline};
    std::vector<double> kib[2][kFigures];
    for (int round = 0; round < compared.runs; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (round + turn) & 1;
            const DialogProgram& program = *programs[which];
            Running running;
            double start = 0.0, visible = 0.0;
            bool shown =
                StartAndWaitForDialog(program, compared.directory, running, start, visible);
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
            const SIZE_T bytes[kFigures] = {counters.PrivateUsage, counters.PagefileUsage,
                                            committedPrivate, counters.WorkingSetSize};
            for (int figure = 0; figure < kFigures; ++figure) {
                kib[which][figure].push_back((double)bytes[figure] / 1024.0);
            }
            Sleep(200);
        }
    }
    for (int which = 0; which < 2; ++which) {
        printf("%s, KiB (one column per figure below):\n", programs[which]->exe.c_str());
        for (size_t run = 0; run < kib[which][0].size(); ++run) {
            for (int figure = 0; figure < kFigures; ++figure)
                printf(" %8.0f", kib[which][figure][run]);
            printf("\n");
        }
    }
    for (int figure = 0; figure < kFigures; ++figure) {
        PrintRow(kFigureNames[figure], "KiB", Median(kib[1][figure]), Median(kib[0][figure]),
                 Goal::AtMost, 1.1);
    }
    return 0;
}
