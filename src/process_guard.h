// The game's process against what happens around it: requests to stop (a closing session, Ctrl+C
// in a terminal), crashes, a message box left open, and its X display going away. Allegro's own
// handlers of these shut it down from inside the signal, which can crash or wait for ever on a
// lock held by the code the signal interrupted; the game takes them over.
#pragma once

// First thing in the game's process, before any library's start-up code. Standard input, output
// and error that were closed at start are opened on /dev/null, so that no file or connection the
// game opens later (its X connection) takes their place. A request to stop (SIGTERM, SIGINT,
// SIGHUP) or the window's close button ends the game at once with status 0 while it starts up,
// and from startPlaying() on it is noted for the frame loop, which ends the game as Escape does. A
// crash, a failed assertion (SIGABRT) or SIGQUIT ends the process at once with that signal. A
// signal ignored when the game started stays ignored. When the X display goes away the game says
// so in one line on standard error and ends with status 1 at once, without the shutdown that
// could hang.
void guardProcess();

// Start-up is over and the frame loop begins: from now on a request to stop ends the game through
// the frame loop.
void startPlaying();

// Runs Allegro's start-up (allegro_init), which installs handlers of its own, with the signals
// held back; then takes them back and lets through whatever arrived meanwhile.
int startWithSignalsHeld(int (*start)());

// The game's connection to the X server (its socket) and the display's name. A crash once the
// server has closed it is the display going away, and is told as such.
void watchDisplay(int socket, const char* name);

// Whether a request to stop has come, from a signal or the window's close button.
bool stopRequested();
// A request to stop. Safe to call from a signal handler or another thread (Allegro's, for the
// close button).
void requestStop();

// Runs a message box's program (argv[0] found on PATH, with the environment given) and waits for it to end. The box's process
// starts with every signal at its default action and none held, whatever the game inherited or
// ignores, and ends when the game does. A request to stop while it is up ends the game at once,
// with statusIfStopped, and the box with it. Returns the box's wait status, or -1 if it could not
// be started.
int runMessageBox(char* const argv[], char* const environment[], int statusIfStopped);
