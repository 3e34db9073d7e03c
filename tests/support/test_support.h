// What the window and OpenGL tests share: scratch folders and files, waiting with a deadline, and
// child processes that run with a stand-in for the message box. Allegro and X11
// stay out of this header: their macros would leak into every test file.
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

private:
    std::vector<std::string> entries_; // NAME=value
};

// A program run as a child process. Its standard output and error go to one file, and the stand-in
// for xmessage (tests/support/xmessage) comes first on its PATH: it records the text of every
// message box the child shows and returns at once, as if OK had been pressed (or, with
// XMESSAGE_STAYS_UP set to a file in the child's environment, notes its process id there and
// stays up). The child leads a process group
// of its own: a child still running when the object goes is killed with its group, and the child
// is killed as well when this program dies (or the thread that made the object ends).
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& workDir,
        ChildEnvironment environment = ChildEnvironment());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    bool running();
    // Waits for the child to end, for at most seconds; false if it still runs.
    bool waitForExit(double seconds);
    // Waits for the child to stop itself (SIGSTOP), for at most seconds; false if it did not.
    bool waitForStop(double seconds);
    void resume();
    void signal(int number); // while it runs
    // Ends the child and its process group.
    void kill();

    // How it ended, once it has.
    bool exited() const { return exited_; }         // by exit or a return from main
    int exitStatus() const { return exitStatus_; }  // meaningful when exited
    int signal() const { return signal_; }          // or killed by this signal
    bool killedByUs() const { return killedByUs_; } // still running at a deadline of ours
    // The exit status, -signal if it died of a signal, or -1000 while it still runs.
    int status();

    // What it wrote to standard output and standard error.
    std::string output() const;
    // The text of every message box it showed, in order.
    std::vector<std::string> messages() const;

private:
    void reap(int waitStatus);

    std::string scratch_;
    pid_t pid_ = -1;
    bool ended_ = false;
    bool exited_ = false;
    int exitStatus_ = -1;
    int signal_ = 0;
    bool killedByUs_ = false;
};
