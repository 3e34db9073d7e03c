#include "process_guard.h"

#include "box_text.h"
#include "ending.h"

#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// Signals that ask a program to stop: a closing session, Ctrl+C, a closed terminal.
const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Ctrl+\ keeps its default action, which ends the process at once with a core dump, even where
// the frame loop no longer runs.
const int quitSignal = SIGQUIT;
// Crashes and failed assertions, which Allegro's start-up catches too (but SIGBUS).
const int faultSignals[] = {SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGBUS};

sigset_t ignoredAtStart;
// The connection to the X server, once Allegro has made it, and the display's name.
int displaySocket = -1;
char displayName[128] = "";

[[noreturn]] void sayDisplayGone()
{
    char line[256] = "Outbreak: the X display ";
    strncat(line, displayName, sizeof line - strlen(line) - 1);
    strncat(line, " went away; the game ends.\n", sizeof line - strlen(line) - 1);
    const ssize_t ignored = write(STDERR_FILENO, line, strlen(line));
    (void)ignored;
    endNow(Ending::displayLost);
}

// Whether the X server has closed the game's connection.
bool displayGone()
{
    if (displaySocket < 0)
        return false;
    pollfd socket = {displaySocket, POLLRDHUP, 0};
    return poll(&socket, 1, 0) > 0 && (socket.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// The signals the game takes over: the requests to stop, SIGQUIT and the crashes.
sigset_t gameSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : stopSignals)
        sigaddset(&signals, signal);
    sigaddset(&signals, quitSignal);
    for (int signal : faultSignals)
        sigaddset(&signals, signal);
    return signals;
}

void onStopSignal(int) { requestStop(); }

// Where a signal was ignored when the game started (nohup, a script's background job), it stays
// ignored.
void setDisposition(int signal, void (*handler)(int), int flags = 0)
{
    struct sigaction action = {};
    action.sa_handler = sigismember(&ignoredAtStart, signal) ? SIG_IGN : handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | flags;
    sigaction(signal, &action, nullptr);
}

// A crash. Where the X server has gone, it is what the crash comes from (the OpenGL driver reads
// the replies that never came), and the game says so. Otherwise the signal's default action ends
// the process, at once and with the signal.
void onFault(int signal)
{
    if (displayGone())
        sayDisplayGone();
    endByCrash(signal);
}

void takeSignals()
{
    for (int signal : stopSignals)
        setDisposition(signal, onStopSignal);
    setDisposition(quitSignal, SIG_DFL);
    for (int signal : faultSignals)
        setDisposition(signal, onFault, SA_RESETHAND | SA_NODEFER);
}

// Xlib calls this once the connection to the X server is lost, on whichever thread met it: the
// main thread, or the x-events thread (event_thread.h) with its lock and Allegro's held. Xlib's
// own handler would exit(), and the exit handlers' shutdown of Allegro can wait for ever on those
// locks; the game ends here instead.
int onDisplayGone(Display* display)
{
    if (!displayName[0] && display && DisplayString(display))
        strncat(displayName, escapedForTerminal(DisplayString(display)).c_str(),
            sizeof displayName - 1);
    sayDisplayGone();
}

// A program started with standard input, output or error closed would give that number to the next
// file or socket it opens: its X connection could become a message box's standard error, or take
// the text meant for standard output.
void openClosedStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

} // namespace

void guardProcess()
{
    openClosedStandardStreams();
    sigemptyset(&ignoredAtStart);
    auto noteIfIgnored = [](int signal) {
        struct sigaction old = {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            sigaddset(&ignoredAtStart, signal);
    };
    for (int signal : stopSignals)
        noteIfIgnored(signal);
    noteIfIgnored(quitSignal);
    for (int signal : faultSignals)
        noteIfIgnored(signal);
    takeSignals();
    // A mask goes through exec: a parent that held a stop signal back would leave the game deaf
    // to it, and one that held a crash's would turn the crash into a hang or a death without a
    // word. What was ignored stays ignored; nothing the game handles is held.
    sigset_t handled = gameSignals();
    sigaddset(&handled, SIGCHLD);
    sigprocmask(SIG_UNBLOCK, &handled, nullptr);
    // Under a file-size limit (ulimit -f), a write past it would kill the game with SIGXFSZ; it
    // fails instead, as a write to a full disk does, and the game ends as it would have.
    signal(SIGXFSZ, SIG_IGN);
    // A lost X connection can also show as a write to a closed socket: let Xlib see it as the
    // error it is rather than be killed by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    // Started by a parent that ignores SIGCHLD, the game's children (its message boxes) would be
    // reaped by the system, and the game could not learn how they ended.
    signal(SIGCHLD, SIG_DFL);
    XSetIOErrorHandler(onDisplayGone);
}

int startWithSignalsHeld(int (*start)())
{
    // Held back in the threads that Allegro starts meanwhile too: they inherit the mask.
    const sigset_t held = gameSignals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &held, &before);
    const int result = start();
    takeSignals();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return result;
}

void watchDisplay(int socket, const char* name)
{
    displaySocket = socket;
    displayName[0] = '\0';
    strncat(displayName, escapedForTerminal(name ? name : "").c_str(), sizeof displayName - 1);
}
