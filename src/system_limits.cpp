#include "system_limits.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Files the game opens besides those it was started with (the standard streams, and whatever its
// launcher left open): two connections to the X server, the OpenGL driver's devices and a message
// box's pipes, with room to spare. With too few, the OpenGL driver fails to start and AllegroGL
// crashes on the version string it never got.
const unsigned long filesNeeded = 13;
// Threads running at once: the main thread, the x-events thread (event_thread.h) and Allegro's
// timer.
const long threadsNeeded = 3;
// The hidden window's watch runs beside them while the window opens.
const long watchThreads = 1;
// Address space, with the C library's memory in two arenas (main.cpp): the game maps some 350 MB
// with the software OpenGL driver drawing on the game's own thread, and 16 MB more for each
// drawing thread of the driver's (measured with none, 2, 16 and 32 of them). Short of it, the
// driver crashes as it compiles its first shader.
const unsigned long long memoryNeeded = 400ull << 20;
const unsigned long long memoryPerDrawingThread = 20ull << 20;

void raiseSoftLimit(int resource)
{
    rlimit limit;
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(resource, &limit);
    }
}

// The soft limit, or ~0 where there is none.
unsigned long long softLimit(int resource)
{
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return ~0ull;
    return limit.rlim_cur;
}

// Files the game has open below the limit, whoever opened them: a launcher may leave its own open.
// A file open above the limit takes no place that the game could open one in.
unsigned long filesOpen(unsigned long limit)
{
    unsigned long open = 0;
    if (DIR* const folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder)) {
            char* end;
            const unsigned long fd = strtoul(entry->d_name, &end, 10);
            open += isdigit(entry->d_name[0]) && !*end && fd < limit && long(fd) != dirfd(folder);
        }
        closedir(folder);
        return open;
    }
    for (unsigned long fd = 0; fd < limit && fd < 65536; ++fd)
        open += fcntl(int(fd), F_GETFD) >= 0;
    return open;
}

__attribute__((format(printf, 1, 2))) std::string said(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// The threads the system lets the game run at once, counting its own, up to wanted: as many as
// can be started, each waiting until the count is done. The limit of processes (ulimit -u) counts
// every thread of the player's, in every program.
long threadsAllowed(long wanted)
{
    sem_t counted;
    sem_init(&counted, 0, 0);
    pthread_attr_t small;
    pthread_attr_init(&small);
    pthread_attr_setstacksize(&small, 64 << 10);
    std::vector<pthread_t> started;
    for (long i = 1; i < wanted; ++i) {
        pthread_t thread;
        if (pthread_create(
                &thread, &small,
                [](void* done) -> void* {
                    while (sem_wait(static_cast<sem_t*>(done)) != 0 && errno == EINTR) {}
                    return nullptr;
                },
                &counted)
            != 0)
            break;
        started.push_back(thread);
    }
    for (size_t i = 0; i < started.size(); ++i)
        sem_post(&counted);
    for (pthread_t thread : started)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&small);
    sem_destroy(&counted);
    return long(started.size()) + 1;
}

} // namespace

std::string whatTheSystemLacks()
{
    for (int resource : {RLIMIT_NOFILE, RLIMIT_NPROC, RLIMIT_AS, RLIMIT_DATA})
        raiseSoftLimit(resource);

    const unsigned long files = std::min<unsigned long long>(softLimit(RLIMIT_NOFILE), ~0ul);
    const unsigned long open = filesOpen(files);
    if (files < open + filesNeeded) {
        return said("Outbreak needs to open %lu files, but may open only %lu more: %lu are open"
                    " already, left by the program that started it.\n"
                    "Raise the limit (ulimit -n, now %lu) and start it again.\n",
            filesNeeded, files - open, open, files);
    }

    const unsigned long long memory = std::min(softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA));
    if (memory < memoryNeeded)
        return said("Outbreak needs %llu MB of memory, but may have only %llu MB.\n"
                    "Raise the limit (ulimit -v, ulimit -d) and start it again.\n",
            memoryNeeded >> 20, memory >> 20);

    // Mesa's software driver draws with one thread a processor, or as many as LP_NUM_THREADS
    // says; it waits for ever for those it could not start, and crashes where they leave it too
    // little memory. One thread of its own draws the game's frame in a few milliseconds, beside
    // the game's thread; more share each frame's few pixels and meet twice a frame to do so, which
    // woke the idle game some 250 times a second more with two, and more again in some runs.
    // Unless the player asks for another number, the driver draws with one; and it is told how
    // many it may have, none meaning that it draws on the game's own thread, and where the player
    // asked for more, standard error says so.
    const char* const asked = getenv("LP_NUM_THREADS");
    char* end = nullptr;
    const long askedThreads = asked ? strtol(asked, &end, 10) : -1;
    const bool chosen = asked && *asked && !*end && askedThreads >= 0;
    const long drawing = chosen ? askedThreads : 1;
    const long wanted = threadsNeeded + watchThreads + drawing;
    const long allowed = threadsAllowed(wanted);
    if (allowed < threadsNeeded)
        return said("Outbreak needs to run %ld threads at once, but the system lets it run only"
                    " %ld.\nRaise the limit of processes (ulimit -u) and start it again.\n",
            threadsNeeded, allowed);
    const long room = std::min<unsigned long long>(
        (memory - memoryNeeded) / memoryPerDrawingThread, ~0ul >> 1);
    const long drawingAllowed
        = std::min({drawing, std::max(0L, allowed - threadsNeeded - watchThreads), room});
    if (drawingAllowed < drawing || !chosen)
        setenv("LP_NUM_THREADS", std::to_string(drawingAllowed).c_str(), 1);
    if (drawingAllowed < drawing && chosen)
        fprintf(stderr,
            "Outbreak: the OpenGL driver draws with %ld threads of its own, not the %ld that"
            " LP_NUM_THREADS asks for: the system's limits (ulimit -u, -v, -d) leave room for"
            " no more.\n",
            drawingAllowed, drawing);
    return "";
}
