// A user's input, given through the system's input queue (SendInput), for
// the drivers that test Tastomat on Wine and on ReactOS: mouse clicks, key
// strokes, and where on a window's caption its boxes are. Header-only and
// without the C runtime, which the ReactOS driver does without.
#ifndef TASTOMAT_REAL_INPUT_H
#define TASTOMAT_REAL_INPUT_H

#include <windows.h>

// A left click at a screen point. The point travels with the input, as
// absolute coordinates on the screen, rather than as a cursor position set
// before it: Wine's SetCursorPos reaches the input queue later than input
// sent right after it, which then lands where the cursor was before.
inline bool ClickAt(POINT point) {
    INPUT click[3];
    ZeroMemory(click, sizeof click);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    for (INPUT& event : click) {
        event.type = INPUT_MOUSE;
        event.mi.dx = (LONG)(((point.x * 65535) + (width / 2)) / (width - 1));
        event.mi.dy = (LONG)(((point.y * 65535) + (height / 2)) / (height - 1));
        event.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    click[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    click[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    return SendInput(3, click, sizeof(INPUT)) == 3;
}

// Up to four keys pressed in order, then released in reverse, as a user
// gives Alt+F4 or Shift+Tab; a single key is pressed and released.
inline bool PressKeys(const WORD* keys, int count) {
    INPUT strokes[8];
    ZeroMemory(strokes, sizeof strokes);
    if (count < 1 || count > 4) return false;
    for (int i = 0; i < count; ++i) {
        INPUT& down = strokes[i];
        INPUT& up = strokes[(2 * count) - 1 - i];
        down.type = up.type = INPUT_KEYBOARD;
        down.ki.wVk = up.ki.wVk = keys[i];
        up.ki.dwFlags = KEYEVENTF_KEYUP;
    }
    return SendInput((UINT)(2 * count), strokes, sizeof(INPUT)) == (UINT)(2 * count);
}

// Where a click on `window`'s caption lands on the part that answers `hit`
// (HTCLOSE or HTCAPTION) to a hit test, which the window
// answers itself: along the caption's middle row from its right end, the
// middle of the first run of such points, and for the caption itself a
// point well away from its boxes. False if no point answers so, or the
// window did not answer within `answerMs`.
inline bool CaptionPoint(HWND window, LRESULT hit, DWORD answerMs, POINT& point) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    point.y = rect.top + GetSystemMetrics(SM_CYDLGFRAME) + (GetSystemMetrics(SM_CYCAPTION) / 2);
    LONG first = -1;
    for (LONG x = rect.right - 1; x > rect.left; --x) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, point.y), SMTO_ABORTIFHUNG,
                                 answerMs, &answer)) {
            return false;
        }
        bool inside = (LRESULT)answer == hit;
        if (inside && first < 0) first = x;
        bool runEnds = !inside || (hit == HTCAPTION && first - x >= 40);
        if (first >= 0 && runEnds) {
            point.x = (first + x + 1) / 2;
            return true;
        }
    }
    return false;
}

// Makes the top-level `window` the active one as a user would, by a click
// on its caption, and true once it has stayed so for a moment. Under Wine a
// click is lost when its window is activated while the button is held (the
// activation cancels the button's mouse capture), and showing PRIVAT in the
// shell's taskbar changes the active window a moment later, from the
// shell's thread; so a click that is tested comes once its window is active.
inline bool ActivateByCaption(HWND window, DWORD answerMs) {
    const DWORD steadyMs = 200;
    const DWORD waitMs = 2000;
    for (int attempt = 0; attempt < 3; ++attempt) {
        POINT caption;
        if (GetForegroundWindow() != window && CaptionPoint(window, HTCAPTION, answerMs, caption)) {
            ClickAt(caption);
        }
        for (DWORD waited = 0; GetForegroundWindow() != window && waited < waitMs; waited += 10) {
            Sleep(10);
        }
        Sleep(steadyMs);
        if (GetForegroundWindow() == window) return true;
    }
    return false;
}

#endif
