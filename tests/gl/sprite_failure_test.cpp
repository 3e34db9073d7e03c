// Sprites that cannot be loaded. Each case runs in a child process of its own, with a stand-in
// xmessage that records the message box: either this program as a loader child (which opens the
// game's window and calls loadBMP on each path as level set-up does), or the game itself.
#include "gl_support.h"
#include "util.h"

#include <filesystem>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The sprites in the order level set-up loads them.
const std::vector<std::string> gameSprites(std::begin(spritePaths), std::end(spritePaths));

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The text of a message box as xmessage gets it: Allegro ends it with a line break if it has none.
std::string shown(const std::string& text)
{
    return !text.empty() && text.back() == '\n' ? text : text + "\n";
}

// The test runs in the build folder, where the build leaves the game's base.dat.
std::string intactDatafile()
{
    const std::string bytes = readFile("base.dat");
    if (bytes.empty())
        ADD_FAILURE() << "no base.dat in " << fs::current_path() << ": run in the build folder";
    return bytes;
}

std::string randomBytes(size_t count)
{
    std::mt19937 generator(20240607);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = char(generator() & 0xff);
    return bytes;
}

// ---------------------------------------------------------------- loadBMP

TEST(SpriteLoading, AMissingObjectEndsTheGameWithCouldntOpen)
{
    ASSERT_FALSE(intactDatafile().empty());
    // A sprite that is there first: the child and its datafile work, and it is the missing
    // object that stops it, before the sprite after it.
    const ChildRun run = runLoaderInChild(fs::current_path(),
        {"base.dat#Enemy/RedAlien", "base.dat#Enemy/NoSuchAlien", "base.dat#Enemy/GreenAlien"});

    EXPECT_TRUE(run.exited && run.exitStatus == 1) << run.describe();
    const auto loaded = run.loaded();
    ASSERT_EQ(1u, loaded.size()) << run.describe();
    EXPECT_EQ("base.dat#Enemy/RedAlien", loaded[0].path);
    EXPECT_NE(0u, loaded[0].texture);
    ASSERT_EQ(1u, run.messages.size()) << run.describe();
    EXPECT_EQ(shown("Couldn't open base.dat#Enemy/NoSuchAlien\n" + run.allegroErrorAtExit()),
        run.messages[0]);
}

TEST(SpriteLoading, NoDatafileEndsTheGameAtTheFirstSprite)
{
    const ChildRun run = runLoaderInChild(makeScratchDir(), gameSprites);

    EXPECT_TRUE(run.exited && run.exitStatus == 1) << run.describe();
    EXPECT_TRUE(run.loaded().empty()) << run.describe();
    ASSERT_EQ(1u, run.messages.size()) << run.describe();
    EXPECT_EQ(shown("Couldn't open base.dat#Enemy/RedAlien\n" + run.allegroErrorAtExit()),
        run.messages[0]);
}

TEST(SpriteLoading, AnObjectThatIsNotAnImageGivesErrorReadingAndTextureZero)
{
    const std::string dir = makeScratchDir();
    writeFile(dir + "/Enemy/RedAlien", "A red alien, in words rather than pixels.\n");
    writeQuadrantBmp(dir + "/Enemy/GreenAlien", {green, green, green, green});
    packDatafile(dir, "base.dat", {"Enemy"});

    // The sprite after it still loads: the game goes on.
    const ChildRun run
        = runLoaderInChild(dir, {"base.dat#Enemy/RedAlien", "base.dat#Enemy/GreenAlien"});

    EXPECT_TRUE(run.exited && run.exitStatus == 0) << run.describe();
    const auto loaded = run.loaded();
    ASSERT_EQ(2u, loaded.size()) << run.describe();
    EXPECT_EQ(0u, loaded[0].texture);
    EXPECT_NE(0u, loaded[1].texture);
    ASSERT_EQ(1u, run.messages.size()) << run.describe();
    EXPECT_TRUE(startsWith(run.messages[0], "Error reading base.dat#Enemy/RedAlien\n"))
        << run.messages[0];
    EXPECT_EQ(
        shown("Error reading base.dat#Enemy/RedAlien\n" + loaded[0].allegroError), run.messages[0]);
}

// A datafile cut short ends inside its last sprite: the build's base.dat ends with that sprite's
// pixels. The sprite is not drawn from whatever the stream gave past its end: it is unreadable,
// and every other one loads.
TEST(SpriteLoading, ASpriteCutShortGivesErrorReadingAndTextureZero)
{
    const std::string intact = intactDatafile();
    for (const size_t cut : {size_t(100), size_t(1024)}) {
        SCOPED_TRACE("the last " + std::to_string(cut) + " bytes cut off");
        const std::string dir = makeScratchDir();
        writeFile(dir + "/base.dat", intact.substr(0, intact.size() - cut));

        const ChildRun run = runLoaderInChild(dir, gameSprites);

        EXPECT_TRUE(run.exited && run.exitStatus == 0) << run.describe();
        const auto loaded = run.loaded();
        ASSERT_EQ(gameSprites.size(), loaded.size()) << run.describe();
        std::vector<std::string> unreadable;
        for (const auto& load : loaded)
            if (load.texture == 0)
                unreadable.push_back(load.path);
        ASSERT_EQ(1u, unreadable.size()) << run.describe();
        ASSERT_EQ(1u, run.messages.size()) << run.describe();
        EXPECT_EQ(
            shown("Error reading " + unreadable[0] + "\nThe image is cut short"), run.messages[0]);
    }
}

// ---------------------------------------------------------------- damaged datafiles

struct Damage {
    const char* name;
    std::string (*apply)(const std::string& intact);
};
void PrintTo(const Damage& d, std::ostream* out) { *out << d.name; }

const Damage damages[] = {
    {"FirstHalfOnly",
        [](const std::string& intact) { return intact.substr(0, intact.size() / 2); }},
    {"RandomBytes", [](const std::string& intact) { return randomBytes(intact.size()); }},
    {"HeaderThenRandomBytes",
        [](const std::string& intact) {
            return intact.substr(0, 8) + randomBytes(intact.size() - 8);
        }},
    {"LastKilobyteCut",
        [](const std::string& intact) { return intact.substr(0, intact.size() - 1024); }},
};

std::string damagedFolder(const Damage& damage)
{
    const std::string dir = makeScratchDir();
    writeFile(dir + "/base.dat", damage.apply(intactDatafile()));
    return dir;
}

class DamagedDatafile : public testing::TestWithParam<Damage> {};

// Whatever the damage, each sprite either loads, or gives "Error reading" and texture 0, or gives
// "Couldn't open" and ends the process with status 1; never a crash.
TEST_P(DamagedDatafile, LoadsOrReportsButNeverCrashes)
{
    const ChildRun run = runLoaderInChild(damagedFolder(GetParam()), gameSprites);

    ASSERT_EQ(0, run.signal) << run.describe();
    ASSERT_FALSE(run.killedByUs) << run.describe();
    ASSERT_TRUE(run.exited) << run.describe();
    const auto loaded = run.loaded();
    ASSERT_LE(loaded.size(), gameSprites.size());

    size_t message = 0;
    int unreadable = 0;
    for (size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_EQ(gameSprites[i], loaded[i].path);
        if (loaded[i].texture != 0)
            continue;
        ++unreadable;
        ASSERT_LT(message, run.messages.size()) << run.describe();
        EXPECT_EQ(shown("Error reading " + gameSprites[i] + "\n" + loaded[i].allegroError),
            run.messages[message++]);
    }
    if (loaded.size() < gameSprites.size()) {
        EXPECT_EQ(1, run.exitStatus) << run.describe();
        ASSERT_LT(message, run.messages.size()) << run.describe();
        EXPECT_EQ(
            shown("Couldn't open " + gameSprites[loaded.size()] + "\n" + run.allegroErrorAtExit()),
            run.messages[message++]);
    } else {
        EXPECT_EQ(0, run.exitStatus) << run.describe();
    }
    EXPECT_EQ(message, run.messages.size()) << run.describe();

    std::ostringstream outcome;
    outcome << (loaded.size() - unreadable) << " of " << gameSprites.size() << " sprites loaded, "
            << unreadable << " unreadable (texture 0), ";
    if (loaded.size() < gameSprites.size())
        outcome << "then \"Couldn't open " << gameSprites[loaded.size()] << "\" and exit 1";
    else
        outcome << "exit 0";
    std::cout << "[  outcome ] " << GetParam().name << ": " << outcome.str() << "\n";
    RecordProperty("outcome", outcome.str());
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedDatafile, testing::ValuesIn(damages),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the game itself

// A copy of the game with no datafile beside it nor in the data folders it would be installed with.
TEST(GameStartUp, WithoutADatafileAnywhereTheGameSaysWhichSpriteAndWhereItLookedAndExits1)
{
    const fs::path prefix = makeScratchDir();
    fs::create_directories(prefix / "bin");
    fs::copy_file(OUTBREAK_BINARY, prefix / "bin/outbreak");
    const std::string workDir = makeScratchDir();

    const ChildRun run = runChild({prefix / "bin/outbreak"}, workDir, 60);

    ASSERT_EQ(0, run.signal) << run.describe();
    EXPECT_TRUE(run.exited && run.exitStatus == 1) << run.describe();
    ASSERT_EQ(1u, run.messages.size()) << run.describe();
    const std::string& message = run.messages[0];
    EXPECT_TRUE(startsWith(message, "Couldn't open base.dat#Enemy/RedAlien\n")) << message;
    const std::string lookedIn = "\nLooked for base.dat in: " + workDir + ", "
        + (prefix / "bin").string() + ", "
        + (prefix / "bin" / OUTBREAK_DATA_FROM_BINDIR).lexically_normal().string() + ", "
        + (prefix / "bin" / OUTBREAK_DATA_FROM_GAMESDIR).lexically_normal().string() + "\n";
    EXPECT_EQ(lookedIn, message.substr(message.size() - std::min(message.size(), lookedIn.size())))
        << message;
}

// The game has a good base.dat beside it, but the one in the working directory comes first,
// damaged or not.
TEST(GameStartUp, ADamagedDatafileInTheWorkingDirectoryIsAnErrorNotPassedOver)
{
    const std::string workDir = makeScratchDir();
    writeFile(workDir + "/base.dat", randomBytes(intactDatafile().size()));

    const ChildRun run = runChild({OUTBREAK_BINARY}, workDir, 20);

    ASSERT_EQ(0, run.signal) << run.describe();
    EXPECT_TRUE(run.exited && run.exitStatus == 1) << run.describe();
    ASSERT_EQ(1u, run.messages.size()) << run.describe();
    EXPECT_TRUE(startsWith(run.messages[0], "Couldn't open base.dat#Enemy/RedAlien\n"))
        << run.describe();
    EXPECT_EQ(std::string::npos, run.messages[0].find("Looked for")) << run.describe();
}

class GameWithDamagedDatafile : public testing::TestWithParam<Damage> {};

// The game either stops with status 1 after its message, or plays on with what it could read;
// it is ended after a second of play.
TEST_P(GameWithDamagedDatafile, ExitsWithStatus1OrRunsButNeverCrashes)
{
    const ChildRun run = runChild({OUTBREAK_BINARY}, damagedFolder(GetParam()), 1.0);

    ASSERT_EQ(0, run.signal) << run.describe();
    std::string outcome;
    if (run.killedByUs) {
        outcome = "running after 1 s, so the test ended it";
    } else {
        EXPECT_TRUE(run.exited && run.exitStatus == 1) << run.describe();
        ASSERT_FALSE(run.messages.empty()) << run.describe();
        EXPECT_TRUE(startsWith(run.messages.back(), "Couldn't open base.dat#")) << run.describe();
        outcome = "exit status " + std::to_string(run.exitStatus) + " after \""
            + run.messages.back().substr(0, run.messages.back().find('\n')) + "\"";
    }
    std::cout << "[  outcome ] " << GetParam().name << ": " << outcome << "\n";
    RecordProperty("outcome", outcome);
}

INSTANTIATE_TEST_SUITE_P(Damages, GameWithDamagedDatafile, testing::ValuesIn(damages),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

} // namespace
