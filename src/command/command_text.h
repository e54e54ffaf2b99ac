// The byte-level rules of the command file and the command line, free of any
// platform call so that they can be tested and fuzzed on their own.
#ifndef TASTOMAT_COMMAND_TEXT_H
#define TASTOMAT_COMMAND_TEXT_H

#include <stddef.h>

#include "byte_buffer.h"

// Name of the command file, with the separator that joins it to a directory.
extern const char kCommandFileSuffix[];

// What a new command file holds: "calc.exe" in double quotes, then CR LF.
extern const char kDefaultCommandFileContent[];
extern const size_t kDefaultCommandFileSize;

extern const char kNewCommandNoticeTitle[];

// The longest command line the platform starts, terminating NUL included.
const size_t kMaxCommandLineChars = 32767;

// Joins the command file's lines into one command line while the file is fed
// in blocks of any size. A CR ends a line, and so does a CR LF; an LF on its
// own is an ordinary byte. Line ends are dropped and nothing is put between
// the lines. A Ctrl-Z (0x1A) ends the data: it and everything behind it are
// ignored.
struct CommandJoiner {
    ByteBuffer command;
    bool lineEndedByCr;  // the last byte fed was a CR, so an LF may follow
    bool dataEnded;      // a Ctrl-Z was seen
};

CommandJoiner MakeCommandJoiner();
void FeedCommandBytes(CommandJoiner& joiner, const char* bytes, size_t count);

// directory + "\Rufknopf.ini", joined without looking at the directory's last
// character (a drive root thus gives a doubled backslash, which is accepted).
void BuildCommandFilePath(const char* directory, ByteBuffer& path);

// The first-run notice's text, naming the directory the file was created in.
void BuildNewCommandNoticeText(const char* directory, ByteBuffer& text);

// Copies the command, up to its first NUL byte, into `line` as a writable C
// string. Returns false, leaving nothing to start, when it does not fit the
// platform's limit: a shortened command line could run something else.
bool PrepareCommandLine(const char* command, size_t size, ByteBuffer& line);

#endif
