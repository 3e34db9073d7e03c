// Runs the real game as a child process on the test's X server, and plays it as a person does:
// real pointer motion, button presses and key presses through XTest, and screenshots of the
// window read back from the X server.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct Rgb {
    uint8_t r, g, b;
    bool isBlack() const { return r == 0 && g == 0 && b == 0; }
};

struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    const Rgb& at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    // Writes a PNG (through ImageMagick) for a person to look at.
    void savePng(const std::string& path) const;
};

struct GameOptions {
    std::string workDir;               // where the game runs; it reads base.dat from here
    std::vector<std::string> extraEnv; // NAME=value added to the game's environment
    bool withDisplay = true;           // false: no DISPLAY at all
};

class RunningGame {
public:
    explicit RunningGame(const GameOptions& options);
    ~RunningGame();
    RunningGame(const RunningGame&) = delete;
    RunningGame& operator=(const RunningGame&) = delete;

    // Waits for the game's window to be mapped; false if it never comes.
    bool waitForWindow(double seconds);
    unsigned long window() const { return window_; }
    int windowWidth() const;
    int windowHeight() const;

    Image screenshot();
    void movePointer(int x, int y);     // window coordinates
    void pressButton(int holdMs = 120); // left button, at the pointer
    void click(int x, int y, int holdMs = 120);
    void holdKey(unsigned long keysym, int holdMs = 120);
    void requestClose(); // what a window manager sends for the close button

    // The exit status, or -signal if it died of a signal, or -1000 while it still runs.
    int waitForExit(double seconds);
    bool running();

    // What the game showed in message boxes, through the stand-in xmessage.
    std::string messages() const;
    // What the game wrote to standard output and standard error.
    std::string output() const;

private:
    pid_t pid_ = -1;
    int status_ = -1000;
    struct _XDisplay* display_ = nullptr; // Xlib stays out of the tests: its macros clash
    unsigned long window_ = 0;
    std::string scratch_;
};

// Folder of the built game and its base.dat.
std::string buildDir();
// A fresh empty folder for one test.
std::string makeScratchDir();
void sleepMs(int ms);
