// The command file Rufknopf.ini in the current directory: presence test,
// creation with the default line and its notice, and reading.
#ifndef TASTOMAT_COMMAND_FILE_H
#define TASTOMAT_COMMAND_FILE_H

#include "byte_buffer.h"

// Fetches the command for one click. Returns false when there is nothing to
// start: the file was just created (and the notice shown), or it could be
// neither found nor created. Otherwise `command`, which must be empty, holds
// the joined lines (see ReadCommandFile).
bool FetchCommand(ByteBuffer& command);

bool CommandFileExists(const char* path);

// Creates the file with the default line. Never touches a file that already
// exists; a file this call created but could not fill is removed again.
// Returns true only when all of the default content was written.
bool CreateDefaultCommandFile(const char* path);

// Tells the user where the file was put and how to change it; returns when
// the notice has been closed.
void ShowNewCommandNotice(const char* directory);

// Reads the file and returns its lines joined. A file that cannot be opened,
// a read that fails part-way and a command too large for memory all give an
// empty command, never a cut one. Reading stops once the command has
// kMaxCommandLineChars bytes: the rest cannot change what is started.
ByteBuffer ReadCommandFile(const char* path);

#endif
