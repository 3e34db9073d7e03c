// The frame loop's rules, on the loop the game runs, with a scripted timer, mouse and keyboard.
#include "main.h"

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
    std::vector<int> extraCycles; // extra passes spent in each frame's wait
    std::string log;              // S step, C click, D draw, F frame shown, x extra pass, | tick

    bool step()
    {
        ++frame;
        extraCycles.push_back(0);
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
    void useExtraCycles();
};

// A timer that ticks once a frame's spare time is used, a mouse and an Escape key that follow
// a script indexed by frame.
struct ScriptedShell {
    ScriptedWorld* world = nullptr;
    int counter = 0;            // as the game's speed counter
    int escapeFromFrame = 1000; // Escape held from this frame on
    int pressFrom = 0;          // left button held in frames pressFrom .. pressUntil
    int pressUntil = -1;
    int x = 0, y = 0;
    int passesPerTick = 3;  // extra passes that fit into the rest of a tick
    int lateTicks[64] = {}; // extra ticks that arrive while frame N is drawn

    bool quitRequested() { return world->frame >= escapeFromFrame; }
    bool leftButtonDown() { return world->frame >= pressFrom && world->frame <= pressUntil; }
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
    void showFrame()
    {
        world->log += "F";
        counter += lateTicks[world->frame % 64];
    }
    int pendingTicks() { return counter; }
    void tickDone()
    {
        --counter;
        world->log += "|";
    }
};

void ScriptedWorld::useExtraCycles()
{
    log += "x";
    if (++extraCycles.back() % shell->passesPerTick == 0)
        ++shell->counter;
}

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

TEST(FrameLoop, FrameOrderIsStepClickDrawShowWaitAndPointerXBeforeY)
{
    Loop loop;
    loop.world.lastFrame = 3;
    loop.shell.pressUntil = 1000;
    loop.run();
    // The counter starts at 0, so the first frame finds its tick already there.
    EXPECT_EQ(loop.world.log,
        "SDF|"
        "SXYCDFxxx|"
        "S");
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
    EXPECT_EQ(loop.world.log, "S");
}

TEST(FrameLoop, AFrameLastingThreeTicksIsFollowedByTwoFramesWithoutWaiting)
{
    Loop loop;
    loop.world.lastFrame = 8;
    loop.shell.lateTicks[3] = 3; // three ticks arrive while frame 3 runs
    loop.run();
    // Frame 3 finds its tick there, frames 4 and 5 catch up on the two others, and frame 6
    // waits again. Frame 8 ends the game in its step.
    EXPECT_EQ(loop.world.extraCycles, (std::vector<int> {0, 3, 0, 0, 0, 3, 3, 0}));
    EXPECT_EQ(loop.shell.counter, -1);
}

TEST(FrameLoop, SteadyStateRestsAtMinusOneBetweenFrames)
{
    Loop loop;
    loop.world.lastFrame = 6;
    loop.run();
    EXPECT_EQ(loop.shell.counter, -1);
    EXPECT_EQ(loop.world.drawFrames, (std::vector<int> {1, 2, 3, 4, 5}));
}
