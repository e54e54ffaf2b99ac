// Wakes Tastomat's thread for input that the system leaves waiting for it
// without waking it (ReactOS, once PRIVAT is in the shell's taskbar).
#ifndef TASTOMAT_INPUT_WAKE_H
#define TASTOMAT_INPUT_WAKE_H

// Starts the wake-up ticks, once; they last until Tastomat ends.
void ArmInputWake();
// The pointer is on one of Tastomat's windows: a click may follow, so the
// ticks come quickly for a moment.
void NoteUserAtTastomat();

#endif
