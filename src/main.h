// The frame loop, apart from Allegro so that a test can drive it with a scripted timer, mouse
// and keyboard. The game runs it with the shell in main.cpp.
//
// A Shell provides:
//   void hearInput()         take in what came from the keyboard and the mouse since the last
//                            look
//   bool quitRequested()     Escape held or pressed since the last look, or the window's close
//                            button pressed
//   bool takeLeftPress(int& x, int& y)
//                            the oldest press of the left button not yet taken, and where the
//                            pointer was as it came; false if there is none. Each press once,
//                            however short: a tap that came and went between two frames too
//   bool leftButtonDown()    the left button held since a press that was taken already: read
//                            with the presses, so that a press that comes between the two looks
//                            waits for the next frame rather than count twice
//   int mouseX(), mouseY()   pointer position in the scene's pixels
//   double seconds()         the time on a clock that runs on steadily, in seconds
//   void showFrame()         draw the pointer, flush, flip, clear the next back buffer
//   void startCounting()     forget the ticks so far and count from now
//   int pendingTicks()       timer ticks not yet matched by a frame, less one
//   void forgetTicks(int n)  drop n of those ticks unplayed
//   void nap()               sleep until the next tick may have come, before the counter is
//                            looked at again
//   void tickDone()          one tick matched by the frame just finished
#pragma once

#include "Vector2.h"

// A button held down clicks again every 11 frames of the 60 Hz clock, timed by the clock rather
// than counted in frames, which run back to back to catch up after a late one: after ten and a
// half sixtieths of a second, so that the 11th frame counts however it falls within its tick.
const double clickRepeatSeconds = 10.5 / 60;

// Extra collision passes after every frame is shown, the same number in every frame on every
// machine, so that the game plays the same however fast or busy the machine is. From 20 passes a
// frame on, the settled heap keeps its shape; 30 leave its overlaps below 0.01 pixel on average.
const int extraPassesPerFrame = 30;

// Frames made up back to back at most, after a frame that ran late. A busy machine's hiccups are
// made up in full, so that the game keeps time with the clock; after a longer stop (a suspend,
// Ctrl+Z, a message box left open) the rest is dropped, and the game plays on at its own pace
// within a tenth of a second instead of playing by itself for as long as it was stopped.
const int catchUpCeiling = 6;

template <class World, class Shell> void runFrames(World& world, Shell& shell)
{
    bool firstFrame = true;
    double lastClick = -clickRepeatSeconds;
    for (;;) {
        // What the player did since the last frame counts in this one.
        shell.hearInput();
        // Update: one step of the simulation; false means a ball sank past the floor.
        if (!world.step())
            break;
        // Detect Escape or the window's close button.
        if (shell.quitRequested())
            break;

        // At most one click per frame, none in the first. Every press counts once, in the frame
        // after it came, even if the button was let go already; a button held down clicks again
        // every 11 frames' time, as long as it is held.
        if (!firstFrame) {
            const double now = shell.seconds();
            int x = 0, y = 0;
            bool click = shell.takeLeftPress(x, y);
            if (!click && shell.leftButtonDown() && now - lastClick >= clickRepeatSeconds) {
                x = shell.mouseX();
                y = shell.mouseY();
                click = true;
            }
            if (click) {
                world.mouseButton(Vector2(float(x), float(y)));
                lastClick = now;
            }
        }

        // Draw.
        world.draw();
        shell.showFrame();
        // Ticks count from the first frame on screen. Loading the level, and the driver's own
        // set-up as it draws for the first time, are not time that the game owes the player.
        if (firstFrame) {
            shell.startCounting();
            firstFrame = false;
        }

        // Push the last overlaps apart: the same work in every frame, a late one included.
        for (int pass = 0; pass < extraPassesPerFrame; ++pass)
            world.useExtraCycles();

        // Sleep until the next tick. A frame that ran late leaves ticks behind, and the frames
        // after it run without waiting until they have caught up, up to the ceiling.
        const int behind = shell.pendingTicks();
        if (behind > catchUpCeiling)
            shell.forgetTicks(behind - catchUpCeiling);
        while (shell.pendingTicks() < 0)
            shell.nap();
        shell.tickDone();
    }
}
