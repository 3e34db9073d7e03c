#include "gl_support.h"

#define ALLEGRO_NO_MAGIC_MAIN
#include <allegro.h>

#include <alleggl.h>

#include "data_folder.h"
#include "start_up.h"
#include "util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

GLfloat gameProjection[16];

void ignoreTicks() {}

} // namespace

// ---------------------------------------------------------------- the context

void openGameContext()
{
    holdMesaDriver();
    startAllegroAndOpenGL(ignoreTicks);
    glGetFloatv(GL_PROJECTION_MATRIX, gameProjection);
    glMatrixMode(GL_MODELVIEW);
}

void restoreGameState()
{
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(gameProjection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    setDrawingState();
    glDisable(GL_ALPHA_TEST);
    glAlphaFunc(GL_ALWAYS, 0);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// ---------------------------------------------------------------- frames

void clearFrame()
{
    glClearColor(background.r / 255.0f, background.g / 255.0f, background.b / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Image readBackBuffer()
{
    std::vector<unsigned char> rgba(size_t(screenWidth) * screenHeight * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, screenWidth, screenHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    Image frame;
    frame.width = screenWidth;
    frame.height = screenHeight;
    // OpenGL's rows run upwards from the bottom of the window.
    for (int y = screenHeight - 1; y >= 0; --y)
        for (int x = 0; x < screenWidth; ++x) {
            const unsigned char* p = &rgba[(size_t(y) * screenWidth + x) * 4];
            frame.pixels.push_back({p[0], p[1], p[2]});
        }
    return frame;
}

void GlTest::SetUp()
{
    restoreGameState();
    clearFrame();
}

void GlTest::TearDown()
{
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError()) << "OpenGL reported an error";
    if (HasFailure() && !frames_.empty()) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name
            = std::string("gl-failure-") + test->test_suite_name() + "-" + test->name() + ".ppm";
        for (char& c : name)
            if (c == '/')
                c = '_';
        frames_.back().save(name);
        std::cout << "the frame is in " << name << "\n";
    }
    frames_.clear();
}

const Image& GlTest::readFrame()
{
    frames_.push_back(readBackBuffer());
    return frames_.back();
}

// ---------------------------------------------------------------- sprite images

void writeQuadrantBmp(const std::string& path, const Quadrants& image)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    BITMAP* bitmap = create_bitmap_ex(24, 64, 64);
    if (!bitmap)
        throw std::runtime_error("no bitmap for " + path);
    const auto colour = [](Rgb c) { return makecol_depth(24, c.r, c.g, c.b); };
    // Allegro's rows run downwards: row 0 is the image's top row.
    rectfill(bitmap, 0, 0, 31, 31, colour(image.topLeft));
    rectfill(bitmap, 32, 0, 63, 31, colour(image.topRight));
    rectfill(bitmap, 0, 32, 31, 63, colour(image.bottomLeft));
    rectfill(bitmap, 32, 32, 63, 63, colour(image.bottomRight));
    const int failed = save_bmp(path.c_str(), bitmap, nullptr);
    destroy_bitmap(bitmap);
    if (failed)
        throw std::runtime_error("cannot save " + path);
}

std::string packDatafile(
    const std::string& folder, const std::string& name, const std::vector<std::string>& subFolders)
{
    std::vector<std::string> argv {DAT_TOOL, name, "-k", "-t", "DATA", "-r", "-a"};
    argv.insert(argv.end(), subFolders.begin(), subFolders.end());
    ChildProcess dat(argv, folder);
    if (dat.waitForExit(30) != 0)
        throw std::runtime_error("dat failed to pack " + name + ": " + dat.describe());
    return folder + "/" + name;
}

std::string testSpritePath(const std::string& object)
{
    static std::string datafile;
    if (datafile.empty()) {
        const std::string dir = makeScratchDir();
        writeQuadrantBmp(dir + "/Enemy/Quadrants", {red, green, blue, yellow});
        writeQuadrantBmp(dir + "/Enemy/PinkTopLeft", {maskPink, green, blue, yellow});
        writeQuadrantBmp(dir + "/Enemy/Red", {red, red, red, red});
        writeQuadrantBmp(dir + "/Enemy/Green", {green, green, green, green});
        writeQuadrantBmp(dir + "/Effects/RightHalfBlue", {maskPink, blue, maskPink, blue});
        datafile = packDatafile(dir, "sprites.dat", {"Enemy", "Effects"});
    }
    return datafile + "#" + object;
}

unsigned loadTestSprite(const std::string& object)
{
    return loadBMP(testSpritePath(object).c_str());
}

// ---------------------------------------------------------------- child processes

const char* const loadSpritesFlag = "--load-sprites";
const char* const chooseThenReplaceFlag = "--choose-then-replace-base.dat-with";

namespace {

void printAllegroErrorAtExit()
{
    std::printf("at exit [%s]\n", allegro_error);
    std::fflush(stdout);
}

} // namespace

int runLoaderChild(int count, char** paths)
{
    openGameContext();
    // Registered after Allegro's own exit handler, so it runs first, with allegro_error intact.
    std::atexit(printAllegroErrorAtExit);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(paths[i], chooseThenReplaceFlag) == 0 && i + 1 < count) {
            enterDataFolder();
            std::rename(paths[++i], "base.dat");
            continue;
        }
        // Nothing has gone wrong yet, so allegro_error is usually empty; a marker in it shows
        // whether a message really passes on what it holds.
        uszprintf(allegro_error, ALLEGRO_ERROR_SIZE, "(no error before loading %s)", paths[i]);
        const unsigned texture = loadBMP(paths[i]);
        std::printf("loaded %s %u [%s]\n", paths[i], texture, allegro_error);
        std::fflush(stdout);
    }
    return 0;
}

namespace {

std::vector<std::string> loaderCommand(const std::vector<std::string>& paths)
{
    std::vector<std::string> argv {
        std::filesystem::read_symlink("/proc/self/exe"), loadSpritesFlag};
    argv.insert(argv.end(), paths.begin(), paths.end());
    return argv;
}

} // namespace

LoaderRun::LoaderRun(const std::string& workDir, const std::vector<std::string>& paths)
    : ChildProcess(loaderCommand(paths), workDir)
{
    waitForExit(60);
}

std::vector<LoaderRun::Load> LoaderRun::loaded() const
{
    std::vector<Load> result;
    std::istringstream lines(output());
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("loaded ", 0) != 0)
            continue;
        std::istringstream fields(line.substr(7));
        Load load;
        fields >> load.path >> load.texture;
        const size_t open = line.find('[');
        if (open != std::string::npos && line.back() == ']')
            load.allegroError = line.substr(open + 1, line.size() - open - 2);
        result.push_back(load);
    }
    return result;
}

std::string LoaderRun::allegroErrorAtExit() const
{
    const std::string output = this->output();
    const std::string open = "at exit [";
    const size_t begin = output.rfind(open);
    const size_t end = output.rfind("]\n");
    if (begin == std::string::npos || end == std::string::npos || end < begin)
        return "(not printed)";
    return output.substr(begin + open.size(), end - begin - open.size());
}
