// A stand-in for the programs a click starts: appends its process id and its
// command line as one line to the file named by TASTOMAT_MARKER_LOG, then
// stays alive for as many milliseconds as TASTOMAT_MARKER_LINGER says.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main() {
    char logPath[MAX_PATH];
    if (GetEnvironmentVariableA("TASTOMAT_MARKER_LOG", logPath, MAX_PATH) == 0) return 1;
    // Several markers may start at once; retry while another one has the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        if (log != INVALID_HANDLE_VALUE) {
            char prefix[32];
            int prefixLength = snprintf(prefix, sizeof prefix, "%lu ", GetCurrentProcessId());
            const char* line = GetCommandLineA();
            DWORD written = 0;
            WriteFile(log, prefix, (DWORD)prefixLength, &written, NULL);
            WriteFile(log, line, (DWORD)strlen(line), &written, NULL);
            WriteFile(log, "\n", 1, &written, NULL);
            CloseHandle(log);
            break;
        }
        Sleep(10);
    }
    char linger[16];
    if (GetEnvironmentVariableA("TASTOMAT_MARKER_LINGER", linger, sizeof linger) != 0) {
        Sleep((DWORD)atoi(linger));
    }
    return 0;
}
