// The game's threads, and who may call what where:
//  - the main thread: start-up, the frame loop, and everything of Allegro, AllegroGL and OpenGL
//    (its context is current there). A message box is opened only from it: the box's process
//    dies with the thread that forked it (its parent-death signal), and this one lasts as long
//    as the game.
//  - "x-events", below: runs Allegro's X handler and any other registered function, nothing
//    else (the frame loop's look runs them on the main thread too). From them the close button
//    calls requestStop, the mouse and the keyboard note their presses (player_input.h), and a
//    lost connection ends the game (the handler of Xlib's I/O errors, on whichever thread met
//    it); they open no box and call no OpenGL.
//  - Allegro's timer thread: calls the game's tick, which only counts and posts a semaphore.
//  - the hidden window's watch, while the window opens: calls Xlib on its own connection alone.
//  - the OpenGL driver's own threads (Mesa's software driver draws on LP_NUM_THREADS): no code
//    of the game runs there.
// Locks, always taken in this order: the event mutex (held through every look and every call of
// the registered functions, taken briefly by DISABLE, ENABLE and a registering), then Allegro's
// X lock (XLOCK, which its X handler takes within its call), then Xlib's lock of the display
// (within every Xlib call). So nothing may disable interrupts, register a function or look while
// holding the X lock; from within a call, all three may be done. Below them all, the lock of the
// noted presses (player_input.cpp) is taken last, and nothing is taken within it.
// Xlib's lock exists only after XInitThreads: Allegro's X system driver calls it in allegro_init
// before it opens its display, unless its configuration says "XInitThreads = 0" in [system]; so
// useEventThread calls it too, first, and a player's allegro.cfg cannot take it away.
//
// The thread that hears the game's X connection: Allegro's background work on Unix, which is the
// handling of the window's X events (the mouse and the keyboard, the close button, exposure, the
// display going away). Allegro's own thread for it wakes every millisecond to see whether its
// next call, every 10 ms, is due, and each call asks the X server a question and waits for the
// answer: a thousand wakeups a second that keep a laptop's processor out of its deeper sleep
// states, whatever the game draws.
//
// Here the frame loop looks at the connection itself as each frame starts (hearEventsNow), so that
// a click or a key that came meanwhile reaches the frame about to run, and an idle game's main
// thread wakes for nothing else than its tick. Allegro's handler runs only when events came: read
// off the connection now, or already by another thread (the OpenGL driver's requests read
// whatever came before their answers); a look asks the server nothing.
// The thread stands in for the frame loop: it looks every 10 ms, as Allegro has it, before the
// frames start, after they end, and whenever no frame has looked for a tenth of a second (a frame
// that runs long); while frames come, it wakes ten times a second to see that they do. It does
// not wait on the connection itself: the answers to the OpenGL driver's requests (two a frame in
// software) would wake it as often.
// Any function registered beside the X handler (a sound driver's; the game has none) is called at
// every look, as Allegro calls it. The looks keep Allegro's contract: no call while interrupts
// are disabled (DISABLE, ENABLE) and a disabling waits for a call in progress, the thread's every
// signal blocked, and a function may unregister itself, or end the program, from within a call.
#pragma once

// Before allegro_init and any connection to the X server: the thread above takes the place of
// Allegro's own background thread. Its failure to start is Allegro's failure to start.
void useEventThread();

// From the frame loop, as a frame starts: the look above, unless interrupts are disabled. Does
// nothing before useEventThread's thread runs.
void hearEventsNow();

// Whether Allegro runs its background work on the thread above: after allegro_init, true once
// useEventThread() was called before it.
bool eventThreadInUse();
