// The program both sides of the click benchmark start: it ends at once, so
// that what is timed is the start itself.
#include <windows.h>

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
    return 0;
}
