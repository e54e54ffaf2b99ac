// A stand-in for the programs a click starts: appends its process id and its
// command line as one line to the file named by TASTOMAT_MARKER_LOG; a
// control byte in the command line (a line feed, say) is logged as <XX> in
// hex so that each start stays one line. With "--linger" on its command line
// it then stays alive for 30 seconds.
//
// It is a GUI program, as the programs a user puts behind PRIVAT mostly are
// (the calculator first of all). A console program started from Tastomat,
// which has no console, gets a new one, and Wine (like Windows 7 and later)
// hosts it in a conhost.exe of its own: a second process per click that
// Tastomat did not start.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

static std::string LogLine() {
    char prefix[32];
    snprintf(prefix, sizeof prefix, "%lu ", GetCurrentProcessId());
    std::string line = prefix;
    for (const char* c = GetCommandLineA(); *c != '\0'; ++c) {
        unsigned char code = (unsigned char)*c;
        if (code < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "<%02X>", code);
            line += escaped;
        } else {
            line += *c;
        }
    }
    return line + "\n";
}

int main() {
    char logPath[MAX_PATH];
    if (GetEnvironmentVariableA("TASTOMAT_MARKER_LOG", logPath, MAX_PATH) == 0) return 1;
    const std::string line = LogLine();
    // Several markers may start at once; retry while another one has the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(log, line.data(), (DWORD)line.size(), &written, NULL);
            CloseHandle(log);
            break;
        }
        Sleep(10);
    }
    if (strstr(GetCommandLineA(), "--linger") != NULL) Sleep(30000);
    return 0;
}
