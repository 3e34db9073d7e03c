// What the OpenGL tests share: the game's OpenGL context, frames read back from the back buffer,
// sprite images packed into datafiles of their own, and this program as a loader child.
// Allegro stays out of this header: its macros would leak into every test file.
#pragma once

#include "picture.h"
#include "test_support.h"

#include <GL/gl.h>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// ---------------------------------------------------------------- the context

const int screenWidth = 640;
const int screenHeight = 480;

// Starts Allegro and AllegroGL and opens the 640x480 OpenGL window exactly as the game does, with
// its own start-up: its settings, GL state and pixel projection. Without a usable display the
// program ends there, with the game's message and exit status 1.
void openGameContext();

// Puts back the state the game draws in: the game's projection, an identity modelview, the game's
// own drawing state (setDrawingState), the alpha test off, white current colour, texture 0 bound.
void restoreGameState();

// ---------------------------------------------------------------- frames

const Rgb background {64, 64, 64}; // the colour each test clears to: neither black nor mask pink
const Rgb red {255, 0, 0};
const Rgb green {0, 255, 0};
const Rgb blue {0, 0, 255};
const Rgb yellow {255, 255, 0};
const Rgb maskPink {255, 0, 255}; // transparent in a sprite

void clearFrame();
// The back buffer as drawn so far (read before any flip).
Image readBackBuffer();

// Every pixel test draws in this state and checks that OpenGL reported no error; a failing test
// leaves the frame it saw as gl-failure-<suite>-<test>.ppm in the working folder.
class GlTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Reads the back buffer and keeps it for the failure picture.
    const Image& readFrame();

private:
    std::deque<Image> frames_; // a deque, so that a frame read earlier stays where it is
};

// ---------------------------------------------------------------- sprite images

// A 64x64 sprite image of four 32x32 quadrants.
struct Quadrants {
    Rgb topLeft, topRight, bottomLeft, bottomRight;
};

// Saves a 24-bit BMP file with Allegro's own writer.
void writeQuadrantBmp(const std::string& path, const Quadrants& image);
// Packs the named sub-folders of folder into folder/name as nested datafiles whose objects are
// raw DATA holding the files' bytes, as the build packs base.dat. Returns the datafile's path.
std::string packDatafile(
    const std::string& folder, const std::string& name, const std::vector<std::string>& subFolders);

// The test sprites, packed once into a datafile of their own: Enemy/Quadrants (red, green, blue,
// yellow), Enemy/PinkTopLeft (Quadrants with a mask-coloured top left), Enemy/Red, Enemy/Green and
// Effects/RightHalfBlue (mask on the left half, blue on the right). Loads one with loadBMP.
unsigned loadTestSprite(const std::string& object);
std::string testSpritePath(const std::string& object);

// ---------------------------------------------------------------- child processes

// Command line flag of gl_tests that makes it the loader child: it opens the game's context and
// calls loadBMP on each following path in turn, with a marker in allegro_error before each call.
// It prints "loaded PATH TEXTURE [ALLEGRO_ERROR]" after each call and "at exit [ALLEGRO_ERROR]"
// as the process ends, however it ends. Among its paths, chooseThenReplaceFlag and a file make it
// choose its data folder as the game does, then rename that file over base.dat there.
extern const char* const loadSpritesFlag;
extern const char* const chooseThenReplaceFlag;
int runLoaderChild(int count, char** paths);

// This test program as the loader child in workDir, run to its end: a minute, far longer than
// a load takes, so that only a hang reaches it.
class LoaderRun : public ChildProcess {
public:
    LoaderRun(const std::string& workDir, const std::vector<std::string>& paths);

    // What each loadBMP call that returned gave, in order.
    struct Load {
        std::string path;
        unsigned texture = 0;
        std::string allegroError; // as the call returned
    };
    std::vector<Load> loaded() const;
    // allegro_error as the process ended.
    std::string allegroErrorAtExit() const;
};
