// The byte-level rules of the command file and the command line.
#include "command_text.h"

#include <string.h>

const char kCommandFileSuffix[] = "\\Rufknopf.ini";

const char kDefaultCommandFileContent[] = "\"calc.exe\"\r\n";
const size_t kDefaultCommandFileSize = sizeof kDefaultCommandFileContent - 1;

const char kNewCommandNoticeTitle[] = "Neuer Befehl";

static const char kNoticeBeforeDirectory[] = "Die Rufknopf.ini wurde im Verzeichnis ";
static const char kNoticeAfterDirectory[] =
    " angelegt. Beim Anklicken des neuen PRIVAT Buttons wird zun\xE4"
    "chst der Taschenrechner aufgerufen.\r\n\r\n"
    "Um die Funktion des neuen Buttons anzupassen, ersetzten Sie die Zeile "
    "calc.exe in der Rufknopf.ini durch eine beliebige andere Befehlszeile";

static const char kCarriageReturn = '\r';
static const char kLineFeed = '\n';
static const char kEndOfData = '\x1A';

CommandJoiner MakeCommandJoiner() {
    CommandJoiner joiner = {MakeByteBuffer(), false, false};
    return joiner;
}

void FeedCommandBytes(CommandJoiner& joiner, const char* bytes, size_t count) {
    if (joiner.dataEnded || count == 0) return;
    const char* endOfData = (const char*)memchr(bytes, kEndOfData, count);
    if (endOfData != NULL) {
        joiner.dataEnded = true;
        count = (size_t)(endOfData - bytes);
    }
    const char* next = bytes;
    const char* const end = bytes + count;
    if (joiner.lineEndedByCr && next < end && *next == kLineFeed) ++next;
    joiner.lineEndedByCr = false;
    while (next < end) {
        const char* lineEnd = (const char*)memchr(next, kCarriageReturn, (size_t)(end - next));
        if (lineEnd == NULL) {
            AppendBytes(joiner.command, next, (size_t)(end - next));
            return;
        }
        AppendBytes(joiner.command, next, (size_t)(lineEnd - next));
        next = lineEnd + 1;
        if (next == end) {
            joiner.lineEndedByCr = true;
        } else if (*next == kLineFeed) {
            ++next;
        }
    }
}

void BuildCommandFilePath(const char* directory, ByteBuffer& path) {
    AppendText(path, directory);
    AppendText(path, kCommandFileSuffix);
}

void BuildNewCommandNoticeText(const char* directory, ByteBuffer& text) {
    AppendText(text, kNoticeBeforeDirectory);
    AppendText(text, directory);
    AppendText(text, kNoticeAfterDirectory);
}

bool PrepareCommandLine(const char* command, size_t size, ByteBuffer& line) {
    const char* nul = size == 0 ? NULL : (const char*)memchr(command, '\0', size);
    size_t length = nul == NULL ? size : (size_t)(nul - command);
    if (length >= kMaxCommandLineChars) return false;
    AppendBytes(line, command, length);
    return TerminateWithNul(line) && !line.allocationFailed;
}
