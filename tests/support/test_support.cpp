#include "test_support.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// ---------------------------------------------------------------- files and time

namespace {

// The scratch folders of this program, removed as it ends.
struct ScratchFolders {
    std::vector<std::string> made;
    ~ScratchFolders()
    {
        for (const std::string& dir : made) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
};

ScratchFolders scratchFolders;

} // namespace

std::string makeScratchDir()
{
    char pattern[] = "/tmp/outbreak-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    scratchFolders.made.push_back(pattern);
    return pattern;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool waitUntil(double seconds, const std::function<bool()>& done, int pollMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        sleepMs(pollMs);
    }
}

// ---------------------------------------------------------------- child processes

bool processAlive(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t state = stat.rfind(')');
    return state != std::string::npos && stat.compare(state, 3, ") Z") != 0;
}

unsigned long long signalMask(pid_t pid, const std::string& field)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stoull(line.substr(field.size()), nullptr, 16);
    return 0;
}

std::vector<std::string> threadNames(pid_t pid)
{
    std::vector<std::string> names;
    std::error_code error;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name))
            names.push_back(name);
    }
    return names;
}

ChildEnvironment::ChildEnvironment()
{
    for (char** e = environ; *e; ++e)
        entries_.push_back(*e);
}

void ChildEnvironment::set(const std::string& name, const std::string& value)
{
    unset(name);
    entries_.push_back(name + "=" + value);
}

void ChildEnvironment::unset(const std::string& name)
{
    for (auto e = entries_.begin(); e != entries_.end();)
        e = e->rfind(name + "=", 0) == 0 ? entries_.erase(e) : std::next(e);
}

void ChildEnvironment::preload(const std::string& library)
{
    // The loader splits LD_PRELOAD at spaces and colons, and no quoting escapes them: a library
    // whose path has one is preloaded through a link to it from a scratch folder without.
    std::string preloads = library;
    if (library.find_first_of(" :") != std::string::npos) {
        static const std::string links = makeScratchDir();
        static int made = 0;
        preloads = links + "/" + std::to_string(++made) + ".so";
        if (symlink(library.c_str(), preloads.c_str()) != 0)
            throw std::runtime_error("cannot link " + preloads + " to " + library);
    }
    for (const std::string& e : entries_)
        if (e.rfind("LD_PRELOAD=", 0) == 0)
            preloads += " " + e.substr(11);
    set("LD_PRELOAD", preloads);
}

namespace {

std::vector<std::string> mesaDrivers()
{
    std::vector<std::string> drivers;
#ifdef OUTBREAK_SANITIZE
    std::istringstream list(OUTBREAK_MESA_DRIVERS);
    for (std::string driver; std::getline(list, driver, ':');)
        drivers.push_back(driver);
#endif
    return drivers;
}

} // namespace

void holdMesaDriver()
{
    for (const std::string& driver : mesaDrivers())
        if (!dlopen(driver.c_str(), RTLD_LAZY | RTLD_NODELETE))
            throw std::runtime_error("cannot load " + driver + ": " + dlerror());
}

void holdMesaDriver(ChildEnvironment& child)
{
    for (const std::string& driver : mesaDrivers())
        child.preload(driver);
}

ChildProcess::ChildProcess(
    const std::vector<std::string>& argv, const std::string& workDir, ChildEnvironment environment)
    : scratch_(makeScratchDir())
{
    // The stand-in xmessage, alone in a folder first on the child's PATH, keeps its boxes here.
    const std::string bin = scratch_ + "/bin";
    std::filesystem::create_directories(bin);
    std::filesystem::create_symlink(STAND_IN_XMESSAGE, bin + "/xmessage");
    const char* path = getenv("PATH");
    environment.set("PATH", bin + ":" + (path ? path : "/usr/bin:/bin"));
    environment.set("XMESSAGE_LOG", scratch_ + "/messages.log");
    if (environment.boxesStayUp)
        environment.set("XMESSAGE_STAYS_UP", scratch_ + "/boxes");

    // The child is tied to this program: it leads a process group of its own, which kill() ends
    // with whatever the child started, and setpriv has it killed when the thread that started it
    // ends, so that no game outlives a test program that crashed or was killed.
    std::vector<std::string> command {"/usr/bin/setpriv", "--pdeathsig", "KILL", "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> args, envp;
    for (const std::string& a : command)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment.entries())
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    posix_spawn_file_actions_addopen(
        &actions, 1, (scratch_ + "/output.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Nothing else that the test's own starter left open: the child's count of files is its own.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // The signal handlers and masks of this process (Allegro's, in the OpenGL tests) are not the
    // child's business.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    running_ = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), envp.data()) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (!running_)
        throw std::runtime_error("cannot start " + argv.at(0));
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::look(int flags)
{
    int waitStatus = 0;
    if (!running_ || waitpid(pid_, &waitStatus, WNOHANG | flags) != pid_)
        return false;
    if (WIFSTOPPED(waitStatus))
        return true;
    running_ = false;
    status_ = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -WTERMSIG(waitStatus);
    return false;
}

bool ChildProcess::running()
{
    look(0);
    return running_;
}

int ChildProcess::waitForExit(double seconds)
{
    waitUntil(
        seconds, [&] { return !running(); }, 5);
    return status_;
}

int ChildProcess::status()
{
    look(0);
    return status_;
}

bool ChildProcess::waitForStop(double seconds)
{
    bool stopped = false;
    waitUntil(
        seconds, [&] { return (stopped = look(WUNTRACED)) || !running_; }, 1);
    return stopped;
}

void ChildProcess::resume() { signal(SIGCONT); }

void ChildProcess::signal(int number)
{
    if (running())
        ::kill(pid_, number);
}

void ChildProcess::kill()
{
    if (!running())
        return;
    ::kill(-pid_, SIGKILL);
    waitForExit(10);
    killedByUs_ = true;
}

bool ChildProcess::catches(int number) { return (signalMask(pid_, "SigCgt:") >> (number - 1)) & 1; }

std::string ChildProcess::output() const { return readFile(scratch_ + "/output.log"); }

std::vector<std::string> ChildProcess::messages() const
{
    std::vector<std::string> texts;
    std::istringstream records(readFile(scratch_ + "/messages.log"));
    std::string text;
    while (std::getline(records, text, '\036'))
        texts.push_back(text);
    return texts;
}

std::vector<pid_t> ChildProcess::messageBoxesOnScreen() const
{
    std::vector<pid_t> up;
    std::istringstream pids(readFile(scratch_ + "/boxes"));
    for (pid_t pid; pids >> pid;)
        if (processAlive(pid))
            up.push_back(pid);
    return up;
}

std::string ChildProcess::describe()
{
    std::ostringstream out;
    const int now = status();
    if (now == stillRunning)
        out << "still running";
    else if (killedByUs_)
        out << "killed by the test";
    else if (now >= 0)
        out << "exit status " << now;
    else
        out << "ended by signal " << -now << " (" << strsignal(-now) << ")";
    const std::vector<std::string> boxes = messages();
    out << "; " << boxes.size() << " message box(es)";
    for (const std::string& text : boxes)
        out << " [" << text << "]";
    out << "; output:\n" << output();
    return out.str();
}
