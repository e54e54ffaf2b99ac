// Runs a file or process call so that a fault such as a drive without a
// medium makes the call fail instead of asking the user in a system box.
#ifndef TASTOMAT_QUIET_CALL_H
#define TASTOMAT_QUIET_CALL_H

#include <windows.h>

// Sets the error mode to fail critical errors quietly and clears the
// thread's last-error value; returns the error mode it replaced.
UINT BeginQuietCall();
// Restores that error mode and leaves the call's own last-error value in
// place.
void EndQuietCall(UINT previousMode);

// Calls `call()` between the two and returns its result. The work around the
// call is done out of line, once for all the calls that need it.
template <typename Call>
auto QuietCall(Call call) -> decltype(call()) {
    UINT previousMode = BeginQuietCall();
    auto result = call();
    EndQuietCall(previousMode);
    return result;
}

#endif
