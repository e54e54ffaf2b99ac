// The program both sides of the click benchmark start: it ends at once, so
// that what is timed is the start itself.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
