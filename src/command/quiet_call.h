// Runs a file or process call so that a fault such as a drive without a
// medium makes the call fail instead of asking the user in a system box.
#ifndef TASTOMAT_QUIET_CALL_H
#define TASTOMAT_QUIET_CALL_H

#include <windows.h>

// Calls `call()` with the error mode set to fail critical errors quietly and
// the thread's last-error value cleared, restores the previous error mode and
// leaves the call's own last-error value in place. Returns the call's result.
template <typename Call>
auto QuietCall(Call call) -> decltype(call()) {
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetLastError(0);
    auto result = call();
    DWORD callError = GetLastError();
    SetErrorMode(previousMode);
    SetLastError(callError);
    return result;
}

#endif
