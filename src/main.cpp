// Outbreak: start-up, the 60 Hz frame loop, and the way out.
#include "main.h"

#include "GameWorld.h"
#include "data_folder.h"
#include "ending.h"
#include "event_thread.h"
#include "monotonic_clock.h"
#include "player_input.h"
#include "process_guard.h"
#include "scene_in_window.h"
#include "start_up.h"

#include <alleggl.h>
#include <allegro.h>
#include <atomic>
#include <malloc.h>
#include <semaphore.h>

// Ticks of the 60 Hz timer not yet matched by a frame; the timer thread raises it, the frame
// loop lowers it.
std::atomic<int> speed_counter(0);

namespace {

// Posted at every tick, so that the frame loop sleeps until the tick comes rather than wake a
// thousand times a second to look for it.
sem_t tickCame;

} // namespace

void increment_speed_counter()
{
    ++speed_counter;
    sem_post(&tickCame);
}
END_OF_FUNCTION(increment_speed_counter)

namespace {

// Closed standard streams, signals, a lost display and message boxes are the game's own business
// before any code of its libraries runs: from the first moment that code of its own can run.
void guardFromTheStart(int, char**, char**) { guardProcess(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const guardFirst)(int, char**, char**)
    = guardFromTheStart;

// The frame loop's view of Allegro, AllegroGL and the timer.
struct AllegroShell {
    void hearInput()
    {
        hearEventsNow();
        refitSceneIfExposed();
    }
    bool quitRequested() { return takeEscapePress() || key[KEY_ESC] || stopRequested(); }
    bool takeLeftPress(int& x, int& y) { return ::takeLeftPress(x, y); }
    bool leftButtonDown() { return leftButtonHeld(); }
    int mouseX() { return mouse_x; }
    int mouseY() { return mouse_y; }
    double seconds()
    {
        const timespec now = monotonicNow();
        return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
    }
    void showFrame()
    {
        drawPointer();
        glFlush();
        allegro_gl_flip();
        // Clear the next back buffer now, after the flip. The world clears the depth buffer as
        // it starts to draw.
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void startCounting() { speed_counter = 0; }
    int pendingTicks() { return speed_counter; }
    void forgetTicks(int ticks) { speed_counter -= ticks; }
    void nap()
    {
        // A tick is due within a sixtieth of a second; the wait ends after a tenth in any case.
        const timespec until = laterBy(monotonicNow(), 100'000'000);
        sem_clockwait(&tickCame, CLOCK_MONOTONIC, &until);
    }
    void tickDone() { --speed_counter; }
};

} // namespace

void initSystem()
{
    // Where there is no graphics card, OpenGL draws in software (Mesa's llvmpipe), which takes
    // and frees some megabytes in 64 KB blocks in every frame. By default the C library hands the
    // freed top of the heap back to the system each time, and faulting it in again in the next
    // frame cost the idle game more than half a core. Up to 64 MB of it are kept instead.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    // Each thread that allocates would otherwise get an arena of its own, with 64 MB of address
    // space set aside for it: the driver's drawing threads doubled what the game maps, and under a
    // limit of memory (ulimit -v) the driver crashed. Two arenas serve the game's few threads.
    mallopt(M_ARENA_MAX, 2);

    // The sprites are read from base.dat: work in the folder that holds it.
    enterDataFolder();

    sem_init(&tickCame, 0, 0);
    LOCK_VARIABLE(speed_counter);
    LOCK_FUNCTION(increment_speed_counter);
    startAllegroAndOpenGL(increment_speed_counter);
}

int main()
{
    // Initialization
    initSystem();
    GameWorld world;
    world.loadLevel();

    // Main game loop: until a ball sinks past the floor, Escape, the close button or a request
    // to stop.
    AllegroShell shell;
    startPlaying();
    runFrames(world, shell);

    // De-Initialization: the world goes with main's locals.
    return playedToTheEnd();
}
END_OF_MAIN()
