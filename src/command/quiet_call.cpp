// The error-mode handling around file and process calls (see quiet_call.h).
#include "quiet_call.h"

UINT BeginQuietCall() {
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetLastError(0);
    return previousMode;
}

void EndQuietCall(UINT previousMode) {
    DWORD callError = GetLastError();
    SetErrorMode(previousMode);
    SetLastError(callError);
}
