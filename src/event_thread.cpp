#include "event_thread.h"

#include <allegro.h>
#include <allegro/platform/aintunix.h>
#include <xalleg.h>

#include <X11/Xlib.h>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace {

// Allegro's cadence: the connection is looked at every 10 ms, and the functions are called when
// something came on it (or always, for a function beside the X handler).
const long periodMs = 10;
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

int registeredCount()
{
    int count = 0;
    for (int i = 0; i < functionCount; ++i)
        count += functions[i] != nullptr;
    return count;
}

// With the mutex held and interrupts enabled.
void callFunctions()
{
    for (int i = 0; i < functionCount; ++i)
        if (functions[i])
            functions[i](1);
}

void* hear(void*)
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), "x-events");

    timespec due;
    clock_gettime(CLOCK_MONOTONIC, &due);
    pthread_mutex_lock(&mutex);
    while (running) {
        if (registeredCount() == 0) {
            pthread_cond_wait(&changed, &mutex);
            clock_gettime(CLOCK_MONOTONIC, &due);
            continue;
        }
        due.tv_nsec += periodMs * 1'000'000;
        due.tv_sec += due.tv_nsec / 1'000'000'000;
        due.tv_nsec %= 1'000'000'000;
        while (running && pthread_cond_clockwait(&changed, &mutex, CLOCK_MONOTONIC, &due) == 0) {
        }
        while (running && disabledDepth > 0)
            pthread_cond_wait(&changed, &mutex);
        if (!running)
            break;
        // Whatever came on the connection, read now or by another thread before, is in Xlib's
        // queue after this; a connection that the server closed ends the game from here.
        // Allegro unregisters its handler before it closes the display.
        const bool eventsCame = xHandler && XEventsQueued(_xwin.display, QueuedAfterReading) > 0;
        if (eventsCame || registeredCount() > (xHandler ? 1 : 0))
            callFunctions();
        // Looks that came late (a busy machine, interrupts long disabled, a suspend) are not made
        // up: one look sees everything that came meanwhile.
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > due.tv_sec || (now.tv_sec == due.tv_sec && now.tv_nsec > due.tv_nsec))
            due = now;
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
    // From a call of the functions (the program ending from the X handler), the thread holds the
    // mutex already and ends when the call returns.
    if (running && pthread_equal(pthread_self(), thread)) {
        running = false;
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
    pthread_mutex_lock(&mutex);
    ++disabledDepth;
    pthread_mutex_unlock(&mutex);
}

void enable()
{
    pthread_mutex_lock(&mutex);
    if (--disabledDepth == 0)
        pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&mutex);
}

int disabled() { return disabledDepth; }

int add(bg_func f)
{
    pthread_mutex_lock(&mutex);
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
    pthread_mutex_unlock(&mutex);
    return slot < maxFunctions ? 0 : -1;
}

int removeHeld(bg_func f)
{
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

int remove(bg_func f)
{
    // From a call of the functions (the X handler ending the program on its close button, as
    // Allegro's default does), the thread holds the mutex already.
    if (running && pthread_equal(pthread_self(), thread))
        return removeHeld(f);
    pthread_mutex_lock(&mutex);
    const int result = removeHeld(f);
    pthread_mutex_unlock(&mutex);
    return result;
}

} // namespace

void useEventThread()
{
    // Allegro's X port starts its background work through this table, the one for threads, by
    // pointer: a table of the same shape with these functions takes its place.
    _bg_man_pthreads = bg_manager {1, start, stop, add, remove, enable, disable, disabled};
}

bool eventThreadInUse() { return _unix_bg_man && _unix_bg_man->init == start; }
