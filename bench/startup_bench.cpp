// Start-up time under Wine: from CreateProcessA until the program's dialog
// is visible, Tastomat against the minimal dialog program. The two are
// started in turn (which one goes first alternates), each ended before the
// next starts; one round of each is a warm-up and is not counted.
//
// Tastomat adds its tray icon while its dialog is set up, and the shell
// handles that before Shell_NotifyIconA returns. To tell the shell's share
// from Tastomat's own, the driver also times the same call in each round,
// in the same situation: NIM_ADD with Tastomat's icon for a top-level
// window of its own, made just before and not yet shown.
//
// Usage, in the shell desktop: startup_bench TASTOMAT.EXE BASELINE.EXE WORKDIR [RUNS]
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "../res/resource_ids.h"
#include "bench_desktop.h"
#include "report.h"

namespace {

// Adds Tastomat's icon to the tray for a new, hidden top-level window of
// the driver, as Tastomat does for its dialog while setting it up, and
// returns how long Shell_NotifyIconA took; a negative value if it failed.
double TimeTrayIconAdd(HICON icon) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION, 0, 0, 100, 50, NULL, NULL,
                                  NULL, NULL);
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_USER + 400;
    data.hIcon = icon;
    static const char kTip[] = "Tastomat";
    memcpy(data.szTip, kTip, sizeof kTip);
    const double before = NowMs();
    const bool added = window != NULL && Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
    const double took = NowMs() - before;
    if (added) Shell_NotifyIconA(NIM_DELETE, &data);
    if (window != NULL) DestroyWindow(window);
    return added ? took : -1.0;
}

void PrintSamples(const char* what, const std::vector<double>& ms) {
    printf("%s, ms:", what);
    for (double sample : ms) printf(" %.1f", sample);
    printf(" (median %.1f)\n", Median(ms));
}

}  // namespace

int main(int argc, char** argv) {
    DialogComparison compared;
    if (!ParseDialogComparison(argc, argv, 31, compared)) return 2;
    const DialogProgram* programs[2] = {&compared.tastomat, &compared.baseline};
    HMODULE image = LoadLibraryExA(compared.tastomat.exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HICON icon = image != NULL ? LoadIconA(image, IDG_NAME) : NULL;
    if (icon == NULL) return Fail("cannot load Tastomat's icon");
    std::vector<double> startMs[2], trayAddMs;
    for (int round = -1; round < compared.runs; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (round + turn) & 1;
            const DialogProgram& program = *programs[which];
            Running running;
            double start = 0.0, visible = 0.0;
            bool shown =
                StartAndWaitForDialog(program, compared.directory, running, start, visible);
            Quit(program, running);
            if (!shown) return Fail(("no dialog from " + program.exe).c_str());
            if (round >= 0) startMs[which].push_back(visible - start);
            // The shell lays out its taskbar again when a window goes.
            Sleep(200);
        }
        const double trayAdd = TimeTrayIconAdd(icon);
        if (trayAdd < 0.0) return Fail("the driver could not add a tray icon");
        if (round >= 0) trayAddMs.push_back(trayAdd);
        Sleep(200);
    }
    DestroyIcon(icon);
    FreeLibrary(image);
    for (int which = 0; which < 2; ++which) {
        PrintSamples(("start-up of " + programs[which]->exe).c_str(), startMs[which]);
    }
    PrintSamples("the shell's share: Shell_NotifyIconA(NIM_ADD) for a new window of this driver",
                 trayAddMs);
    printf("median of the paired ratios: %.3f; fastest %.1f ms against %.1f ms\n",
           MedianOfRatios(startMs[0], startMs[1]), Fastest(startMs[0]), Fastest(startMs[1]));
    PrintRow("start-up: process start to dialog visible (Wine)", "ms", Median(startMs[1]),
             Median(startMs[0]), Goal::AtMost, 1.1);
    return 0;
}
