// The thread that hears the game's X connection: Allegro's background work on Unix, which is the
// handling of the window's X events (the mouse and the keyboard, the close button, exposure, the
// display going away). Allegro's own thread for it wakes every millisecond to see whether its
// next call, every 10 ms, is due, and each call asks the X server a question and waits for the
// answer: a thousand wakeups a second that keep a laptop's processor out of its deeper sleep
// states, whatever the game draws.
//
// This one sleeps on a clock until its next look is due, every 10 ms as Allegro has it, and then
// only looks whether events came: read off the connection now, or already by another thread (the
// OpenGL driver's requests read whatever came before their answers). Allegro's handler runs only
// when some came, so an idle game's thread wakes 100 times a second and asks the server nothing;
// input reaches the game within 10 ms, as before. It does not wait on the connection itself: the
// answers to the OpenGL driver's requests (two a frame in software) would wake it as often.
// Any function registered beside the X handler (a sound driver's; the game has none) is called at
// every look, as Allegro calls it. The thread keeps Allegro's contract: no call while interrupts
// are disabled (DISABLE, ENABLE) and a disabling waits for a call in progress, every signal
// blocked, and a function may be unregistered from within a call.
#pragma once

// Before allegro_init: the thread above takes the place of Allegro's own background thread. Its
// failure to start is Allegro's failure to start.
void useEventThread();

// Whether Allegro runs its background work on the thread above: after allegro_init, true once
// useEventThread() was called before it.
bool eventThreadInUse();
