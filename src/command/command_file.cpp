// The command file Rufknopf.ini in the current directory.
#include "command_file.h"

#include <windows.h>

#include "command_text.h"
#include "quiet_call.h"

static const DWORD kReadBlockSize = 128;

bool CommandFileExists(const char* path) {
    return QuietCall([&] { return GetFileAttributesA(path); }) != INVALID_FILE_ATTRIBUTES;
}

static bool WriteAll(HANDLE file, const char* bytes, DWORD count) {
    DWORD written = 0;
    BOOL ok = QuietCall([&] { return WriteFile(file, bytes, count, &written, NULL); });
    return ok && written == count;
}

bool CreateDefaultCommandFile(const char* path) {
    // CREATE_NEW: a file that appeared after the presence test, or one the
    // test could not see, is the user's and must not be emptied.
    HANDLE file = QuietCall([&] {
        return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    });
    if (file == INVALID_HANDLE_VALUE) return false;
    // The quotes and the line end are written on their own, straight to the file.
    const char* content = kDefaultCommandFileContent;
    const DWORD commandEnd = (DWORD)kDefaultCommandFileSize - 3;
    bool written = WriteAll(file, content, 1) && WriteAll(file, content + 1, commandEnd - 1) &&
                   WriteAll(file, content + commandEnd, 1) &&
                   WriteAll(file, content + commandEnd + 1, 2);
    QuietCall([&] { return CloseHandle(file); });
    if (!written) QuietCall([&] { return DeleteFileA(path); });
    return written;
}

void ShowNewCommandNotice(const char* directory) {
    ByteBuffer text = MakeByteBuffer();
    BuildNewCommandNoticeText(directory, text);
    if (TerminateWithNul(text)) {
        MessageBoxA(NULL, text.data, kNewCommandNoticeTitle, MB_OK);
    }
    FreeByteBuffer(text);
}

ByteBuffer ReadCommandFile(const char* path) {
    CommandJoiner joiner = MakeCommandJoiner();
    HANDLE file = QuietCall([&] {
        return CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    });
    if (file == INVALID_HANDLE_VALUE) return joiner.command;
    char block[kReadBlockSize];
    bool readFailed = false;
    // Once the command is as long as the longest command line, nothing that
    // follows changes what starts (the part before a NUL, or nothing), so a
    // huge file costs neither time nor memory beyond this point.
    while (!joiner.dataEnded && joiner.command.size < kMaxCommandLineChars) {
        DWORD got = 0;
        readFailed = !QuietCall([&] { return ReadFile(file, block, kReadBlockSize, &got, NULL); });
        if (readFailed || got == 0) break;
        FeedCommandBytes(joiner, block, got);
    }
    QuietCall([&] { return CloseHandle(file); });
    // The start of a command can be another command: "prog.exe /x" cut to
    // "prog.exe". So a read that failed part-way (a share that dropped, a
    // medium removed) or memory that ran out leaves nothing to start.
    if (readFailed || joiner.command.allocationFailed) FreeByteBuffer(joiner.command);
    return joiner.command;
}

bool FetchCommand(ByteBuffer& command) {
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
    // A directory that does not fit is never cut: it would name another file.
    if (length == 0 || length >= MAX_PATH) return false;

    ByteBuffer path = MakeByteBuffer();
    BuildCommandFilePath(directory, path);
    bool haveCommand = false;
    if (TerminateWithNul(path)) {
        if (CommandFileExists(path.data)) {
            command = ReadCommandFile(path.data);
            haveCommand = true;
        } else if (CreateDefaultCommandFile(path.data)) {
            ShowNewCommandNotice(directory);
        }
    }
    FreeByteBuffer(path);
    return haveCommand;
}
