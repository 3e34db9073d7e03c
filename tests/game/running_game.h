// Runs the real game as a child process on the test's X server, and plays it as a person does:
// real pointer motion, button presses and key presses through XTest, and screenshots of the
// window read back from the X server.
#pragma once

#include "picture.h"
#include "test_support.h"

#include <string>
#include <vector>

struct GameOptions {
    // The game's executable: the build's, or an installed one.
    std::string binary = OUTBREAK_BINARY;
    // Where the game runs; it looks for base.dat here first. Empty: a new empty folder.
    std::string workDir;
    std::vector<std::string> preloads; // libraries loaded into the game ahead of its own
    bool withDisplay = true;           // false: no DISPLAY at all
    // The game seeds its colours with the time: from 0 on, its clock is stopped at this second,
    // so that it plays the level of that seed. Below 0 the colours are left to the clock.
    int levelSeed = -1;
    // The game stops itself once its first frame is shown, until firstFrame() has looked at it.
    bool pauseAtFirstFrame = false;
    // The X display it runs on; empty: the test's own.
    std::string display;
    // A command the game is started through, such as nohup.
    std::vector<std::string> launcher;
    // Its message boxes stay up, unanswered, instead of being answered at once.
    bool messageBoxesStayUp = false;
};

// The game as a child process (its status, output and message boxes as ChildProcess gives them),
// with a connection of the test's own to its display.
class RunningGame : public ChildProcess {
public:
    explicit RunningGame(const GameOptions& options);
    ~RunningGame();

    // Waits for the game's window to be mapped; false if it never comes. Settled: viewable, and
    // the game has had 300 ms to take its input; justNow: as soon as it is viewable; hidden:
    // made, but kept from view by the window manager.
    enum class Mapped { settled, justNow, hidden };
    bool waitForWindow(double seconds, Mapped mapped = Mapped::settled);
    // The game's first frame, for a game started with pauseAtFirstFrame: waits for the game to
    // stop after showing it, takes the screenshot and lets the game go on. An empty image if the
    // game does not stop in time. Input wants 300 ms more, as after waitForWindow.
    Image firstFrame(double seconds);
    unsigned long window() const { return window_; }
    int windowWidth() const;
    int windowHeight() const;

    // The window as it shows now; once the game has ended and its window is gone, a black frame
    // of the window's last size.
    Image screenshot();
    // The icon the window hands to the window manager (WM_HINTS): its pixels, and for each
    // whether the icon's mask shows it. Empty if the window has none.
    struct Icon {
        Image image;
        std::vector<bool> shown;
    };
    Icon windowIcon();
    // The window's class (WM_CLASS) as "name, class".
    std::string windowClass();
    void movePointer(int x, int y); // window coordinates
    // Moves the pointer to (x, y), where the frame is black, again and again until the game
    // draws its pointer there; false if it never does. After this the game follows the pointer.
    bool movePointerAndSee(int x, int y, double seconds);
    void pressButton(int holdMs = 120); // left button, at the pointer
    void click(int x, int y, int holdMs = 120);
    void holdKey(unsigned long keysym, int holdMs = 120);
    void requestClose(); // what a window manager sends for the close button
    // Closes the test's connection to the game's display, which is about to go away.
    void letGoOfDisplay();

private:
    struct _XDisplay* display_ = nullptr; // Xlib stays out of the tests: its macros clash
    unsigned long window_ = 0;
    int lastWidth_ = 640, lastHeight_ = 480;
};

// Folder of the built game and its base.dat.
std::string buildDir();
// The game as it is built, started in the build folder.
GameOptions inBuildDir();

// What a screenshot shows: the game's sprites, recognised by their looks.

// The sprites, in the order the level makes their kinds: six aliens, then the hard ball.
enum SpriteKind {
    RedAlien,
    GreenAlien,
    PurpleAlien,
    WhiteAlien,
    GrayAlien,
    BlackAlien,
    HardBall,
    spriteKinds
};
const int alienKinds = 6;
const char* kindName(int kind);

// One sprite found in a screenshot: its centre (the pixel just right of and below the exact
// centre), its kind, and how far its pixels are from the sprite's (root mean square, 0-255).
struct SeenSprite {
    int x = 0, y = 0;
    int kind = -1;
    double mismatch = 1e9;
};

// Recognises the game's sprites in screenshots. The game draws each 64-pixel sprite at radius 16,
// 32 pixels across, so every sprite file of the build is halved and compared, pixel by pixel,
// with the shot.
class SpriteEye {
public:
    explicit SpriteEye(const std::string& spriteDir);

    // Mismatch of the kind's sprite drawn at (x, y), from every pixel or, coarse, from every
    // other pixel in each direction. Gives up, with a value above limit, once it is sure to
    // come out above limit.
    double mismatch(
        const Image& shot, int kind, int x, int y, bool coarse = false, double limit = 1e9) const;
    // The kind and place that best explain the shot within slack pixels of (x, y).
    SeenSprite look(const Image& shot, int x, int y, int slack) const;
    // Every whole, unshrunk sprite in the shot, at least 20 pixels apart.
    std::vector<SeenSprite> findAll(const Image& shot) const;

    // A sprite whose mismatch is above this is not one of ours.
    static constexpr double recognised = 40;

private:
    struct Texel {
        int dx, dy; // from the centre
        Rgb colour;
    };
    std::vector<Texel> fine_[spriteKinds];
    std::vector<Texel> coarse_[spriteKinds];
};

// Pixels within radius of (x, y) coloured as the bright spots of the infection overlay.
int infectionSpotsNear(const Image& shot, int x, int y, int radius);
// True for the bright yellow-green of the infection overlay's spots.
bool isInfectionSpot(const Rgb& c);
// Non-black pixels in the rectangle [x0, x1) x [y0, y1).
int litPixels(const Image& shot, int x0, int y0, int x1, int y1);
