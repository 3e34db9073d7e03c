// The game's process against what happens around it: requests to stop (a closing session, Ctrl+C
// in a terminal), crashes, a message box left open, and its X display going away. Allegro's own
// handlers of these shut it down from inside the signal, which can crash or wait for ever on a
// lock held by the code the signal interrupted; the game takes them over.
#pragma once

// Before Allegro starts. A request to stop (SIGTERM, SIGINT, SIGHUP) is noted for the frame loop,
// which ends the game as Escape does. A crash, a failed assertion (SIGABRT) or SIGQUIT ends the
// process at once with that signal. A signal ignored when the game started stays ignored. When
// the X display goes away the game says so in one line on standard error and ends with status 1
// at once, without the shutdown that could hang. Children of the game (a message box) end with it.
void guardProcess();

// Runs Allegro's start-up (allegro_init), which installs handlers of its own, with the signals
// held back; then takes them back and lets through whatever arrived meanwhile.
int startWithSignalsHeld(int (*start)());

// The game's connection to the X server (its socket) and the display's name. A crash once the
// server has closed it is the display going away, and is told as such.
void watchDisplay(int socket, const char* name);

// Whether a request to stop has come, from a signal or the window's close button.
bool stopRequested();
// Safe to call from a signal handler or another thread.
void requestStop();

// While one of these lives, the game waits for a message box: a request to stop ends it at once,
// with the given exit status, and takes the box with it.
class MessageBoxWait {
public:
    explicit MessageBoxWait(int statusIfStopped);
    ~MessageBoxWait();
    MessageBoxWait(const MessageBoxWait&) = delete;
    MessageBoxWait& operator=(const MessageBoxWait&) = delete;
};
