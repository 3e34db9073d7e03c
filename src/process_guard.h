// The game's process against what happens around it: requests to stop (a closing session, Ctrl+C
// in a terminal), crashes, closed standard streams, and its X display going away. Allegro's own
// handlers of these shut it down from inside the signal, which can crash or wait for ever on a
// lock held by the code the signal interrupted; the game takes them over, and the ending module
// decides what each leads to.
#pragma once

// First thing in the game's process, before any library's start-up code. Standard input, output
// and error that were closed at start are opened on /dev/null, so that no file or connection the
// game opens later (its X connection) takes their place. A request to stop (SIGTERM, SIGINT,
// SIGHUP) goes to requestStop(). A crash, a failed assertion (SIGABRT) or SIGQUIT ends the
// process at once with that signal. A signal ignored when the game started stays ignored, but
// SIGCHLD, which the game's message boxes need; none of those signals stays held, whatever the
// parent held. A write past a file-size limit fails rather than kill the game (SIGXFSZ is
// ignored). When the X display goes away the game says so in one line on standard error (the
// display's name escaped for a terminal) and ends at once.
void guardProcess();

// Runs Allegro's start-up (allegro_init), which installs handlers of its own, with the signals
// held back; then takes them back and lets through whatever arrived meanwhile.
int startWithSignalsHeld(int (*start)());

// The game's connection to the X server (its socket) and the display's name. A crash once the
// server has closed it is the display going away, and is told as such.
void watchDisplay(int socket, const char* name);
