// What the window and OpenGL tests share: scratch folders and files, waiting with a deadline, and
// child processes that run with a stand-in for the message box. Allegro and X11 stay out of this
// header: their macros would leak into every test file.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// ---------------------------------------------------------------- files and time

// A fresh empty folder under /tmp, removed when the test program ends.
std::string makeScratchDir();
// Writes bytes to path, making its folder first.
void writeFile(const std::string& path, const std::string& bytes);
// The whole file; empty if there is none.
std::string readFile(const std::string& path);

void sleepMs(int ms);
// Polls done until it holds, for up to seconds; false if it never held.
bool waitUntil(double seconds, const std::function<bool()>& done, int pollMs = 10);

// The sanitizer build runs everything several times slower: deadlines are stretched by this.
#ifdef OUTBREAK_SANITIZE
const double slowness = 3;
#else
const double slowness = 1;
#endif

// ---------------------------------------------------------------- child processes

// What a child process is started with: this program's environment, changed.
class ChildEnvironment {
public:
    ChildEnvironment(); // this program's own
    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);
    // Loads library into the child ahead of every other, those preloaded already included;
    // its path may hold spaces and colons.
    void preload(const std::string& library);
    const std::vector<std::string>& entries() const { return entries_; }

    // Its message boxes stay up, unanswered, instead of being answered at once.
    bool boxesStayUp = false;

private:
    std::vector<std::string> entries_; // NAME=value
};

// Under the sanitizers, Mesa's driver (as the build found it) is never unloaded: LeakSanitizer
// can then name what it keeps until exit, which the suppressions pass over. In this program, from
// before its first OpenGL context on, and in a child, preloaded. Nothing otherwise.
void holdMesaDriver();
void holdMesaDriver(ChildEnvironment& child);

// Whether process pid is there and has not ended (a zombie has).
bool processAlive(pid_t pid);
// A signal mask of process pid, field "SigCgt:" (caught), "SigIgn:" (ignored) or "SigBlk:" (held)
// of /proc/PID/status: a bit for each signal, signal 1 in the lowest.
unsigned long long signalMask(pid_t pid, const std::string& field);
// The names of the threads of process pid.
std::vector<std::string> threadNames(pid_t pid);

// How a child ended: its exit status, or -signal when a signal ended it; this while it runs.
const int stillRunning = -1000;

// A program run as a child process. Its standard output and error go to one file, and the stand-in
// for xmessage (tests/support/xmessage) comes first on its PATH: it records the text of every
// message box the child shows and returns at once, as if OK had been pressed. The child leads a
// process group of its own: a child still running when the object goes is killed with its group,
// and the child is killed as well when this program dies (or the thread that made the object ends).
// A child that cannot be started throws.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& workDir,
        ChildEnvironment environment = ChildEnvironment());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running();
    // Waits for the child to end, for at most seconds; its status, stillRunning if it goes on.
    int waitForExit(double seconds);
    int status();
    // Waits for the child to stop itself (SIGSTOP), for at most seconds; false if it did not.
    bool waitForStop(double seconds);
    void resume();
    void signal(int number); // while it runs
    // Ends the child and its process group.
    void kill();
    // Whether the child has a handler of its own for the signal.
    bool catches(int number);
    // The names of its threads.
    std::vector<std::string> threadNames() const { return ::threadNames(pid_); }

    // What it wrote to standard output and standard error.
    std::string output() const;
    // The text of every message box it showed, in order.
    std::vector<std::string> messages() const;
    // The processes of its message boxes still on screen (with boxesStayUp).
    std::vector<pid_t> messageBoxesOnScreen() const;
    int messageBoxesUp() const { return int(messageBoxesOnScreen().size()); }
    // How it ended, its message boxes and its output, for a test's failure message.
    std::string describe();

private:
    // Reaps the child if it has ended, without waiting; true if it has stopped (with WUNTRACED).
    bool look(int flags);

    std::string scratch_;
    pid_t pid_ = -1;
    bool running_ = false;
    int status_ = stillRunning;
    bool killedByUs_ = false;
};
