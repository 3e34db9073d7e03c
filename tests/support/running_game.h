// Runs the real game as a child process on the test's X server or a private one, and plays it as
// a person does: real pointer motion, button presses and key presses through XTest, and
// screenshots of the window read back from the X server. Xlib stays out of this header: its
// macros clash with the tests' names.
#pragma once

#include "picture.h"
#include "test_support.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct GameOptions {
    // The game's executable: the build's, or an installed one.
    std::string binary = OUTBREAK_BINARY;
    // Where the game runs; it looks for base.dat here first. Empty: a new empty folder.
    std::string workDir;
    bool withDisplay = true; // false: no DISPLAY at all
    bool withMouse = true;   // false: installing the mouse fails, as on a machine without one
    // The game seeds its colours with the time: from 0 on, its clock is stopped at this second,
    // so that it plays the level of that seed. Below 0 the colours are left to the clock.
    int levelSeed = -1;
    // A moment at which the game stops itself, until the test lets it go on (waitForStop, then
    // resume, or firstFrame): inside Allegro's start-up once Allegro has its own signal handlers,
    // as the OpenGL driver starts to set up the window, or once its first frame is shown.
    enum class Stop { nowhere, insideAllegroInit, settingUpOpenGL, atFirstFrame };
    Stop stop = Stop::nowhere;
    // The X display it runs on; empty: the test's own.
    std::string display;
    // A command the game is started through, such as nohup.
    std::vector<std::string> launcher;
    // Its message boxes stay up, unanswered, instead of being answered at once.
    bool messageBoxesStayUp = false;
    // Variables set in its environment, or taken out of it where the value is null.
    std::vector<std::pair<std::string, const char*>> environment;
};

// The game's window on display, named "Outbreak": viewable, or (hidden) made but kept from view
// by the window manager; 0 while there is none.
unsigned long findGameWindow(struct _XDisplay* display, bool hidden = false);
// The window's pixels as the X server has them; an empty image once the window is gone.
Image windowPicture(struct _XDisplay* display, unsigned long window);
// Puts the pointer at (x, y) of the test's screen, as a player's hand does, whether or not the game
// has a window there yet.
void putPointerOnScreen(int x, int y);
// Asks the window to close, as a window manager does for its close button.
void closeWindow(struct _XDisplay* display, unsigned long window);

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
    // The game's first frame, for a game started with Stop::atFirstFrame: waits for the game to
    // stop after showing it, takes the screenshot and lets the game go on. An empty image if the
    // game does not stop in time. Input wants 300 ms more, as after waitForWindow.
    Image firstFrame(double seconds);
    unsigned long window() const { return window_; }
    // Gives the window another size, as a kiosk's compositor does, which the game cannot refuse
    // (on a display with no window manager). From then on the pictures and the pointer's places
    // are the scene's, centred in the window: screenshot() cuts it out, and movePointer and click
    // take its pixels; wholeWindow() shows the rest.
    void forceWindowSize(int width, int height);
    Image wholeWindow();

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
    void movePointer(int x, int y); // window coordinates, or the scene's (forceWindowSize)
    // Moves the pointer to (x, y), where the frame is black, again and again until the game
    // draws its pointer there; false if it never does. After this the game follows the pointer.
    bool movePointerAndSee(int x, int y, double seconds);
    void pressButton(int holdMs = 120); // left button, at the pointer
    void click(int x, int y, int holdMs = 120);
    void holdKey(unsigned long keysym, int holdMs = 120);
    void requestClose();  // what a window manager sends for the close button
    void destroyWindow(); // what another program may do to it
    // Closes the test's connection to the game's display, which is about to go away.
    void letGoOfDisplay();

private:
    struct _XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    int lastWidth_ = 640, lastHeight_ = 480;
    int sceneLeft_ = 0, sceneTop_ = 0; // in the window
};

// Folder of the built game and its base.dat.
std::string buildDir();
// The game as it is built, started in the build folder.
GameOptions inBuildDir();
// The built game copied into the folder bin, away from its datafile, started in workDir (empty:
// a new empty folder).
GameOptions copyOfTheGame(const std::string& bin, const std::string& workDir = "");

// An X server of the test's own, started through tests/with-xvfb, which the test can take away
// under a running game; with a window manager (openbox) whose rule for the game's window class is
// given, such as "<iconic>yes</iconic>".
class PrivateDisplay {
public:
    explicit PrivateDisplay(const std::string& windowRule = "");
    // ":N", once the server is ready.
    const std::string& name() const { return name_; }
    // Runs a command on this display; its status.
    int run(const std::vector<std::string>& command);
    // Ends the server with the signal; false if it is still there a few seconds later.
    bool end(int signal);

private:
    ChildEnvironment onIt() const;

    std::string dir_;
    ChildProcess server_;
    std::string name_;
    pid_t serverPid_ = 0;
    std::unique_ptr<ChildProcess> windowManager_;
};
