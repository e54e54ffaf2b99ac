// The window procedure of the "PRIVAT" buttons.
#ifndef TASTOMAT_CTRLPROC_H
#define TASTOMAT_CTRLPROC_H

#include <windows.h>

// Exported under exactly this name (see tastomat.def).
extern "C" LRESULT CALLBACK CTRLPROC(HWND hWnd, UINT wMsg, WPARAM wParam, LPARAM lParam);

#endif
