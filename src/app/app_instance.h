// The program's instance handle, set once at start-up.
#ifndef TASTOMAT_APP_INSTANCE_H
#define TASTOMAT_APP_INSTANCE_H

#include <windows.h>

extern HINSTANCE hInst;

#endif
