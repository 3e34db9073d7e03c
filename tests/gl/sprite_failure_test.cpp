// Sprites and datafiles that cannot be loaded. Each case runs in a child process of its own, with a
// stand-in xmessage that records the message box: either this program as a loader child (which
// opens the game's window and calls loadBMP on each path as level set-up does), or the game itself.
#include "bmp_bytes.h"
#include "datafile_check.h"
#include "gl_support.h"
#include "running_game.h"
#include "util.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <link.h>
#include <numeric>
#include <random>

namespace {

namespace fs = std::filesystem;

// The sprites in the order level set-up loads them.
const std::vector<std::string> gameSprites(std::begin(spritePaths), std::end(spritePaths));

// The text of a message box as xmessage gets it: the game ends it with a line break if it has none.
std::string shown(const std::string& text)
{
    return !text.empty() && text.back() == '\n' ? text : text + "\n";
}

// The test runs in the build folder, where the build leaves the game's base.dat and its sprites.
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

// The game's sprites packed anew by the dat tool, with Enemy/RedAlien holding image.
std::string repackedWithRedAlien(const std::string& image)
{
    const std::string dir = makeScratchDir();
    for (const char* path : spritePaths) {
        const std::string object = spriteObject(path);
        writeFile(dir + "/" + object, readFile("sprites/" + object));
    }
    writeFile(dir + "/Enemy/RedAlien", image);
    return readFile(packDatafile(dir, "base.dat", {"Enemy", "Effects"}));
}

// The game's sprites packed anew without the effects, which come last: the aliens load, textures
// and all, before the game misses them.
std::string repackedWithoutTheEffects()
{
    const std::string dir = makeScratchDir();
    for (const char* path : spritePaths) {
        const std::string object = spriteObject(path);
        writeFile(dir + "/" + object, readFile("sprites/" + object));
    }
    return readFile(packDatafile(dir, "base.dat", {"Enemy"}));
}

// The game's datafile with the size of its first property (its first object's name) made wild.
std::string wildPropertySize(const std::string& intact)
{
    return intact.substr(0, 20) + "\xff\xff\xff\xf0" + intact.substr(24);
}

// ---------------------------------------------------------------- loadBMP

TEST(SpriteLoading, AMissingObjectEndsTheGameWithCouldntOpenAndWhy)
{
    ASSERT_FALSE(intactDatafile().empty());
    // A sprite that is there first: the child and its datafile work, and it is the missing
    // object that stops it, before the sprite after it.
    LoaderRun run(fs::current_path(),
        {"base.dat#Enemy/RedAlien", "base.dat#Enemy/NoSuchAlien", "base.dat#Enemy/GreenAlien"});

    EXPECT_EQ(1, run.status()) << run.describe();
    const auto loaded = run.loaded();
    ASSERT_EQ(1u, loaded.size()) << run.describe();
    EXPECT_EQ("base.dat#Enemy/RedAlien", loaded[0].path);
    EXPECT_NE(0u, loaded[0].texture);
    const std::string why
        = (fs::current_path() / "base.dat").string() + " has no object Enemy/NoSuchAlien";
    // At once: no exit handler runs, Allegro's shutdown (which could hang) among them.
    EXPECT_EQ("(not printed)", run.allegroErrorAtExit()) << run.describe();
    ASSERT_EQ(1u, run.messages().size()) << run.describe();
    EXPECT_EQ("Couldn't open base.dat#Enemy/NoSuchAlien\n" + why + "\n", run.messages()[0]);
}

TEST(SpriteLoading, NoDatafileEndsTheGameAtTheFirstSprite)
{
    const std::string dir = makeScratchDir();
    LoaderRun run(dir, gameSprites);

    EXPECT_EQ(1, run.status()) << run.describe();
    EXPECT_TRUE(run.loaded().empty()) << run.describe();
    ASSERT_EQ(1u, run.messages().size()) << run.describe();
    EXPECT_EQ("Couldn't open base.dat#Enemy/RedAlien\n" + dir
            + "/base.dat cannot be read: No such file or directory\n",
        run.messages()[0]);
}

TEST(SpriteLoading, AnObjectThatIsNotAnImageGivesErrorReadingAndTextureZero)
{
    const std::string dir = makeScratchDir();
    writeFile(dir + "/Enemy/RedAlien", "A red alien, in words rather than pixels.\n");
    writeQuadrantBmp(dir + "/Enemy/GreenAlien", {green, green, green, green});
    packDatafile(dir, "base.dat", {"Enemy"});

    // The sprite after it still loads: the game goes on.
    LoaderRun run(dir, {"base.dat#Enemy/RedAlien", "base.dat#Enemy/GreenAlien"});

    EXPECT_EQ(0, run.status()) << run.describe();
    const auto loaded = run.loaded();
    ASSERT_EQ(2u, loaded.size()) << run.describe();
    EXPECT_EQ(0u, loaded[0].texture);
    EXPECT_NE(0u, loaded[1].texture);
    ASSERT_EQ(1u, run.messages().size()) << run.describe();
    EXPECT_EQ(shown("Error reading base.dat#Enemy/RedAlien\nThe object is not a BMP image"),
        run.messages()[0]);
}

// The folder choice reads base.dat once: a file put in its place afterwards changes nothing.
TEST(SpriteLoading, ADatafileReplacedAfterTheFolderChoiceChangesNothing)
{
    const std::string dir = makeScratchDir();
    writeFile(dir + "/base.dat", intactDatafile());
    writeFile(dir + "/damaged", "Not a datafile at all.\n");
    std::vector<std::string> paths {chooseThenReplaceFlag, dir + "/damaged"};
    paths.insert(paths.end(), gameSprites.begin(), gameSprites.end());
    LoaderRun run(dir, paths);
    EXPECT_FALSE(fs::exists(dir + "/damaged")) << "not put in place of base.dat";
    EXPECT_TRUE(run.status() == 0 && run.messages().empty()) << run.describe();
    EXPECT_EQ(gameSprites.size(), run.loaded().size()) << run.describe();
}

// ---------------------------------------------------------------- damaged datafiles

// Datafiles that crashed the loader, or loaded garbage, before the game checked them. The
// verdicts themselves are the unit tests'; here the player sees them, and nothing crashes.
struct Damage {
    const char* name;
    std::string (*apply)(const std::string& intact);
    const char* says; // what the message box says of it
};
void PrintTo(const Damage& d, std::ostream* out) { *out << d.name; }

const Damage damages[] = {
    {"FirstHalfOnly", [](const std::string& intact) { return intact.substr(0, intact.size() / 2); },
        "base.dat is damaged: the object at byte "},
    {"RandomBytes", [](const std::string& intact) { return randomBytes(intact.size()); },
        "base.dat is not an Allegro datafile"},
    {"HeaderThenRandomBytes",
        [](const std::string& intact) {
            return intact.substr(0, 8) + randomBytes(intact.size() - 8);
        },
        "base.dat is damaged: "},
    {"LastKilobyteCut",
        [](const std::string& intact) { return intact.substr(0, intact.size() - 1024); },
        "base.dat is damaged: the object at byte "},
    {"WildSizeInAProperty", wildPropertySize,
        "base.dat is damaged: the property at byte 12 claims 4294967280 bytes"},
    {"RleJunkInASprite",
        [](const std::string&) {
            return repackedWithRedAlien(bmpBytes({.bits = 8, .compression = 1}));
        },
        "The image is run-length compressed (RLE)"},
    {"SixteenBitBitFieldsSpriteCutByOneByte",
        [](const std::string&) {
            return repackedWithRedAlien(bmpBytes({.bits = 16, .compression = 3, .cut = 1}));
        },
        "The image is cut short"},
    {"SixteenBitBitFieldsSpriteCutByABlock",
        [](const std::string&) {
            return repackedWithRedAlien(bmpBytes({.bits = 16, .compression = 3, .cut = 4096}));
        },
        "The image is cut short"},
};

class DamagedDatafile : public testing::TestWithParam<Damage> {};

// A damaged datafile ends the loader at its first sprite with "Couldn't open", what is damaged and
// status 1; a refused image gives "Error reading", why, and texture 0, and the others load.
TEST_P(DamagedDatafile, GetsItsMessageAndNeverCrashes)
{
    const std::string damaged = GetParam().apply(intactDatafile());
    const std::string dir = makeScratchDir();
    writeFile(dir + "/base.dat", damaged);

    LoaderRun run(dir, gameSprites);

    ASSERT_GE(run.status(), 0) << run.describe();
    const auto loaded = run.loaded();
    std::vector<std::string> expected;
    const std::string fault = datafileFault(damaged);
    if (!fault.empty()) {
        EXPECT_EQ(1, run.status()) << run.describe();
        EXPECT_TRUE(loaded.empty()) << run.describe();
        expected.push_back(
            "Couldn't open " + gameSprites[0] + "\n" + dir + "/base.dat " + fault + "\n");
    } else {
        EXPECT_EQ(0, run.status()) << run.describe();
        ASSERT_EQ(gameSprites.size(), loaded.size()) << run.describe();
        for (size_t i = 0; i < loaded.size(); ++i) {
            const auto image = datafileObject(damaged, spriteObject(spritePaths[i]));
            if (!image) {
                ADD_FAILURE() << "no " << spritePaths[i] << " in the damaged datafile";
                continue;
            }
            const std::string refused = bmpFault(*image);
            EXPECT_EQ(refused.empty(), loaded[i].texture != 0) << loaded[i].path;
            if (!refused.empty())
                expected.push_back(shown("Error reading " + gameSprites[i] + "\n" + refused));
        }
    }
    const std::vector<std::string> messages = run.messages();
    EXPECT_EQ(expected, messages) << run.describe();
    const std::string all = std::accumulate(messages.begin(), messages.end(), std::string());
    EXPECT_NE(std::string::npos, all.find(GetParam().says)) << run.describe();
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedDatafile, testing::ValuesIn(damages),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the game itself

// A folder that anyone may enter, for a game run as another user.
std::string openScratchDir()
{
    const std::string dir = makeScratchDir();
    fs::permissions(dir, fs::perms::all, fs::perm_options::replace);
    return dir;
}

// Where a copy of the game in prefix/bin looks for the data folder installed with it, the prefix
// being a folder of the given name.
struct GameCopy {
    explicit GameCopy(const std::string& folder) : prefix(openScratchDir() / fs::path(folder)) {}
    fs::path prefix;
    fs::path bin = prefix / "bin";
    fs::path dataFolder = (bin / OUTBREAK_DATA_FROM_BINDIR).lexically_normal();
    fs::path debianDataFolder = (bin / OUTBREAK_DATA_FROM_GAMESDIR).lexically_normal();
};

// The text with every from replaced by with.
std::string replacedAll(std::string text, const std::string& from, const std::string& with)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += with.size())
        text.replace(at, from.size(), with);
    return text;
}

// The command that runs the game with at most count processes, threads included, and the variable
// (NAME=value) in its environment if one is given, as an ordinary user: where the test runs as
// root, whom the limit does not hold, as a user of the test's own, whose processes are only the
// game's (the limit counts every process of the user's). No box can be had there, and the
// stand-in xmessage is out of that user's reach: the game is given none.
std::vector<std::string> withProcesses(int count, const std::string& variable = "")
{
    std::vector<std::string> launcher;
    const std::string user = std::to_string(60000 + getpid() % 5000);
    if (geteuid() == 0)
        launcher = {"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups"};
    std::vector<std::string> limited {"/usr/bin/prlimit", "--nproc=" + std::to_string(count),
        "/usr/bin/env", "PATH=/nonexistent"};
    if (!variable.empty())
        limited.push_back(variable);
    launcher.insert(launcher.end(), limited.begin(), limited.end());
    return launcher;
}

// The dynamic loader that started this program, as it starts the game: where the game is started
// through it, its own path is the loader's.
std::string dynamicLoader()
{
    std::string loader;
    dl_iterate_phdr(
        [](dl_phdr_info* program, size_t, void* found) {
            for (int i = 0; i < program->dlpi_phnum; ++i)
                if (program->dlpi_phdr[i].p_type == PT_INTERP)
                    *static_cast<std::string*>(found) = reinterpret_cast<const char*>(
                        program->dlpi_addr + program->dlpi_phdr[i].p_vaddr);
            return 1; // the program comes first
        },
        &loader);
    return loader;
}

// A folder of folders some bytes deep.
std::string deepFolder(size_t bytes)
{
    std::string folder = "Игры";
    while (folder.size() < bytes)
        folder += "/" + std::string(100, 'd');
    return folder;
}

} // namespace

// The game has no usable datafile anywhere: a stray one in the working directory, none beside it,
// none in its data folder. Whatever its folders are named, whatever the locale, whoever started
// it, the player reads why in a box, once; where the system refuses it what it needs, it still
// says why, and ends with status 1 at once.
TEST(GameStartUp, WithoutAUsableDatafileTheGameSaysWhereItLookedAndWhyAndExits1)
{
    const struct {
        const char* what;
        std::string folder;                // of the game's prefix
        std::vector<std::string> launcher; // what the game is started through
        const char* lang;                  // LANG, with LC_ALL and LC_CTYPE unset; or none
        const char* says;                  // under a limit: what the game says, in a box or not
        bool ownDatafileLacksTheEffects = false; // beside the game, rather than none
        bool saysItInABox = false;               // the says in a box, not only on standard error
    } rows[] = {
        {"folders named in Cyrillic and Japanese", "Игры/ゲーム", {}, nullptr, nullptr},
        // Old archives and memory cards name folders in Latin-1: the box shows U+FFFD for them.
        {"a folder named in Latin-1", "Fotos-\xe9t\xe9", {}, nullptr, nullptr},
        // A locale that claims UTF-8 but that the C library lacks (as en_US.UTF-8 on a minimal
        // system, or forwarded by ssh): the box reads its text in one that is there.
        {"a UTF-8 locale the system lacks", "Игры/ゲーム", {}, "xx_XX.UTF-8", nullptr},
        // A locale the system has whose letters are ASCII alone: the box reads its text in UTF-8.
        {"a locale that is not UTF-8", "Игры/ゲーム", {}, "C", nullptr},
        // The system reaps the children of a parent that ignores SIGCHLD, unless the game takes
        // that back: the box's end would be lost, and its text said twice.
        {"a parent that ignores SIGCHLD", "Игры", {"/bin/bash", "-c", "trap '' CHLD; exec \"$0\""},
            nullptr, nullptr},
        // What cannot be started is said on standard error, whatever it is: too few threads for
        // Allegro before it starts; with a few more, the OpenGL driver draws without threads of
        // its own, and the box, which gets no process, goes to standard error.
        {"2 processes", "Игры", withProcesses(2), nullptr,
            "Outbreak needs to run 3 threads at once, but the system lets it run only 2.\n"},
        {"4 processes", "Игры", withProcesses(4), nullptr, "Couldn't open ", true},
        // The player's own number of drawing threads, too many for the limit, waited for ever.
        {"4 processes, the player's LP_NUM_THREADS=8", "Игры", withProcesses(4, "LP_NUM_THREADS=8"),
            nullptr,
            "Outbreak: the OpenGL driver draws with 0 threads of its own, not the 8 that"
            " LP_NUM_THREADS asks for"},
        // The game opens 13 files beside the standard streams; the numbers it says add up.
#ifndef OUTBREAK_SANITIZE // whose runtime opens a pipe for its own checks, and fails without one
        {"5 open files", "Игры", {"/usr/bin/prlimit", "--nofile=5"}, nullptr,
            "needs to open 13 files, but may open only 2 more: 3 are open already"},
#endif
        {"15 open files", "Игры", {"/usr/bin/prlimit", "--nofile=15"}, nullptr,
            "needs to open 13 files, but may open only 12 more: 3 are open already"},
        // Files its launcher left open count against the limit, those above it not.
        {"16 files, 7 left open", "Игры",
            {"/usr/bin/prlimit", "--nofile=16", "/bin/sh", "-c",
                "exec 3<&0 4<&0 5<&0 6<&0 7<&0 8<&0 9<&0; exec \"$0\""},
            nullptr, "needs to open 13 files, but may open only 6 more: 10 are open already"},
        {"16 files, one left open above them", "Игры",
            {"/bin/bash", "-c", "exec 200<&0; exec /usr/bin/prlimit --nofile=16 \"$0\""}, nullptr,
            nullptr},
#ifndef OUTBREAK_SANITIZE // whose shadow memory takes terabytes of address space
        {"256 MB of memory", "Игры", {"/usr/bin/prlimit", "--as=268435456"}, nullptr,
            "Outbreak needs 400 MB of memory, but may have only 256 MB.\n"},
#endif
        // A soft limit below the hard one is raised to it.
#ifndef OUTBREAK_SANITIZE
        {"5 open files, 64 at most", "Игры", {"/usr/bin/prlimit", "--nofile=5:64"}, nullptr,
            nullptr},
#endif
        // Under a file-size limit, a message to a file is cut where the limit is, and the game
        // ends as it would have.
        {"no file size, standard error a file", deepFolder(600),
            {"/bin/sh", "-c", "ulimit -f 1; PATH=/nonexistent exec \"$0\" 2>errors"}, nullptr,
            "Couldn't open base.dat#Enemy/RedAlien\n"},
        // Control sequences in a folder's name reach no terminal; the box's program shows them
        // as it does.
        {"terminal escapes in a folder's name", "Игры\x1b[2J\x1b]0;T\x07",
            {"/usr/bin/env", "PATH=/nonexistent"}, nullptr, "Игры\\x1b[2J\\x1b]0;T\\x07/bin"},
        // Started through the dynamic loader, the game is the loader's own path: the box shows
        // all the same, and where the game looked is said from the loader's folder.
        {"through the dynamic loader", "Игры", {dynamicLoader()}, nullptr,
            "Couldn't open base.dat#Enemy/RedAlien\n", false, true},
        // A line too long for three rows on the screen is shortened in its middle.
        {"a folder 4000 bytes deep", deepFolder(4000), {}, nullptr, "\u2026"},
    };
    for (const auto& row : rows) {
        const GameCopy game(row.folder);
        const std::string workDir = openScratchDir();
        writeFile(workDir + "/base.dat", "Not a datafile at all.\n");
        if (row.ownDatafileLacksTheEffects)
            writeFile(game.bin / "base.dat", repackedWithoutTheEffects());
        GameOptions options = copyOfTheGame(game.bin, workDir);
        options.launcher.insert(options.launcher.end(), row.launcher.begin(), row.launcher.end());
        if (row.lang)
            options.environment = {{"LC_ALL", nullptr}, {"LC_CTYPE", nullptr}, {"LANG", row.lang}};
        RunningGame run(options);
        SCOPED_TRACE(row.what);

        EXPECT_EQ(1, run.waitForExit(8 * slowness)) << run.describe();
        if (row.says) {
            // Where no box can be had, the message is on standard error all the same.
            const std::vector<std::string> boxes = run.messages();
            const std::string inBoxes = std::accumulate(boxes.begin(), boxes.end(), std::string());
            const std::string told = inBoxes + run.output() + readFile(workDir + "/errors");
            EXPECT_NE(std::string::npos, told.find(row.says)) << run.describe();
            if (row.saysItInABox) {
                EXPECT_NE(std::string::npos, inBoxes.find(row.says)) << run.describe();
            }
            if (row.ownDatafileLacksTheEffects) {
                EXPECT_NE(
                    std::string::npos, told.find(gameSprites.back() + "\n" + game.bin.string()));
            }
            EXPECT_EQ(std::string::npos, run.output().find('\x1b'));
            continue;
        }
        if (run.messages().size() != 1u) {
            ADD_FAILURE() << "not one message box: " << run.describe();
            continue;
        }
        const std::string text = "Couldn't open base.dat#Enemy/RedAlien\n" + workDir
            + "/base.dat is not an Allegro datafile\n"
              "Looked for base.dat in:\n  "
            + workDir + ": base.dat is not an Allegro datafile\n  " + game.bin.string()
            + ": no base.dat\n  " + game.dataFolder.string() + ": no base.dat\n  "
            + game.debianDataFolder.string() + ": no base.dat\n";
        EXPECT_EQ(replacedAll(text, "\xe9", "\uFFFD"), run.messages()[0]);
        // Whole on standard error too, and once.
        EXPECT_EQ(text, run.output());
    }
}

namespace {

// A base.dat in the working directory that is not the game's, or is damaged, is passed over for
// the one beside the game: the game shows its first frame, so every sprite loaded, with no
// message, and plays until it is asked to stop.
TEST(GameStartUp, AStrayDatafileInTheWorkingDirectoryIsPassedOver)
{
    const std::string testSprites = testSpritePath("");
    const std::string otherProgramsDatafile
        = readFile(testSprites.substr(0, testSprites.find('#')));
    const std::pair<const char*, std::string> strays[] = {
        {"random bytes", randomBytes(1000)}, {"another program's datafile", otherProgramsDatafile}};
    for (const auto& [what, stray] : strays) {
        SCOPED_TRACE(what);
        GameOptions options;
        options.workDir = makeScratchDir();
        options.stop = GameOptions::Stop::atFirstFrame;
        writeFile(options.workDir + "/base.dat", stray);
        RunningGame game(options);

        EXPECT_EQ(640, game.firstFrame(10 * slowness).width) << game.describe();
        EXPECT_TRUE(game.messages().empty()) << game.describe();
        game.signal(SIGTERM);
        EXPECT_EQ(0, game.waitForExit(3 * slowness)) << game.describe();
    }
}

// Beside the game, a damaged datafile is the game's own: an error, not passed over for the
// intact one in the data folder.
TEST(GameStartUp, ADamagedDatafileBesideTheGameIsAnError)
{
    const GameCopy game("Игры/ゲーム");
    const std::string damaged = wildPropertySize(intactDatafile());
    writeFile(game.bin / "base.dat", damaged);
    writeFile(game.dataFolder / "base.dat", intactDatafile());
    const std::string workDir = makeScratchDir();

    RunningGame run(copyOfTheGame(game.bin, workDir));

    EXPECT_EQ(1, run.waitForExit(60)) << run.describe();
    ASSERT_EQ(1u, run.messages().size()) << run.describe();
    EXPECT_EQ("Couldn't open base.dat#Enemy/RedAlien\n" + game.bin.string() + "/base.dat "
            + datafileFault(damaged) + "\nLooked for base.dat in:\n  " + workDir
            + ": no base.dat\n",
        run.messages()[0]);
}

} // namespace
