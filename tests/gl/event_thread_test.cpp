// The thread that hears the game's X connection, in the window the game's own start-up opened:
// it is the one Allegro runs, a key sent to the window reaches Allegro's key array whether or not
// another thread reads the connection meanwhile, and at the frame loop's look, none does while
// Allegro's interrupts are off, and a function may unregister itself from within its call.
#include "gl_support.h"

#define ALLEGRO_NO_MAGIC_MAIN
#include <allegro.h>
#include <allegro/platform/aintunix.h>
#include <xalleg.h>

#include "event_thread.h"
#include "player_input.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sends the key (an X key code) or the mouse button to the game's window from a connection of its
// own, pressed or released, as the X server delivers them to the window; a button at (x, y).
void send(int type, unsigned code, int x = 0, int y = 0)
{
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XEvent event = {};
    event.type = type;
    if (type == KeyPress || type == KeyRelease) {
        event.xkey.window = _xwin.window;
        event.xkey.root = DefaultRootWindow(other);
        event.xkey.keycode = code;
        event.xkey.same_screen = True;
    } else {
        event.xbutton.window = _xwin.window;
        event.xbutton.root = DefaultRootWindow(other);
        event.xbutton.button = code;
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.same_screen = True;
    }
    const long masks[] = {KeyPressMask, KeyReleaseMask, ButtonPressMask, ButtonReleaseMask};
    XSendEvent(other, _xwin.window, False, masks[type - KeyPress], &event);
    XCloseDisplay(other);
}

void sendKey(unsigned keycode, bool press) { send(press ? KeyPress : KeyRelease, keycode); }

unsigned keycodeOfA()
{
    return XKeysymToKeycode(_xwin.display, XK_a);
}

std::atomic<int> selfRemovingCalls {0};
std::atomic<bool> selfRemoved {false};

void removeItself(int)
{
    ++selfRemovingCalls;
    selfRemoved = _unix_bg_man->unregister_func(removeItself) == 0;
}

} // namespace

TEST(EventThread, IsTheOneAllegroRunsItsBackgroundWorkOn)
{
    EXPECT_TRUE(eventThreadInUse());
    const std::vector<std::string> names = threadNames(getpid());
    EXPECT_NE(std::find(names.begin(), names.end(), "x-events"), names.end());
}

// The events in the socket are read by the event thread itself; when this thread makes requests
// of its own (as the OpenGL driver does in every frame), their answers bring the events along
// and leave them in Xlib's queue, where the event thread must find them too.
TEST(EventThread, AKeySentToTheWindowReachesAllegroWhetherOrNotAnotherThreadReadsTheConnection)
{
    for (const bool otherReads : {false, true}) {
        sendKey(keycodeOfA(), true);
        std::atomic<bool> seen {false};
        std::thread reader([&] {
            while (otherReads && !seen)
                XSync(_xwin.display, False);
        });
        seen = waitUntil(5, [] { return key[KEY_A] != 0; }, 1);
        reader.join();
        EXPECT_TRUE(seen) << (otherReads ? "with" : "without") << " another thread's requests";
        sendKey(keycodeOfA(), false);
        EXPECT_TRUE(waitUntil(5, [] { return key[KEY_A] == 0; }, 1));
    }
}

// The frame loop looks at the connection as each frame starts: a key that came before is in
// Allegro's array when the look returns, not a look of the thread's later.
TEST(EventThread, AKeyThatCameBeforeTheFrameLoopsLookIsHeardByIt)
{
    for (const bool press : {true, false}) {
        hearEventsNow(); // frames are coming: the thread puts its own looks off
        sendKey(keycodeOfA(), press);
        XSync(_xwin.display, False); // the key has come: it is in Xlib's queue
        hearEventsNow();
        EXPECT_EQ(key[KEY_A] != 0, press) << (press ? "pressed" : "released");
    }
}

// A tap, a key let go as another window takes the focus, or both within one frame: pressed and
// let go before the frame loop looks, they were lost. Each press counts once.
TEST(EventThread, PressesLetGoBeforeTheFrameLoopsLookAreEachNotedOnce)
{
    int x, y;
    while (takeLeftPress(x, y) || takeEscapePress()) {}
    const unsigned escape = XKeysymToKeycode(_xwin.display, XK_Escape);
    hearEventsNow(); // frames are coming: the thread puts its own looks off
    for (int tap = 0; tap < 2; ++tap) {
        send(ButtonPress, Button1);
        send(ButtonRelease, Button1);
    }
    sendKey(escape, true);
    sendKey(escape, false);
    XSync(_xwin.display, False);
    hearEventsNow();
    EXPECT_EQ(mouse_b & 1, 0);
    EXPECT_EQ(key[KEY_ESC], 0);
    EXPECT_TRUE(takeEscapePress());
    EXPECT_FALSE(takeEscapePress()) << "one Escape counted twice";
    EXPECT_TRUE(takeLeftPress(x, y));
    EXPECT_TRUE(takeLeftPress(x, y)) << "the second tap is lost";
    EXPECT_FALSE(takeLeftPress(x, y)) << "a tap counted twice";

    // A button pressed and held is held for the frame loop once its press is taken, not before:
    // a press that came between the two looks counted once as held and again as pressed.
    send(ButtonPress, Button1);
    XSync(_xwin.display, False);
    hearEventsNow();
    EXPECT_FALSE(leftButtonHeld());
    EXPECT_TRUE(takeLeftPress(x, y));
    EXPECT_TRUE(leftButtonHeld());
    send(ButtonRelease, Button1);
    XSync(_xwin.display, False);
    hearEventsNow();
    EXPECT_FALSE(leftButtonHeld());
}

// Allegro disables its interrupts around what its handler must not interrupt; the thread makes no
// call meanwhile, and makes the call it owes once they are enabled again.
TEST(EventThread, NoEventReachesAllegroWhileItsInterruptsAreDisabled)
{
    _unix_bg_man->disable_interrupts();
    sendKey(keycodeOfA(), true);
    sleepMs(200); // twenty looks at the connection
    hearEventsNow(); // and one of the frame loop's
    const bool seenWhileDisabled = key[KEY_A] != 0;
    _unix_bg_man->enable_interrupts();
    EXPECT_FALSE(seenWhileDisabled);
    EXPECT_TRUE(waitUntil(5, [] { return key[KEY_A] != 0; }, 1));
    sendKey(keycodeOfA(), false);
    EXPECT_TRUE(waitUntil(5, [] { return key[KEY_A] == 0; }, 1));
}

// A function may take itself off the list from within its call (Allegro's shutdown does, when the
// program ends from the X handler); the thread goes on without it.
TEST(EventThread, AFunctionThatUnregistersItselfInItsCallIsCalledNoMore)
{
    ASSERT_EQ(_unix_bg_man->register_func(removeItself), 0);
    EXPECT_TRUE(waitUntil(5, [] { return selfRemoved.load(); }, 1));
    sleepMs(100); // ten looks
    EXPECT_EQ(selfRemovingCalls, 1);
}

namespace {

// From within its call, a function registers another, disables and enables interrupts, reads
// whether they are disabled, and takes both off the list; the steps done are counted.
std::atomic<int> stepsInCall {0};
std::atomic<int> disabledSeenInCall {-1};

void doNothing(int) {}

void changesTheListInItsCall(int)
{
    const bg_manager& manager = *_unix_bg_man;
    EXPECT_EQ(manager.register_func(doNothing), 0);
    stepsInCall = 1;
    manager.disable_interrupts();
    stepsInCall = 2;
    disabledSeenInCall = manager.interrupts_disabled();
    manager.enable_interrupts();
    stepsInCall = 3;
    manager.unregister_func(doNothing);
    manager.unregister_func(changesTheListInItsCall);
    stepsInCall = 4;
}

} // namespace

// The event thread holds its lock through a call: a deadlock there would hang every later test
// and the program's end too, so the program ends here, failed, instead.
TEST(EventThread, AFunctionMayRegisterDisableAndEnableFromWithinItsCall)
{
    ASSERT_EQ(_unix_bg_man->register_func(changesTheListInItsCall), 0);
    if (!waitUntil(5 * slowness, [] { return stepsInCall == 4; }, 1)) {
        ADD_FAILURE() << "the call deadlocked after step " << stepsInCall;
        std::fflush(stdout);
        _exit(1);
    }
    EXPECT_EQ(disabledSeenInCall, 1);
    EXPECT_EQ(_unix_bg_man->interrupts_disabled(), 0);
}
