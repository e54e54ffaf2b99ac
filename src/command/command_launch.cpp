// Starts the user's command line as a new process, without waiting for it.
#include "command_launch.h"

#include <windows.h>

#include "command_text.h"
#include "quiet_call.h"

#ifndef _WIN64
static_assert(sizeof(STARTUPINFOA) == 68, "the 32-bit start-up record is 68 bytes");
#endif

void LaunchCommand(const char* command, size_t size) {
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;

    // CreateProcessA may write into the command line, so it gets a copy.
    ByteBuffer line = MakeByteBuffer();
    if (PrepareCommandLine(command, size, line)) {
        // The quiet error mode is for this call alone: the new process starts
        // with the system's default one, as it would from the shell, and
        // shows the system's boxes for a missing medium or file.
        const DWORD creationFlags = NORMAL_PRIORITY_CLASS | CREATE_DEFAULT_ERROR_MODE;
        BOOL started = QuietCall([&] {
            return CreateProcessA(NULL, line.data, NULL, NULL, TRUE, creationFlags, NULL, NULL,
                                  &startup, &process);
        });
        if (started) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    FreeByteBuffer(line);
}
