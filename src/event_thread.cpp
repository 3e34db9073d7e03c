#include "event_thread.h"

#include "monotonic_clock.h"

#include <allegro.h>
#include <allegro/platform/aintunix.h>
#include <xalleg.h>

#include <X11/Xlib.h>
#include <csignal>
#include <pthread.h>

namespace {

// Allegro's cadence: the connection is looked at every 10 ms, and the functions are called when
// something came on it (or always, for a function beside the X handler).
const long periodNs = 10'000'000;
// While the frame loop looks at the start of every frame, the thread only stands in for it when
// frames stop coming: a look at the latest this long after the last one.
const long standInNs = 100'000'000;
// As many functions as Allegro's own manager takes.
const int maxFunctions = 16;

// Everything below is guarded by the mutex; a call of the registered functions holds it too, so
// that disabling interrupts waits for a call in progress, as Allegro's own manager does. The
// mutex and the condition need no destruction: the thread may outlive static destructors when
// the game ends without Allegro's shutdown.
pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t changed = PTHREAD_COND_INITIALIZER; // interrupts enabled, a function added, exit
bg_func functions[maxFunctions];
int functionCount = 0; // highest used slot + 1
bg_func xHandler = nullptr; // Allegro's X event handler, while it is registered
int disabledDepth = 0; // DISABLE() without its ENABLE() yet
bool running = false;
pthread_t thread;
timespec lastLook {};      // by either
timespec lastFrameLook {}; // by the frame loop
thread_local bool inCall = false; // this thread is calling the functions

// The mutex held for its scope: taken, unless this thread is in a call of the functions, for
// which it holds it already (the X handler, or a driver's function, may register, unregister,
// disable and enable from within its call, as Allegro allows).
class Held {
public:
    Held() : takes_(!inCall)
    {
        if (takes_)
            pthread_mutex_lock(&mutex);
    }
    ~Held()
    {
        if (takes_)
            pthread_mutex_unlock(&mutex);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    const bool takes_;
};

int registeredCount()
{
    int count = 0;
    for (int i = 0; i < functionCount; ++i)
        count += functions[i] != nullptr;
    return count;
}

// With the mutex held and interrupts enabled: whatever came on the connection, read now or by
// another thread before, is in Xlib's queue after this, and the functions are called if some
// came. A connection that the server closed ends the game from here. Allegro unregisters its
// handler before it closes the display.
void look()
{
    const bool eventsCame = xHandler && XEventsQueued(_xwin.display, QueuedAfterReading) > 0;
    if (eventsCame || registeredCount() > (xHandler ? 1 : 0)) {
        inCall = true;
        for (int i = 0; i < functionCount; ++i)
            if (functions[i])
                functions[i](1);
        inCall = false;
    }
    lastLook = monotonicNow();
}

void* hear(void*)
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), "x-events");

    pthread_mutex_lock(&mutex);
    lastLook = monotonicNow();
    while (running) {
        if (registeredCount() == 0) {
            pthread_cond_wait(&changed, &mutex);
            lastLook = monotonicNow();
            continue;
        }
        // The next look is due 10 ms after the last one, the frame loop's included; while the
        // frame loop looks, the thread wakes only to see that it still does. Looks that came late
        // (a busy machine, interrupts long disabled, a suspend) are not made up: one look sees
        // everything that came meanwhile.
        const timespec current = monotonicNow();
        const bool frameLoopLooks = earlier(current, laterBy(lastFrameLook, standInNs));
        const timespec due = laterBy(lastLook, frameLoopLooks ? standInNs : periodNs);
        if (earlier(current, due)) {
            pthread_cond_clockwait(&changed, &mutex, CLOCK_MONOTONIC, &due);
            continue;
        }
        while (running && disabledDepth > 0)
            pthread_cond_wait(&changed, &mutex);
        if (running)
            look();
    }
    pthread_mutex_unlock(&mutex);
    return nullptr;
}

int start()
{
    pthread_mutex_lock(&mutex);
    for (bg_func& f : functions)
        f = nullptr;
    functionCount = 0;
    xHandler = nullptr;
    disabledDepth = 0;
    running = true;
    pthread_mutex_unlock(&mutex);
    if (pthread_create(&thread, nullptr, hear, nullptr) != 0) {
        running = false;
        return -1;
    }
    return 0;
}

void stop()
{
    // From a call of the functions (the program ending from the X handler), the caller holds the
    // mutex already; the thread ends when it next wakes.
    if (inCall) {
        running = false;
        pthread_cond_broadcast(&changed);
        return;
    }
    pthread_mutex_lock(&mutex);
    const bool wasRunning = running;
    running = false;
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&mutex);
    if (wasRunning)
        pthread_join(thread, nullptr);
}

void disable()
{
    const Held held;
    ++disabledDepth;
}

void enable()
{
    const Held held;
    if (--disabledDepth == 0)
        pthread_cond_broadcast(&changed);
}

int disabled()
{
    const Held held;
    return disabledDepth;
}

int add(bg_func f)
{
    const Held held;
    int slot = 0;
    while (slot < maxFunctions && functions[slot])
        ++slot;
    if (slot < maxFunctions) {
        // Allegro's X port registers its event handler as it starts, once its display is open,
        // before anything else.
        if (!xHandler && registeredCount() == 0 && _xwin.display)
            xHandler = f;
        functions[slot] = f;
        if (slot == functionCount)
            ++functionCount;
        pthread_cond_broadcast(&changed);
    }
    return slot < maxFunctions ? 0 : -1;
}

int remove(bg_func f)
{
    // From a call of the functions too: the X handler ends the program on its close button, as
    // Allegro's default does, and Allegro's shutdown unregisters it.
    const Held held;
    int slot = 0;
    while (slot < functionCount && functions[slot] != f)
        ++slot;
    if (slot == functionCount)
        return -1;
    functions[slot] = nullptr;
    if (f == xHandler)
        xHandler = nullptr;
    while (functionCount > 0 && !functions[functionCount - 1])
        --functionCount;
    return 0;
}

} // namespace

void useEventThread()
{
    XInitThreads(); // whatever Allegro's configuration says; a second call does nothing
    // Allegro's X port starts its background work through this table, the one for threads, by
    // pointer: a table of the same shape with these functions takes its place.
    _bg_man_pthreads = bg_manager {1, start, stop, add, remove, enable, disable, disabled};
}

void hearEventsNow()
{
    pthread_mutex_lock(&mutex);
    if (running && disabledDepth == 0 && registeredCount() > 0) {
        look();
        lastFrameLook = lastLook;
    }
    pthread_mutex_unlock(&mutex);
}

bool eventThreadInUse() { return _unix_bg_man && _unix_bg_man->init == start; }
