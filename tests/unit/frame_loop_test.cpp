// The frame loop's rules, on the loop the game runs, with a scripted timer, mouse and keyboard.
#include "main.h"

#include "GameWorld.h"
#include "headless.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct ScriptedShell;

// Records what the loop asks of the world, frame by frame.
struct ScriptedWorld {
    ScriptedShell* shell = nullptr;
    int frame = 0;        // frames whose step has run
    int lastFrame = 1000; // step returns false in this frame
    std::vector<int> clickFrames;
    std::vector<Vector2> clickPoints;
    std::vector<int> drawFrames;
    std::vector<int> extraPasses; // extra collision passes run in each frame
    std::string log; // S step, C click, D draw, F frame shown, x extra pass, z nap, | tick used

    bool step()
    {
        ++frame;
        extraPasses.push_back(0);
        log += "S";
        return frame < lastFrame;
    }
    void mouseButton(Vector2 p)
    {
        clickFrames.push_back(frame);
        clickPoints.push_back(p);
        log += "C";
    }
    void draw()
    {
        drawFrames.push_back(frame);
        log += "D";
    }
    void useExtraCycles()
    {
        ++extraPasses.back();
        log += "x";
    }
};

// A timer that ticks after a few naps, a mouse and an Escape key that follow a script indexed by
// frame, or for the button by tick.
struct ScriptedShell {
    ScriptedWorld* world = nullptr;
    int counter = 0;            // as the game's speed counter
    int ticks = 0;              // every tick that came: the time, in sixtieths of a second
    int escapeFromFrame = 1000; // Escape held from this frame on
    int pressFrom = 0;          // left button held in frames pressFrom .. pressUntil
    int pressUntil = -1;
    int heldFromTick = 0;       // and in ticks heldFromTick .. heldUntilTick
    int heldUntilTick = -1;
    std::vector<int> presses;   // presses noted by the frame's look, one entry each
    int x = 0, y = 0;
    int napsPerTick = 3;    // naps that pass until the next tick
    int lateTicks[64] = {}; // extra ticks that arrive while frame N is drawn and shown
    int naps = 0;
    int looksSinceNap = 0;

    void hearInput() { world->log += "h"; }
    bool quitRequested() { return world->frame >= escapeFromFrame; }
    bool leftButtonDown()
    {
        return (world->frame >= pressFrom && world->frame <= pressUntil)
            || (ticks >= heldFromTick && ticks <= heldUntilTick);
    }
    bool takeLeftPress(int& px, int& py)
    {
        const auto next = std::find_if(
            presses.begin(), presses.end(), [&](int frame) { return frame <= world->frame; });
        if (next == presses.end())
            return false;
        presses.erase(next);
        px = x;
        py = y;
        world->log += "P";
        return true;
    }
    int mouseX()
    {
        world->log += "X";
        return x;
    }
    int mouseY()
    {
        world->log += "Y";
        return y;
    }
    double seconds() { return ticks / 60.0; }
    void arrive(int count)
    {
        counter += count;
        ticks += count;
    }
    void showFrame()
    {
        world->log += "F";
        arrive(lateTicks[world->frame % 64]);
    }
    void startCounting() { counter = 0; }
    int pendingTicks()
    {
        // Time passes for a loop that spins too, so that it shows in the log instead of hanging.
        if (++looksSinceNap % 100 == 0)
            arrive(1);
        return counter;
    }
    void forgetTicks(int dropped) { counter -= dropped; }
    void nap()
    {
        world->log += "z";
        looksSinceNap = 0;
        if (++naps % napsPerTick == 0)
            arrive(1);
    }
    void tickDone()
    {
        --counter;
        world->log += "|";
    }
};

struct Loop {
    ScriptedWorld world;
    ScriptedShell shell;
    Loop()
    {
        shell.world = &world;
        world.shell = &shell;
    }
    void run() { runFrames(world, shell); }
};

std::string passes() { return std::string(extraPassesPerFrame, 'x'); }

// A frame that finds its tick already there, and one that sleeps until the next.
const std::string late = "hSDF" + passes() + "|";
const std::string onTime = "hSDF" + passes() + "zzz|";

} // namespace

TEST(FrameLoop, ButtonHeldFromTheStartClicksInFrames2And13And24)
{
    Loop loop;
    loop.world.lastFrame = 30;
    loop.shell.pressUntil = 1000;
    loop.shell.x = 123;
    loop.shell.y = 456;
    loop.run();
    // None in the first frame: the delay starts at 0 and is tested before it is lowered.
    EXPECT_EQ(loop.world.clickFrames, (std::vector<int> {2, 13, 24}));
    EXPECT_EQ(loop.world.clickPoints.at(0), Vector2(123, 456));
}

TEST(FrameLoop, NoButtonNoClick)
{
    Loop loop;
    loop.world.lastFrame = 40;
    loop.run();
    EXPECT_TRUE(loop.world.clickFrames.empty());
}

TEST(FrameLoop, PressAfterALongIdleClicksInItsFirstFrameThenEvery11th)
{
    Loop loop;
    loop.world.lastFrame = 100;
    loop.shell.pressFrom = 70;
    loop.shell.pressUntil = 82;
    loop.run();
    EXPECT_EQ(loop.world.clickFrames, (std::vector<int> {70, 81}));
}

// A tap shorter than a frame (test tools, remote desktops and on-screen keyboards send them a few
// milliseconds long) came and went between two looks at the button, and was lost; two presses in
// one frame, or a press in the frames after a click, counted once at most.
TEST(FrameLoop, EveryPressClicksOnceInTheFrameAfterItEvenIfLetGoAtMostOneAFrame)
{
    Loop loop;
    loop.world.lastFrame = 30;
    loop.shell.presses = {1, 5, 5, 8, 20};
    loop.run();
    // The first frame passes none: its press waits for the second.
    EXPECT_EQ(loop.world.clickFrames, (std::vector<int> {2, 5, 6, 8, 20}));
}

// After a frame that ran ten ticks late, the frames that catch up run back to back: a click held
// for 120 ms (seven ticks) then spanned a dozen frames, and counting frames, the button clicked
// twice, picking an alien and firing it in one go.
TEST(FrameLoop, AClickHeld120msAcrossAStallOfTenFramesCountsOnce)
{
    Loop loop;
    loop.world.lastFrame = 40;
    loop.shell.lateTicks[5] = 10; // frame 5 runs ten ticks late
    // Pressed in the stall's last tick, and held for seven.
    loop.shell.presses = {6};
    loop.shell.heldFromTick = 12;
    loop.shell.heldUntilTick = 19;
    loop.run();
    EXPECT_EQ(loop.world.clickFrames, (std::vector<int> {6}));

    // Held on, it clicks again 11 frames' time after the press, not 11 frames later.
    Loop held;
    held.world.lastFrame = 40;
    held.shell.lateTicks[5] = 10;
    held.shell.presses = {6};
    held.shell.heldFromTick = 12;
    held.shell.heldUntilTick = 1000;
    held.run();
    // Frames 6 to 12 run in one tick, six of them catching up; then a frame a tick.
    EXPECT_EQ(held.world.clickFrames, (std::vector<int> {6, 6 + 6 + 11, 6 + 6 + 22}));
}

TEST(FrameLoop, FrameOrderIsInputStepClickDrawShowWaitAndPointerXBeforeY)
{
    Loop loop;
    loop.world.lastFrame = 3;
    loop.shell.pressUntil = 1000;
    loop.run();
    // The counter starts at 0, so the first frame finds its tick already there; the second
    // sleeps until the next one, looking at the counter after every nap. The input is taken in
    // before the button is read, so that a click that came during the nap counts in this frame.
    EXPECT_EQ(loop.world.log,
        "hSDF" + passes()
            + "|"
              "hSXYCDF"
            + passes()
            + "zzz|"
              "hS");
}

TEST(FrameLoop, EscapeEndsAfterTheStepBeforeClickAndDraw)
{
    Loop loop;
    loop.shell.escapeFromFrame = 5;
    loop.shell.pressUntil = 1000;
    loop.run();
    EXPECT_EQ(loop.world.frame, 5);
    EXPECT_EQ(loop.world.drawFrames.back(), 4);
    EXPECT_EQ(loop.world.clickFrames, (std::vector<int> {2}));
    EXPECT_EQ(loop.world.log.back(), 'S');
}

TEST(FrameLoop, GameOverInTheFirstStepDrawsNothing)
{
    Loop loop;
    loop.world.lastFrame = 1;
    loop.shell.pressUntil = 1000;
    loop.run();
    EXPECT_EQ(loop.world.log, "hS");
}

TEST(FrameLoop, AFrameLastingThreeTicksIsFollowedByTwoFramesWithoutWaiting)
{
    Loop loop;
    loop.world.lastFrame = 8;
    loop.shell.lateTicks[3] = 3; // three ticks arrive while frame 3 runs
    loop.run();
    // Frame 3 finds its tick there, frames 4 and 5 catch up on the two others, and frame 6
    // waits again. Frame 8 ends the game in its step.
    EXPECT_EQ(loop.world.log, late + onTime + late + late + late + onTime + onTime + "hS");
    EXPECT_EQ(loop.shell.counter, -1);
}

// Stopped for an hour (a suspend, Ctrl+Z), the game once made up all 216000 frames back to back:
// it played the hour by itself at several hundred frames a second.
TEST(FrameLoop, AnHourStoppedIsMadeUpOnlyToTheCeilingThenTheGameKeepsItsPace)
{
    Loop loop;
    loop.world.lastFrame = 3 + catchUpCeiling + 3;
    loop.shell.lateTicks[3] = 60 * 60 * 60;
    loop.run();
    std::string expected = late + onTime + late;
    for (int frame = 0; frame < catchUpCeiling; ++frame)
        expected += late;
    EXPECT_EQ(loop.world.log, expected + onTime + onTime + "hS");
    EXPECT_EQ(loop.shell.counter, -1);
}

// The ticks that passed while the level loaded, and while the first frame was drawn, were once
// made up as if the first frame had been late: a dozen frames back to back, and the heap jolted.
TEST(FrameLoop, TicksCountFromTheFirstFrameOnScreenNotFromLoading)
{
    Loop loop;
    loop.world.lastFrame = 4;
    loop.shell.counter = 24;     // the level took 24 ticks to load
    loop.shell.lateTicks[1] = 4; // and the first frame four more to draw
    loop.run();
    EXPECT_EQ(loop.world.log, late + onTime + onTime + "hS");
}

TEST(FrameLoop, EveryFrameRunsTheSameExtraPassesWhetherLateOrWithTimeToSpare)
{
    Loop loop;
    loop.world.lastFrame = 40;
    loop.shell.lateTicks[5] = 20; // far behind: 20 frames in a row without a wait
    loop.shell.napsPerTick = 50;  // and then plenty of time in every frame
    loop.run();
    // The last frame ends the game in its step, before any pass.
    std::vector<int> expected(39, extraPassesPerFrame);
    expected.push_back(0);
    EXPECT_EQ(loop.world.extraPasses, expected);
}

namespace {

// The game's timer on a machine with hiccups: the level took 24 ticks to load, and a frame every
// ten seconds runs 24 ticks late; otherwise every frame has time to spare, 80 looks at the counter
// until the next tick. Time passes whatever the counter, so that a loop that waits too long still
// ends. No button, no key; the player leaves after lastFrame frames.
struct HiccupShell {
    int counter = 24;
    int looks = 0;
    int frames = 0;
    int lastFrame = 0;

    void hearInput() {}
    bool quitRequested() { return frames >= lastFrame; }
    bool leftButtonDown() { return false; }
    bool takeLeftPress(int&, int&) { return false; }
    double seconds() { return 0; }
    int mouseX() { return 0; }
    int mouseY() { return 0; }
    void showFrame()
    {
        if (frames % 600 == 599)
            counter += 24;
    }
    void startCounting() { counter = 0; }
    int pendingTicks()
    {
        if (++looks % 80 == 0)
            ++counter;
        return counter;
    }
    void forgetTicks(int ticks) { counter -= ticks; }
    void nap() {}
    void tickDone()
    {
        --counter;
        ++frames;
    }
};

} // namespace

// Once, the frames that caught up on a late start did no extra pass and the frames after it did
// many: that schedule tore the heap off the balls within four seconds, and the game was lost
// before the player touched the mouse.
TEST(FrameLoop, LateFramesKeepTheLevelsHeapHangingForAMinute)
{
    startHeadlessAllegro(OUTBREAK_DATA_DIR);
    GameWorld world;
    srand(1);
    world.loadLevel();
    HiccupShell shell;
    shell.lastFrame = 3600;
    runFrames(world, shell);

    // The loop ended because the player left, not because a body sank past the floor.
    EXPECT_EQ(shell.frames, 3600);
    ASSERT_EQ(world.enemies.size(), 144u);
    float lowestBall = 0, lowestAlien = 0;
    for (const Enemy& e : world.enemies) {
        float& lowest = e.state == EnemyType::HARD ? lowestBall : lowestAlien;
        lowest = std::max(lowest, e.position.y);
    }
    // A minute later the heap still hangs from the balls, no deeper than the grid it started as.
    EXPECT_LT(lowestAlien - lowestBall, 7 * 34.0f) << "lowest alien at " << lowestAlien;
}

TEST(FrameLoop, SteadyStateRestsAtMinusOneBetweenFrames)
{
    Loop loop;
    loop.world.lastFrame = 6;
    loop.run();
    EXPECT_EQ(loop.shell.counter, -1);
    EXPECT_EQ(loop.world.drawFrames, (std::vector<int> {1, 2, 3, 4, 5}));
}
