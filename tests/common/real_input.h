// A user's input, given through the system's input queue (SendInput), for
// the drivers that test Tastomat on Wine and on ReactOS: mouse clicks, key
// strokes, and where on a window's caption its boxes are. Header-only and
// without the C runtime, which the ReactOS driver does without.
#ifndef TASTOMAT_REAL_INPUT_H
#define TASTOMAT_REAL_INPUT_H

#include <windows.h>

// A screen point as the input's absolute coordinates, in 0..65535.
inline void PointInput(POINT point, INPUT& event) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    event.type = INPUT_MOUSE;
    event.mi.dx = (LONG)(((point.x * 65535) + (width / 2)) / (width - 1));
    event.mi.dy = (LONG)(((point.y * 65535) + (height / 2)) / (height - 1));
    event.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
}

// The pointer moved to a screen point, no button pressed.
inline bool PointAt(POINT point) {
    INPUT move;
    ZeroMemory(&move, sizeof move);
    PointInput(point, move);
    return SendInput(1, &move, sizeof(INPUT)) == 1;
}

// A click at a screen point, with the left button or, with `right`, the
// right one. The point travels with the input, as absolute coordinates on
// the screen, rather than as a cursor position set before it: Wine's
// SetCursorPos reaches the input queue later than input sent right after
// it, which then lands where the cursor was before.
inline bool ClickAt(POINT point, bool right = false) {
    INPUT click[3];
    ZeroMemory(click, sizeof click);
    for (INPUT& event : click) PointInput(point, event);
    click[1].mi.dwFlags |= right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    click[2].mi.dwFlags |= right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
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

// A window as a report names it: handle, class, caption and process, into
// `text` of at least 200 bytes.
inline void DescribeWindow(HWND window, char* text) {
    if (window == NULL) {
        lstrcpyA(text, "none");
        return;
    }
    char name[40] = "";
    char caption[40] = "";
    DWORD process = 0;
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    GetWindowThreadProcessId(window, &process);
    wsprintfA(text, "0x%lx %s \"%s\" of process %lu%s", (unsigned long)(ULONG_PTR)window, name,
              caption, process, IsWindowVisible(window) ? "" : ", hidden");
}

// What input given at `point` meets now, for a report of input that did
// nothing: the window under the point, the foreground window, and the
// active, focus and capture windows and input modes of `thread` (the one
// the input was meant for). Into `text` of at least 1200 bytes.
inline void DescribeInputAt(POINT point, DWORD thread, char* text) {
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread, &info);
    char under[200];
    char foreground[200];
    char active[200];
    char focus[200];
    char capture[200];
    DescribeWindow(WindowFromPoint(point), under);
    DescribeWindow(GetForegroundWindow(), foreground);
    DescribeWindow(info.hwndActive, active);
    DescribeWindow(info.hwndFocus, focus);
    DescribeWindow(info.hwndCapture, capture);
    wsprintfA(text,
              "at %ld,%ld: under it %s; foreground %s; the thread's active window %s, focus %s, "
              "capture %s, input modes 0x%lx",
              point.x, point.y, under, foreground, active, focus, capture, info.flags);
}

// Whether keys and clicks given now go to the top-level `window`: it is the
// foreground window and its thread's active one, and no mouse capture, move
// or size loop, or menu of that thread is in the way.
inline bool KeepsInput(HWND window) {
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    const DWORD modes = GUI_INMOVESIZE | GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE;
    return GetForegroundWindow() == window &&
           GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) &&
           info.hwndActive == window && info.hwndCapture == NULL && (info.flags & modes) == 0;
}

// Where a click activates the top-level `window` and does nothing else:
// a point of its own client area, near the top left corner, away from its
// controls. False if another window lies there.
inline bool ActivationPoint(HWND window, POINT& point) {
    point.x = 4;
    point.y = 4;
    return ClientToScreen(window, &point) && WindowFromPoint(point) == window;
}

// Makes the top-level `window` the one that takes input, as a user would:
// by one click on its client area away from its controls, unless it takes
// input already; true once it has kept the input for `steadyMs` on end,
// within `waitMs`. Under Wine a click is lost when its window is activated
// while the button is held (the activation cancels the button's mouse
// capture), so a click that is tested comes once its window takes input.
// Not a click on the caption: that runs the caption's move loop, which
// holds the mouse until its button is up. Never a second click: a user's
// click that does not activate is a fault to see, not to cover.
inline bool ActivateByClick(HWND window, DWORD steadyMs, DWORD waitMs) {
    DWORD start = GetTickCount();
    POINT point;
    if (!KeepsInput(window) && ActivationPoint(window, point)) ClickAt(point);
    bool kept = false;
    DWORD keptSince = 0;
    while (GetTickCount() - start < waitMs) {
        bool keeps = KeepsInput(window);
        if (keeps && !kept) keptSince = GetTickCount();
        kept = keeps;
        if (kept && GetTickCount() - keptSince >= steadyMs) return true;
        Sleep(10);
    }
    return false;
}

#endif
