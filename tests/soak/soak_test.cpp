// Random play of many seeded games of the whole simulation, without a window. A player clicks
// every 11th frame or later, at random points and at aliens' centres, and the frame loop's wait
// runs extra collision passes now and then. After every step, click and wait the world must
// still be sound: every number finite, every radius above 0 and at most its kind's, every state
// one of the game's, no enemy appearing from nowhere, one picked alien at most and the world
// knowing it has one; and a click with an alien picked always ends the pick. No assertion of the
// game may fire. A game that is lost starts the next seed.
//
// Default: 28 games of at most 1200 steps each, seeds 1 to 28 (some 19000 steps in all); every run
// plays 10,000 steps at least, and must have picked, fired and dissolved aliens. Longer runs:
//   soak_tests --games 50 --steps 20000 [--seed 1]
// or the environment variables OUTBREAK_SOAK_GAMES, OUTBREAK_SOAK_STEPS, OUTBREAK_SOAK_SEED; the
// command line wins. A failure names its seed and step; --seed S --games 1 plays that game again.

#include "GameWorld.h"
#include "headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct SoakSettings {
    int games = 28;
    int steps = 1200; // per game, unless the game is lost sooner
    unsigned seed = 1;
};

SoakSettings settings;

const long leastSteps = 10000; // in all, however few are asked for, so that the soak sees play

bool finite(const Vector2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

std::string describe(const Vector2& v)
{
    std::ostringstream out;
    out << "(" << v.x << ", " << v.y << ")";
    return out.str();
}

// What is wrong with the world, or "" when nothing is. ceiling holds the enemy count of the
// previous check in the same game: enemies only ever leave the world.
std::string worldFaults(const GameWorld& w, size_t& ceiling)
{
    std::ostringstream out;
    if (!finite(w.launchPoint))
        out << "launchPoint " << describe(w.launchPoint) << " is not finite; ";
    if (!finite(w.size))
        out << "size " << describe(w.size) << " is not finite; ";
    if (!finite(w.gravity))
        out << "gravity " << describe(w.gravity) << " is not finite; ";

    int index = 0;
    int reported = 0;
    int picked = 0;
    for (const Enemy& e : w.enemies) {
        std::ostringstream bad;
        if (!finite(e.position) || !finite(e.oldPosition) || !finite(e.acceleration)
            || !std::isfinite(e.radius))
            bad << "a number that is not finite";
        else if (!e.type)
            bad << "no kind";
        else if (!(e.radius > 0 && e.radius <= e.type->radius))
            bad << "a radius outside (0, " << e.type->radius << "]";
        else if (e.state < EnemyType::NORMAL || e.state > EnemyType::DISOLVING)
            bad << "no valid state";
        if (!bad.str().empty() && reported++ < 3) {
            out << "enemy " << index << " has " << bad.str() << ": position "
                << describe(e.position) << " oldPosition " << describe(e.oldPosition)
                << " acceleration " << describe(e.acceleration) << " radius " << e.radius
                << " state " << e.state << "; ";
        }
        if (e.state == EnemyType::SELECTED)
            ++picked;
        ++index;
    }
    if (reported > 3)
        out << "and " << reported - 3 << " more enemies like these; ";

    if (w.enemies.size() > ceiling)
        out << "the enemy count grew from " << ceiling << " to " << w.enemies.size() << "; ";
    else
        ceiling = w.enemies.size();
    if (picked > 1)
        out << picked << " enemies are SELECTED at once; ";
    if (picked == 1 && !w.selected)
        out << "an enemy is SELECTED but the world's selected flag is false; ";
    return out.str();
}

int countState(const GameWorld& w, int state)
{
    int n = 0;
    for (const Enemy& e : w.enemies)
        if (e.state == state)
            ++n;
    return n;
}

struct Tally {
    long games = 0;
    long lostGames = 0; // games that ended with step() returning false
    long steps = 0;
    long clicks = 0;
    long selections = 0;
    long launches = 0;
    long lostPicks = 0; // launch clicks that found the picked alien infected on its way
    long extraPasses = 0;
    long dissolved = 0; // enemies removed from the world
};

class Player {
public:
    // Each game gets a player of its own temper: one who holds the button down, one who clicks
    // now and then, one who mostly watches, and one who hardly ever clicks, whose games can run
    // until the hard balls come down.
    Player(GameWorld& world, unsigned seed) : w(world), rng(seed * 2654435761u + 97)
    {
        const int tempers[][2] = {{11, 30}, {11, 130}, {60, 660}, {600, 3000}}; // pauses
        const int* temper = tempers[rng() % 8 == 0 ? 3 : rng() % 3];            // few idle ones
        fastest = temper[0];
        slowest = temper[1];
    }

    // Frames until the next click; a held button repeats every 11th frame.
    int clickPause() { return fastest + int(rng() % unsigned(slowest - fastest + 1)); }

    // Where the next click lands: the launch point itself now and then (a launch with no
    // direction), a random point in the box, or the centre of an enemy. While an alien is picked,
    // half of the aimed clicks go to aliens of its own colour, so that launches infect.
    Vector2 clickPoint()
    {
        const unsigned roll = rng() % 100;
        if (roll < 2)
            return w.launchPoint;
        if (roll < 35 || w.enemies.empty()) {
            std::uniform_real_distribution<float> x(0, w.size.x), y(0, w.size.y);
            return Vector2(x(rng), y(rng));
        }
        const Enemy* picked = nullptr;
        for (const Enemy& e : w.enemies)
            if (e.state == EnemyType::SELECTED)
                picked = &e;
        if (picked && roll < 70) {
            std::vector<const Enemy*> kin;
            for (const Enemy& e : w.enemies)
                if (&e != picked && e.type == picked->type)
                    kin.push_back(&e);
            if (!kin.empty())
                return kin[rng() % kin.size()]->position;
        }
        // With nothing picked, a share of the clicks picks the alien nearest to an infected one
        // of its colour, often the one just fired: pulled away past it, the pick may catch the
        // infection and be lost before its launch.
        if (!picked && roll < 60) {
            const Enemy* nearest = nullptr;
            float best = std::numeric_limits<float>::max();
            for (const Enemy& sick : w.enemies) {
                if (sick.state != EnemyType::INFECTED)
                    continue;
                for (const Enemy& e : w.enemies) {
                    const float d = (e.position - sick.position).LengthSqr();
                    if (e.state == EnemyType::NORMAL && e.type == sick.type && d < best) {
                        best = d;
                        nearest = &e;
                    }
                }
            }
            if (nearest)
                return nearest->position;
        }
        return std::next(w.enemies.begin(), long(rng() % w.enemies.size()))->position;
    }

    // Collision passes the frame loop's wait runs after this frame. On a real machine it fits
    // hundreds into every frame; here most frames get none, some a few, and a rare one a frame's
    // worth, so that the soak stays quick yet sees a heap pressed by many passes in a row.
    int extraPasses()
    {
        const unsigned roll = rng() % 1000;
        if (roll == 0)
            return 300;
        if (roll < 60)
            return 1 + int(rng() % 12);
        return 0;
    }

private:
    GameWorld& w;
    std::mt19937 rng;
    int fastest = 11;
    int slowest = 11;
};

// Plays one game of at most maxSteps steps. Returns "" or the first fault, with where it was.
std::string playGame(unsigned seed, int maxSteps, Tally& tally)
{
    GameWorld w;
    srand(seed);
    w.loadLevel();
    Player player(w, seed);
    size_t ceiling = w.enemies.size();
    ++tally.games;

    auto fault = [&](int step, const char* when, const std::string& what) {
        std::ostringstream out;
        out << "seed " << seed << ", step " << step << ", " << when << ": " << what
            << "\n  replay: soak_tests --seed " << seed << " --games 1 --steps " << step;
        return out.str();
    };

    std::string what = worldFaults(w, ceiling);
    if (!what.empty())
        return fault(0, "after loading the level", what);

    int untilClick = player.clickPause();
    for (int step = 1; step <= maxSteps; ++step) {
        const size_t before = w.enemies.size();
        const bool goesOn = w.step();
        ++tally.steps;
        if (w.enemies.size() <= before)
            tally.dissolved += long(before - w.enemies.size());
        what = worldFaults(w, ceiling);
        if (!what.empty())
            return fault(step, "after the step", what);
        if (!goesOn) {
            ++tally.lostGames;
            return "";
        }

        if (--untilClick <= 0) {
            const bool wasPicked = w.selected;
            const int launchable
                = countState(w, EnemyType::SELECTED) + countState(w, EnemyType::READY);
            w.mouseButton(player.clickPoint());
            ++tally.clicks;
            if (!wasPicked && w.selected)
                ++tally.selections;
            if (wasPicked && launchable > 0)
                ++tally.launches;
            if (wasPicked && launchable == 0)
                ++tally.lostPicks;
            what = worldFaults(w, ceiling);
            // A click with an alien picked fires it, or gives up a pick that was infected on
            // its way; either way the next click picks again.
            if (what.empty() && wasPicked && w.selected)
                what = "a launch click left the world with an alien picked; ";
            if (!what.empty())
                return fault(step, "after a click", what);
            untilClick = player.clickPause();
        }

        const int passes = player.extraPasses();
        for (int i = 0; i < passes; ++i)
            w.useExtraCycles();
        tally.extraPasses += passes;
        if (passes > 0) {
            what = worldFaults(w, ceiling);
            if (!what.empty())
                return fault(step, "after the extra passes", what);
        }
    }
    return "";
}

class WorldChecks : public ::testing::Test {
protected:
    void SetUp() override
    {
        startHeadlessAllegro(OUTBREAK_DATA_DIR);
        srand(1);
        w.loadLevel();
        ceiling = w.enemies.size();
    }

    Enemy& enemy(int index) { return *std::next(w.enemies.begin(), index); }

    GameWorld w;
    size_t ceiling = 0;
};

// The checks must see each kind of fault, or a soak that passes would prove nothing.
TEST_F(WorldChecks, AFreshLevelIsSound) { EXPECT_EQ(worldFaults(w, ceiling), ""); }

TEST_F(WorldChecks, NumbersThatAreNotFiniteAreFaults)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    enemy(5).position.y = nan;
    EXPECT_NE(
        worldFaults(w, ceiling).find("enemy 5 has a number that is not finite"), std::string::npos);
    enemy(5).position.y = 100;
    enemy(7).oldPosition.x = -inf;
    EXPECT_NE(
        worldFaults(w, ceiling).find("enemy 7 has a number that is not finite"), std::string::npos);
    enemy(7).oldPosition.x = 100;
    enemy(9).acceleration.x = inf;
    EXPECT_NE(
        worldFaults(w, ceiling).find("enemy 9 has a number that is not finite"), std::string::npos);
    enemy(9).acceleration.x = 0;
    enemy(11).radius = nan;
    EXPECT_NE(worldFaults(w, ceiling).find("enemy 11 has a number that is not finite"),
        std::string::npos);
    enemy(11).radius = 16;
    ASSERT_EQ(worldFaults(w, ceiling), "");

    w.launchPoint.x = nan;
    EXPECT_NE(worldFaults(w, ceiling).find("launchPoint"), std::string::npos);
    w.launchPoint.x = 320;
    w.size.y = inf;
    EXPECT_NE(worldFaults(w, ceiling).find("size"), std::string::npos);
    w.size.y = 480;
    w.gravity.y = nan;
    EXPECT_NE(worldFaults(w, ceiling).find("gravity"), std::string::npos);
}

TEST_F(WorldChecks, RadiiBeyondTheKindOrGoneAreFaults)
{
    enemy(3).radius = 16.5f;
    EXPECT_NE(worldFaults(w, ceiling).find("enemy 3 has a radius"), std::string::npos);
    enemy(3).radius = 0;
    EXPECT_NE(worldFaults(w, ceiling).find("enemy 3 has a radius"), std::string::npos);
    enemy(3).radius = 0.5f; // a dissolving body on its last steps is still sound
    EXPECT_EQ(worldFaults(w, ceiling), "");
}

TEST_F(WorldChecks, AGrowingEnemyCountIsAFault)
{
    w.enemies.pop_back();
    ASSERT_EQ(worldFaults(w, ceiling), ""); // enemies may leave
    w.enemies.push_back(w.enemies.front());
    EXPECT_NE(worldFaults(w, ceiling).find("enemy count grew"), std::string::npos);
}

TEST_F(WorldChecks, PickedAliensMustBeOneAndKnown)
{
    enemy(0).state = EnemyType::SELECTED;
    EXPECT_NE(worldFaults(w, ceiling).find("selected flag is false"), std::string::npos);
    w.selected = true;
    EXPECT_EQ(worldFaults(w, ceiling), "");
    enemy(1).state = EnemyType::SELECTED;
    EXPECT_NE(worldFaults(w, ceiling).find("2 enemies are SELECTED"), std::string::npos);
    // A pick lost to an infection leaves the flag set with no SELECTED enemy: still sound.
    enemy(0).state = EnemyType::INFECTED;
    enemy(1).state = EnemyType::INFECTED;
    EXPECT_EQ(worldFaults(w, ceiling), "");
}

TEST(Soak, RandomPlayKeepsTheWorldSound)
{
    startHeadlessAllegro(OUTBREAK_DATA_DIR);
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    // Games that all end early would leave play unchecked: the soak plays on with the next seeds,
    // each of the default length at least, until it has played enough (at most 50 games more).
    for (int g = 0; g < settings.games || (tally.steps < leastSteps && g < settings.games + 50);
         ++g) {
        const int steps = std::max(settings.steps, g < settings.games ? 0 : SoakSettings().steps);
        EXPECT_EQ(playGame(settings.seed + unsigned(g), steps, tally), "");
    }
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    std::printf("soak: %ld games (%ld lost), %ld steps, %ld clicks, "
                "%ld selections, %ld launches, %ld picks lost to infection, %ld extra passes, "
                "%ld enemies dissolved, %.2f s (%.2f s CPU)\n",
        tally.games, tally.lostGames, tally.steps, tally.clicks, tally.selections, tally.launches,
        tally.lostPicks, tally.extraPasses, tally.dissolved, seconds, cpuSeconds);
    RecordProperty("games", int(tally.games));
    RecordProperty("steps", int(tally.steps));
    RecordProperty("clicks", int(tally.clicks));
    RecordProperty("selections", int(tally.selections));
    RecordProperty("launches", int(tally.launches));
    RecordProperty("dissolved", int(tally.dissolved));

    // Play long enough must have picked, fired and dissolved aliens, or the clicks never reached
    // the game and the soak checked a heap that only hung there.
    EXPECT_GE(tally.steps, leastSteps) << "the games end too soon to check play";
    EXPECT_GT(tally.selections, 0);
    EXPECT_GT(tally.launches, 0);
    EXPECT_GT(tally.dissolved, 0);
}

bool readCount(const char* text, long& value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > std::numeric_limits<int>::max())
        return false;
    value = v;
    return true;
}

// Reads OUTBREAK_SOAK_* and then --games, --steps, --seed (as "--games N" or "--games=N").
bool readSettings(int argc, char** argv)
{
    struct Option {
        const char* flag;
        const char* variable;
        long value;
        long least;
    } options[] = {{"--games", "OUTBREAK_SOAK_GAMES", settings.games, 1},
        {"--steps", "OUTBREAK_SOAK_STEPS", settings.steps, 1},
        {"--seed", "OUTBREAK_SOAK_SEED", long(settings.seed), 0}};
    for (Option& o : options) {
        const char* text = std::getenv(o.variable);
        if (text && !readCount(text, o.value)) {
            std::fprintf(stderr, "%s=%s is not a count\n", o.variable, text);
            return false;
        }
    }
    for (int i = 1; i < argc; ++i) {
        bool known = false;
        for (Option& o : options) {
            const size_t n = std::strlen(o.flag);
            const char* text = nullptr;
            if (std::strcmp(argv[i], o.flag) == 0 && i + 1 < argc)
                text = argv[++i];
            else if (std::strncmp(argv[i], o.flag, n) == 0 && argv[i][n] == '=')
                text = argv[i] + n + 1;
            else
                continue;
            known = true;
            if (!readCount(text, o.value)) {
                std::fprintf(stderr, "%s %s is not a count\n", o.flag, text);
                return false;
            }
        }
        if (!known) {
            std::fprintf(stderr,
                "unknown argument %s\n"
                "usage: soak_tests [--games N] [--steps N] [--seed N] "
                "[gtest options]\n",
                argv[i]);
            return false;
        }
    }
    for (const Option& o : options) {
        if (o.value < o.least) {
            std::fprintf(stderr, "%s must be at least %ld\n", o.flag, o.least);
            return false;
        }
    }
    settings.games = int(options[0].value);
    settings.steps = int(options[1].value);
    settings.seed = unsigned(options[2].value);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!readSettings(argc, argv))
        return 2;
    return RUN_ALL_TESTS();
}
