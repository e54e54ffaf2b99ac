// A stand-in for the programs a click starts: appends its process id and its
// command line as one line to the file named by TASTOMAT_MARKER_LOG. With
// "--linger" on its command line it then stays alive for 30 seconds.
#include <windows.h>

#include <stdio.h>
#include <string.h>

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
    if (strstr(GetCommandLineA(), "--linger") != NULL) Sleep(30000);
    return 0;
}
