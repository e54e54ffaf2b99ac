// The "PRIVAT" button laid over the taskbar's start button: finding the
// taskbar and its start button, and swapping the two.
#ifndef TASTOMAT_REPLACEMENT_H
#define TASTOMAT_REPLACEMENT_H

#include <windows.h>

extern HWND hTaskbar;
extern HWND hStartButton;
extern RECT StartButtonRect;
extern int ButtonWidth;
extern int ButtonHeight;
extern HWND hPrivatButton;
extern WNDPROC OldButtonProc;
// Whether "Ersatz" was the last of "Ersatz" and "Standard" pressed, with no
// confirmed "Beenden" since: a new taskbar is then replaced too.
extern bool ErsatzInForce;

// Refreshes the taskbar, its start button and the start button's size.
void Locate();
// "Ersatz": hides the start button and shows "PRIVAT" in its place, and
// puts "Ersatz" in force even where there is no start button to replace.
void Replace();
// "Standard": shows the start button again and hides "PRIVAT"; "Ersatz" is
// no longer in force.
void Restore();

#endif
