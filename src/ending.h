// How the game's process ends. Every way it can end is decided here; no other module calls exit or
// _exit, they report what happened and this module ends the process as the table says.
//
//  Situation                                        Status       What the player sees
//  ----------------------------------------------   -----------  --------------------------------
//  Escape, a ball past the floor, the close button  0            the window closes: main returns
//    or a request to stop, once the game plays                   and Allegro shuts down as usual
//  A request to stop (SIGTERM, SIGINT, SIGHUP) or   0            the window closes at once
//    the close button while the game starts up,
//    or its window destroyed while kept hidden
//  A request to stop or the close button while a    the box's:   the box and the window close at
//    message box is up                              1 after a    once
//                                                   failure's,
//                                                   0 otherwise
//  No X display                                     1            two lines on standard error:
//                                                                that, and Allegro's words
//  The X display goes away                          1            one line on standard error
//  Too few files, threads or memory for the game    1            its message, before any window
//    (ulimit -n, -u, -v, -d; files left open)
//  A start-up step fails (AllegroGL, the keyboard,  1            its message; then the window
//    the graphics mode, the timer)                               closes at once
//  The hidden window's watch gets no thread or no   plays on     one line on standard error: a
//    second connection to the X server                           hidden window's close button
//                                                                goes unheard
//  No mouse, or a sprite that is no BMP image the   plays on     "Unable to install mouse" or
//    game reads ("Error reading")                                "Error reading", and why; the
//                                                                game goes on once it is
//                                                                answered, with no clicks or
//                                                                with an untextured sprite
//  A sprite cannot be opened (no usable base.dat)   1            "Couldn't open" and why; then
//                                                                the window closes at once
//  A request to stop once a failure is met, even    1            the box and the window close
//    before its box is up
//  A crash, a failed assertion (SIGSEGV, SIGABRT,   killed by    nothing more
//    ...) or Ctrl+\ (SIGQUIT, at its default)       the signal
//  A write past a file-size limit (ulimit -f)       as if none   the write fails, SIGXFSZ ignored
//
// A message box runs in a process of its own, which ends with the game. When xmessage cannot be
// run, that process ends with 127; the text is on standard error already.
#pragma once

// The ways the game fails, from anywhere: each ends the game at once with status 1, without
// Allegro's shutdown, which could wait for ever in the OpenGL driver or on a lock.
enum class Ending {
    noDisplay,     // Allegro found no X display: nothing of Allegro may be called any more
    displayLost,   // the X server closed the game's connection
    failedStartUp, // a start-up step failed, after its message
    unopenedSprite // a sprite could not be opened, after its message
};
[[noreturn]] void endNow(Ending why);

// The exit status of a game played to its end: Escape, a ball past the floor, the close button or
// a request to stop once the game plays. main returns it.
int playedToTheEnd();

// A request to stop: a signal, or the window's close button. Safe to call from a signal handler
// or from another thread (the x-events thread, for the close button). While the game starts up it
// ends the game at once with 0, and while a message box is up with the box's status; once the
// game plays, it is noted for the frame loop, which ends the game as Escape does.
void requestStop();
// A failure that ends the game is met: from now on a request to stop ends it with 1, though its
// message is still being made.
void failureMet();
// Whether a request to stop has come since the game began to play.
bool stopRequested();
// Start-up is over and the frame loop begins.
void startPlaying();

// What a message box on screen reports, which decides the status of a request to stop while it is
// up and after it: a failure that ends the game anyway keeps its status 1, a notice that the game
// plays on from gives 0.
enum class BoxReport { notice, failure };
// A message box is on screen from the construction of this object to its destruction. A request
// to stop that came before the box ends the game at once with the box's status, and no box shows.
class BoxOnScreen {
public:
    explicit BoxOnScreen(BoxReport report);
    ~BoxOnScreen();
    BoxOnScreen(const BoxOnScreen&) = delete;
    BoxOnScreen& operator=(const BoxOnScreen&) = delete;
};

// A crash or a failed assertion, in its signal handler: the process ends at once with that
// signal, as its default action ends it. (SIGQUIT is left at its default action, which does the
// same.)
[[noreturn]] void endByCrash(int signal);

// In a message box's own process, before it runs xmessage: the game has already gone (0), or
// xmessage cannot be run (127). Safe to call after a fork.
enum class BoxProcessEnding { gameGone, programMissing };
[[noreturn]] void endBoxProcess(BoxProcessEnding why);
