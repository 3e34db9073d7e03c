#include "player_input.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>
#include <xalleg.h>

#include <X11/Xlib.h>
#include <atomic>
#include <mutex>

namespace {

// Presses of the left button not yet taken, oldest first. Far more than a player makes between two
// frames; beyond that, the newest are dropped.
struct Press {
    int x, y;
};
const int maxPresses = 16;
// Taken by Allegro's handler, inside its X lock, and by the frame loop; nothing is locked inside it.
std::mutex pressesLock;
Press presses[maxPresses];
int firstPress = 0, pressCount = 0;
bool leftDown = false;

std::atomic<bool> escapePressed(false);

// Allegro's mouse handler calls this after each change, with the new position and buttons
// already in place.
void onMouse(int flags)
{
    if (!(flags & (MOUSE_FLAG_LEFT_DOWN | MOUSE_FLAG_LEFT_UP)))
        return;
    const std::lock_guard<std::mutex> hold(pressesLock);
    leftDown = (flags & MOUSE_FLAG_LEFT_DOWN) != 0;
    if (leftDown && pressCount < maxPresses)
        presses[(firstPress + pressCount++) % maxPresses] = {mouse_x, mouse_y};
}

// Allegro's keyboard handler calls this for each key pressed, and let go (with bit 7 set).
void onKey(int scancode)
{
    if (scancode == KEY_ESC)
        escapePressed = true;
}

} // namespace

void notePresses()
{
    mouse_callback = onMouse;
    keyboard_lowlevel_callback = onKey;
}

bool takeLeftPress(int& x, int& y)
{
    const std::lock_guard<std::mutex> hold(pressesLock);
    if (pressCount == 0)
        return false;
    x = presses[firstPress].x;
    y = presses[firstPress].y;
    firstPress = (firstPress + 1) % maxPresses;
    --pressCount;
    return true;
}

bool leftButtonHeld()
{
    const std::lock_guard<std::mutex> hold(pressesLock);
    return leftDown && pressCount == 0;
}

bool takeEscapePress() { return escapePressed.exchange(false); }

void followThePlayersPointer()
{
    // Under Allegro's X lock, as its handler moves the pointer. Moves that came before the answer
    // but are handled after it end where the answer has the pointer: since the last of them, it
    // has not moved.
    XLOCK();
    Window root, child;
    int rootX, rootY, x, y;
    unsigned buttons;
    if (_xwin.display && _xwin.window && _xwin_mouse_interrupt
        && XQueryPointer(
            _xwin.display, _xwin.window, &root, &child, &rootX, &rootY, &x, &y, &buttons)
        && x >= 0 && y >= 0 && x < _xwin.window_width && y < _xwin.window_height)
        _xwin_mouse_interrupt(x + _xwin.scroll_x - _mouse_x, y + _xwin.scroll_y - _mouse_y, 0, 0,
            _mouse_b);
    XUNLOCK();
}
