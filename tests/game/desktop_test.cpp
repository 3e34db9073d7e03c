// The game as a desktop program: it starts from any folder, finding base.dat beside its executable
// or, installed, in the data folder installed with it, even once the install has moved; its window
// shows the game's icon.
#include "running_game.h"
#include "sprite_eye.h"

#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <map>
#include <sys/auxv.h>

// The window's icon as the build paints it: an XPM image.
extern const char* outbreakIcon[];

namespace {

// Starts the game in workDir (empty: a new empty folder), through the launcher if one is given:
// the level must show, textured from the datafile, with no message box, and Escape must end the
// game with status 0.
void expectTheLevelFrom(const std::string& binary, const std::string& workDir = "",
    const std::vector<std::string>& launcher = {})
{
    GameOptions options;
    options.binary = binary;
    options.workDir = workDir;
    options.launcher = launcher;
    options.stop = GameOptions::Stop::atFirstFrame;
    RunningGame game(options);
    const Image shot = game.firstFrame(5 * slowness);
    ASSERT_EQ(shot.width, 640) << game.describe();

    // In the first frame the top row of aliens still overlaps the balls, and the pointer hides a
    // part of one alien, so not all of the 144 sprites show whole.
    const std::vector<SeenSprite> sprites = SpriteEye(buildDir() + "/sprites").findAll(shot);
    const auto balls = std::count_if(
        sprites.begin(), sprites.end(), [](const SeenSprite& s) { return s.kind == HardBall; });
    EXPECT_GE(sprites.size() - balls, 100u) << "aliens on screen";
    EXPECT_GE(balls, 15) << "hard balls on screen";
    EXPECT_TRUE(game.messages().empty()) << game.describe();

    sleepMs(300);
    game.holdKey(XK_Escape, 120);
    EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
}

// The dynamic loader that started this program, which launchers and sandboxes may start the game
// through.
std::string dynamicLoader()
{
    Dl_info loader {};
    return dladdr(reinterpret_cast<void*>(getauxval(AT_BASE)), &loader) && loader.dli_fname
        ? loader.dli_fname
        : "";
}

} // namespace

// Started through the dynamic loader (ld-linux-x86-64.so.2 outbreak), the game looked for its
// datafile beside the loader.
TEST(StartAnywhere, TheBuiltGameFindsTheDatafileBesideItselfHoweverItIsStarted)
{
    const std::string loader = dynamicLoader();
    ASSERT_FALSE(loader.empty()) << "no dynamic loader found";
    for (const std::vector<std::string>& launcher : {std::vector<std::string>(), {loader}}) {
        SCOPED_TRACE(launcher.empty() ? "started as itself" : "started through " + loader);
        expectTheLevelFrom(OUTBREAK_BINARY, "", launcher);
    }
}

// cmake --install into one prefix, then the whole prefix moved to another: the game finds the
// data folder installed with it from its own place, not from where it was installed. It is started
// in a folder that holds a base.dat of someone else's, which it passes over.
TEST(StartAnywhere, AnInstalledGameMovedToAnotherPrefixFindsItsDataFolder)
{
    const std::string scratch = makeScratchDir();
    ChildProcess install(
        {CMAKE_COMMAND, "--install", buildDir(), "--prefix", scratch + "/installed"}, scratch);
    ASSERT_EQ(0, install.waitForExit(60 * slowness)) << install.describe();
    ASSERT_EQ(0, std::rename((scratch + "/installed").c_str(), (scratch + "/moved").c_str()));

    const std::string strayFolder = scratch + "/home";
    writeFile(strayFolder + "/base.dat", "Not the game's datafile\n");
    expectTheLevelFrom(scratch + "/moved/bin/outbreak", strayFolder);
}

// Allegro gives its windows an icon and a class of its own unless the game hands it others before
// the window opens: the window's icon must be the game's, pixel for pixel, and its class the one
// that the launcher names (StartupWMClass), so that a desktop shows the game's icon for it.
TEST(GameWindow, ShowsTheGamesIconAndClass)
{
    int width = 0, height = 0, colours = 0, perPixel = 0;
    ASSERT_EQ(4, std::sscanf(outbreakIcon[0], "%d %d %d %d", &width, &height, &colours, &perPixel));
    std::map<std::string, std::string> colourOf; // symbols to "None" or "#RRGGBB"
    for (int i = 1; i <= colours; ++i) {
        const std::string line = outbreakIcon[i];
        colourOf[line.substr(0, perPixel)] = line.substr(perPixel + 3);
    }

    GameOptions options;
    options.workDir = buildDir();
    RunningGame game(options);
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.describe();
    EXPECT_EQ("outbreak, Outbreak", game.windowClass());
    const RunningGame::Icon icon = game.windowIcon();
    ASSERT_EQ(width, icon.image.width);
    ASSERT_EQ(height, icon.image.height);

    int wrong = 0, solid = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::string colour
                = colourOf[std::string(outbreakIcon[1 + colours + y] + x * perPixel, perPixel)];
            const size_t i = size_t(y) * width + x;
            char shown[8];
            const Rgb& p = icon.image.pixels[i];
            std::snprintf(shown, sizeof shown, "#%02X%02X%02X", p.r, p.g, p.b);
            solid += colour != "None";
            wrong += colour == "None" ? icon.shown[i] : !icon.shown[i] || colour != shown;
        }
    EXPECT_GT(solid, width * height / 2);
    EXPECT_EQ(0, wrong) << "pixels of the window's icon that are not the game's";
}
