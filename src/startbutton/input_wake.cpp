// Wakes Tastomat's thread for input that the system leaves waiting for it.
//
// Creating PRIVAT, a child of the shell's taskbar, ties Tastomat's thread to
// the taskbar's input queue. ReactOS's window manager then wakes only the
// taskbar's thread for a click or a key, on PRIVAT and on the dialog and its
// boxes alike; that thread leaves what is Tastomat's in the queue, and
// Tastomat's thread would sleep on with it. A tick wakes the thread, which
// reads the waiting input before the tick itself. The tie outlives PRIVAT
// (a shell that ended takes PRIVAT with it), so the ticks last until
// Tastomat ends. Windows and Wine wake the right thread themselves, and
// there the ticks only cost their wake-ups.
//
// Idle, a tick comes four times a second. Once the pointer has come onto
// PRIVAT or the dialog (its movement reaches Tastomat at the latest with
// the next tick), a click is likely to follow: the ticks then come as
// quickly as a timer can, until the pointer has been still or away for a
// moment and a half.
#include "input_wake.h"

#include <windows.h>

static const UINT IdleWakeMs = 250;
static const UINT QuickWakeMs = 10;
static const int QuickTicks = 150;

// A thread timer, tied to no window, so that it lives as long as the
// thread. A new interval takes a new timer: not every system lets a thread
// timer's id be set again.
static UINT_PTR WakeTimer = 0;
static int QuickTicksLeft = 0;

static void CALLBACK OnWakeTick(HWND /*window*/, UINT /*message*/, UINT_PTR /*timer*/,
                                DWORD /*time*/);

static void SetWakeInterval(UINT ms) {
    KillTimer(NULL, WakeTimer);
    WakeTimer = SetTimer(NULL, 0, ms, OnWakeTick);
}

static void CALLBACK OnWakeTick(HWND /*window*/, UINT /*message*/, UINT_PTR /*timer*/,
                                DWORD /*time*/) {
    if (QuickTicksLeft == 0) return;
    --QuickTicksLeft;
    if (QuickTicksLeft == 0) SetWakeInterval(IdleWakeMs);
}

void ArmInputWake() {
    if (WakeTimer == 0) SetWakeInterval(IdleWakeMs);
}

void NoteUserAtTastomat() {
    if (WakeTimer == 0) return;
    if (QuickTicksLeft == 0) SetWakeInterval(QuickWakeMs);
    QuickTicksLeft = QuickTicks;
}
