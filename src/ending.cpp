#include "ending.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const int played = 0;
const int failed = 1;

std::atomic<bool> stopped(false);
// Until the frame loop begins, a request to stop ends the game at once: it holds nothing to save,
// and start-up can wait a long time on its window (one that the window manager maps hidden).
std::atomic<bool> startingUp(true);
// The exit status for a request to stop while a message box is up; -1 while none is.
std::atomic<int> statusIfStoppedInBox(-1);
// A failure that ends the game has been met: a request to stop from now on keeps its status.
std::atomic<bool> failing(false);

} // namespace

void endNow(Ending why)
{
    // Each of them ends the game with 1, at once: Allegro's shutdown could wait for ever in the
    // OpenGL driver or on a lock, with a black window left on screen. What the game wrote to its
    // standard streams goes out first, but where the display went away, which may be told from
    // inside a signal handler.
    failing = true;
    if (why != Ending::displayLost)
        fflush(nullptr);
    _exit(failed);
}

int playedToTheEnd() { return played; }

void requestStop()
{
    const int status = statusIfStoppedInBox;
    if (failing)
        _exit(failed);
    if (status >= 0)
        _exit(status); // the box goes with the game: its process is tied to ours
    if (startingUp)
        _exit(played);
    stopped = true;
}

bool stopRequested() { return stopped; }

void startPlaying() { startingUp = false; }

void failureMet() { failing = true; }

BoxOnScreen::BoxOnScreen(BoxReport report)
{
    failing = failing || report == BoxReport::failure;
    const int status = failing ? failed : played;
    statusIfStoppedInBox = status;
    if (stopped)
        _exit(status); // asked to stop already: no box
}

BoxOnScreen::~BoxOnScreen() { statusIfStoppedInBox = -1; }

void endByCrash(int signal)
{
    // The handler was reset to the default action on entry, and the signal is not held in it.
    raise(signal);
    _exit(128 + signal); // only if the signal could not end the process
}

void endBoxProcess(BoxProcessEnding why)
{
    switch (why) {
    case BoxProcessEnding::gameGone:
        _exit(played);
    case BoxProcessEnding::programMissing:
        break;
    }
    _exit(127);
}
