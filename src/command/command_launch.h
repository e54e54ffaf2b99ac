// Starts the user's command line as a new process, without waiting for it.
#ifndef TASTOMAT_COMMAND_LAUNCH_H
#define TASTOMAT_COMMAND_LAUNCH_H

#include <stddef.h>

// Starts `command` (its first NUL byte, if any, ends it) in a normal window.
// A command that cannot be started, or is too long to start whole, is
// dropped without a word; success and failure look the same to the caller.
void LaunchCommand(const char* command, size_t size);

#endif
