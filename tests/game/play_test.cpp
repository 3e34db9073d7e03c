// Playing the real game as a player does: pick an alien, let it fly to the launch point, fire it at
// the heap; judged by what the screen shows.
#include "running_game.h"
#include "sprite_eye.h"

#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace {

const int launchX = 320;
const int launchY = 455;
const Point launchPoint {launchX, launchY};
const int levelSprites = 144;

bool same(const SeenSprite& a, const SeenSprite& b) { return a.x == b.x && a.y == b.y; }

std::string describe(const SeenSprite& s)
{
    std::ostringstream out;
    out << kindName(s.kind) << " at (" << s.x << ", " << s.y << ")";
    return out.str();
}

// Distance from p to the segment from a to b.
double toSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double lengthSqr = dx * dx + dy * dy;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSqr, 0.0, 1.0);
    return distance(p, {a.x + t * dx, a.y + t * dy});
}

// A sprite of the heap, not the one held at the launch point.
bool inHeap(const SeenSprite& s) { return distance(s, launchPoint) > 60; }

// Nothing hangs below the alien but the sprites in besides: it can be picked without dragging
// others along, and nothing else comes loose when it goes.
bool nothingBelow(const std::vector<SeenSprite>& scene, const SeenSprite& a,
    const std::vector<SeenSprite>& besides = {})
{
    for (const SeenSprite& s : scene)
        if (!same(s, a) && inHeap(s) && s.y > a.y + 4 && std::abs(s.x - a.x) < 32
            && std::none_of(
                besides.begin(), besides.end(), [&](const SeenSprite& b) { return same(b, s); }))
            return false;
    return true;
}

// How near an alien fired from the launch point at target comes to a sprite of another colour
// in the heap before it reaches target: at 40 pixels or more it touches none, nor is it pulled
// much aside.
double clearance(const std::vector<SeenSprite>& scene, const SeenSprite& target)
{
    const double d = distance(launchPoint, target);
    const Point end {
        target.x - 36 * (target.x - launchX) / d, target.y - 36 * (target.y - launchY) / d};
    double nearest = 1e9;
    for (const SeenSprite& s : scene)
        if (!same(s, target) && s.kind != target.kind && inHeap(s))
            nearest = std::min(nearest, toSegment(s, launchPoint, end));
    return nearest;
}

// Better targets first: a clear path, the clearer the better up to 48 pixels, then the farther
// the better.
double targetScore(const std::vector<SeenSprite>& scene, const SeenSprite& t)
{
    const double clear = clearance(scene, t);
    return clear < 40 ? -1 : std::min(clear, 48.0) * 1000 + distance(t, launchPoint);
}

std::vector<int> countPerKind(const std::vector<SeenSprite>& scene)
{
    std::vector<int> counts(spriteKinds, 0);
    for (const SeenSprite& s : scene)
        ++counts[s.kind];
    return counts;
}

// The aliens of a's colour that a reaches through touching aliens of that colour, a included.
std::vector<SeenSprite> groupOf(const std::vector<SeenSprite>& scene, const SeenSprite& a)
{
    std::vector<SeenSprite> group {a};
    for (size_t i = 0; i < group.size(); ++i)
        for (const SeenSprite& s : scene)
            if (s.kind == a.kind && touching(s, group[i])
                && std::none_of(
                    group.begin(), group.end(), [&](const SeenSprite& g) { return same(g, s); }))
                group.push_back(s);
    return group;
}

// The sprite of kind nearest to at, within 12 pixels; kind -1 if there is none.
SeenSprite findNear(const std::vector<SeenSprite>& scene, int kind, Point at)
{
    SeenSprite found;
    double best = 12;
    for (const SeenSprite& s : scene)
        if (s.kind == kind && distance(s, at) <= best) {
            best = distance(s, at);
            found = s;
        }
    return found;
}

// Infection spots on target: within 16 pixels of its centre, where a fired alien touching it
// from outside wears none of its own.
int spotsOn(const Image& shot, const SeenSprite& target)
{
    return infectionSpotsNear(shot, target.x, target.y, 16);
}

// The best alien of kind to aim at, in the open, with no other of its colour near enough for an
// alien fired at it to touch; kind -1 if there is none.
SeenSprite loneTarget(const std::vector<SeenSprite>& scene, int kind)
{
    SeenSprite target;
    double best = 0;
    for (const SeenSprite& t : scene) {
        const double score = t.kind == kind && inHeap(t) ? targetScore(scene, t) : -1;
        if (score > best && std::none_of(scene.begin(), scene.end(), [&](const SeenSprite& s) {
                return s.kind == t.kind && !same(s, t) && distance(s, t) < 66;
            })) {
            target = t;
            best = score;
        }
    }
    return target;
}

// The best alien to aim at, of kind or of any colour when kind is -1, in the open and touching
// one or more of its colour, whose group holds up nothing but itself; group receives the group.
// Kind -1 if there is none.
SeenSprite groupTarget(
    const std::vector<SeenSprite>& scene, int kind, std::vector<SeenSprite>& group)
{
    SeenSprite target;
    double best = 0;
    for (const SeenSprite& t : scene) {
        if (t.kind >= GameWorld::alienKinds || (kind >= 0 && t.kind != kind) || !inHeap(t))
            continue;
        const double score = targetScore(scene, t);
        if (score <= best)
            continue;
        const std::vector<SeenSprite> itsGroup = groupOf(scene, t);
        if (itsGroup.size() >= 2
            && std::all_of(itsGroup.begin(), itsGroup.end(),
                [&](const SeenSprite& g) { return nothingBelow(scene, g, itsGroup); })) {
            target = t;
            group = itsGroup;
            best = score;
        }
    }
    return target;
}

// The game in the build folder, its colours drawn from seed, on the display (empty: the test's).
GameOptions levelOfSeed(unsigned seed, const std::string& display)
{
    GameOptions options = inBuildDir();
    options.levelSeed = int(seed);
    options.display = display;
    return options;
}

// A game of the level of seed on the test's screen, or on display, with eyes on it.
class Table {
public:
    explicit Table(unsigned seed, const std::string& display = "")
        : eye_(buildDir() + "/sprites"), game_(levelOfSeed(seed, display))
    {
    }

    RunningGame& game() { return game_; }
    const SpriteEye& eye() const { return eye_; }
    Image shot() { return game_.screenshot(); }

    // True once the game's window shows and the game follows the pointer, parked out of the way.
    bool opens()
    {
        return game_.waitForWindow(5 * slowness) && game_.movePointerAndSee(638, 478, 3 * slowness);
    }

    // Waits for the level's heap to rest: two looks a little apart find the same sprites within
    // 2 pixels. False if the game ended first or the heap never rests.
    bool settles() { return rest(levelSprites); }

    // Waits for the heap to rest with count sprites, any count when count is 0, and keeps what
    // it sees in scene. The heap comes to rest some four seconds after the start, and a second
    // after a shot; the bound leaves room for a busy machine.
    bool rest(size_t count)
    {
        std::vector<SeenSprite> last;
        const bool rested = waitUntil(
            20 * slowness,
            [&] {
                if (!game_.running())
                    return true;
                scene = eye_.findAll(game_.screenshot());
                bool still = (count == 0 || scene.size() == count) && scene.size() == last.size();
                for (const SeenSprite& s : scene)
                    still
                        = still && std::any_of(last.begin(), last.end(), [&](const SeenSprite& l) {
                              return l.kind == s.kind && distance(l, s) <= 2;
                          });
                last = scene;
                return still;
            },
            300);
        return rested && game_.running();
    }

    // The sprite held at the launch point, if any (kind -1 otherwise).
    SeenSprite atLaunch(const Image& shot) const
    {
        const SeenSprite s = eye_.look(shot, launchX, launchY, 6);
        return s.mismatch < SpriteEye::recognised ? s : SeenSprite();
    }

    // Clicks pick, the button held for holdMs, and waits, for a few seconds (and longer in the slow
    // builds), for it to come to rest at the launch point, within 5 pixels; the held sprite, or
    // kind -1.
    SeenSprite pickAndWaitAtLaunch(const SeenSprite& pick, int holdMs = 120)
    {
        game_.click(pick.x, pick.y, holdMs);
        SeenSprite held, last;
        waitUntil(
            3 * slowness,
            [&] {
                held = atLaunch(shot());
                const bool resting = held.kind == pick.kind && last.kind == pick.kind
                    && distance(held, last) <= 1 && distance(held, launchPoint) <= 6;
                last = held;
                return resting;
            },
            40);
        return held;
    }

    // Where to click so that the alien held at held flies through target: it leaves along the
    // line from the launch point towards the pointer at five pixels a step, and gravity adds
    // 40/3600 pixels a step to its fall every step.
    static void aim(const SeenSprite& held, const SeenSprite& target, int& x, int& y)
    {
        const double steps = distance(held, target) / 5;
        const double drop = 0.5 * 40.0 / 3600 * steps * steps;
        x = launchX + target.x - held.x;
        y = int(std::lround(launchY + target.y - drop - held.y));
    }

    // Fires the alien held at the launch point at target, and moves the pointer out of the way.
    void fireAt(const SeenSprite& target)
    {
        SeenSprite held = atLaunch(shot());
        if (held.kind < 0) {
            held.x = launchX;
            held.y = launchY;
        }
        int x, y;
        aim(held, target, x, y);
        game_.click(x, y);
        game_.movePointer(638, 478);
    }

    // Of the aliens in scene that pass the test, the one nearest to the launch point: the
    // quickest to pick. Kind -1 if none passes.
    template <class Test> SeenSprite nearestToLaunch(Test test) const
    {
        SeenSprite best;
        for (const SeenSprite& s : scene)
            if (s.kind < GameWorld::alienKinds && test(s)
                && (best.kind < 0 || distance(s, launchPoint) < distance(best, launchPoint)))
                best = s;
        return best;
    }

    std::vector<SeenSprite> scene;

private:
    SpriteEye eye_;
    RunningGame game_;
};

// The heap must not fall: a game that ended by itself, or a heap that never rests, fails the test.
#define ASSERT_HEAP_RESTS(table, count)                                                            \
    ASSERT_TRUE((table).rest(count)) << ((table).game().running() ? "the heap never comes to rest" \
                                                                  : "the game ended by itself")    \
                                     << (table).game().describe()
#define ASSERT_STILL_PLAYING(table)                                                                \
    ASSERT_TRUE((table).game().running()) << "the game ended by itself" << (table).game().describe()

} // namespace

// A kiosk's compositor gives the window the whole screen, whatever size the game asks for: the
// scene is drawn centred, the rest black, and the pointer and the clicks are the scene's. The game
// drew it in the window's lower left corner, where a click picked what lay elsewhere.
TEST(Play, AClickOnAnAlienPullsItToTheLaunchPointAndHoldsItThereInAWindowOfAnySize)
{
    for (const bool forced : {false, true}) {
        SCOPED_TRACE(
            forced ? "the window forced to 1280x720" : "the window of the size it asks for");
        // On a private display, no window manager keeps the window at the size it asks for.
        std::optional<PrivateDisplay> screen;
        if (forced)
            screen.emplace();
        Table table(1, forced ? screen->name() : "");
        RunningGame& game = table.game();
        if (forced) {
            ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.describe();
            game.forceWindowSize(1280, 720);
        }
        ASSERT_TRUE(table.opens()) << game.describe();
        ASSERT_HEAP_RESTS(table, levelSprites);

        // The arrow over the black above the scene's top left corner, and nothing else outside it.
        if (forced) {
            game.movePointer(-200, -100);
            int arrow = 0, outside = 0;
            EXPECT_TRUE(waitUntil(3 * slowness,
                [&] {
                    const Image whole = game.wholeWindow();
                    arrow = litPixels(whole, 120, 20, 132, 40);
                    outside
                        = litPixels(whole, 0, 0, 1280, 720) - litPixels(whole, 320, 120, 960, 600);
                    return arrow > 20 && outside == arrow;
                }))
                << arrow << " pixels of the arrow lit, " << outside << " outside the scene";
        }

        // Clicks on the empty floor and on a hard ball pick nothing.
        game.click(100, 420);
        sleepMs(300);
        const auto ball = std::find_if(table.scene.begin(), table.scene.end(),
            [](const SeenSprite& s) { return s.kind == HardBall; });
        ASSERT_NE(ball, table.scene.end());
        game.click(ball->x, ball->y);
        sleepMs(700);
        EXPECT_EQ(
            litPixels(table.shot(), launchX - 20, launchY - 20, launchX + 20, launchY + 20), 0)
            << "something came to the launch point without an alien being clicked";

        // The free alien nearest to the launch point, picked by a tap as short as test tools,
        // remote desktops and on-screen keyboards send: it came and went between two frames, and
        // was lost.
        const SeenSprite pick = table.nearestToLaunch(
            [&](const SeenSprite& s) { return nothingBelow(table.scene, s); });
        ASSERT_GE(pick.kind, 0);
        const SeenSprite held = table.pickAndWaitAtLaunch(pick, 2);
        ASSERT_STILL_PLAYING(table);
        ASSERT_EQ(held.kind, pick.kind) << "no " << describe(pick) << " at the launch point";
        game.movePointer(638, 478);

        // It stays there, and every sprite of the level is still on the screen.
        sleepMs(500);
        const Image later = table.shot();
        ASSERT_STILL_PLAYING(table);
        const SeenSprite still = table.atLaunch(later);
        EXPECT_EQ(still.kind, pick.kind);
        EXPECT_LE(distance(still, held), 2) << describe(still) << " was " << describe(held);
        const std::vector<SeenSprite> scene = table.eye().findAll(later);
        EXPECT_EQ(scene.size(), size_t(levelSprites));
        EXPECT_EQ(countPerKind(scene), countPerKind(table.scene));
    }
}

// In the level of this seed, at rest, an alien of some colour lies in the open with no other of
// its colour near it, and another of that colour hangs elsewhere, free to pick.
const unsigned loneAlienSeed = 20;

TEST(Play, TheSecondClickFiresItAndTheLoneAlienOfItsColourItStrikesIsInfectedForAWhile)
{
    Table table(loneAlienSeed);
    ASSERT_TRUE(table.opens()) << table.game().describe();
    ASSERT_HEAP_RESTS(table, levelSprites);

    // An alien in the open to aim at, with no other of its colour near enough for the fired one
    // to touch, and one of its colour, away from it, to fire.
    SeenSprite target, pick;
    for (int k = 0; k < GameWorld::alienKinds && pick.kind < 0; ++k) {
        target = loneTarget(table.scene, k);
        if (target.kind >= 0)
            pick = table.nearestToLaunch([&](const SeenSprite& s) {
                return s.kind == k && distance(s, target) >= 66 && nothingBelow(table.scene, s);
            });
    }
    ASSERT_GE(pick.kind, 0) << "no lone alien with another of its colour in this level";
    const std::vector<int> before = countPerKind(table.scene);

    const SeenSprite held = table.pickAndWaitAtLaunch(pick);
    ASSERT_STILL_PLAYING(table);
    ASSERT_EQ(held.kind, pick.kind) << "no " << describe(pick) << " at the launch point";
    // The heap has moved since the alien left it: the target is chosen anew.
    ASSERT_HEAP_RESTS(table, levelSprites);
    target = loneTarget(table.scene, held.kind);
    ASSERT_GE(target.kind, 0) << "no lone " << kindName(held.kind) << " alien to aim at any more";
    SCOPED_TRACE("fired " + describe(pick) + " at " + describe(target));
    table.fireAt(target);

    // The launch point empties, and the spots of the infection show on the alien struck.
    bool launchEmptied = false;
    int spots = 0;
    waitUntil(
        3 * slowness,
        [&] {
            const Image shot = table.shot();
            launchEmptied = launchEmptied
                || litPixels(shot, launchX - 20, launchY - 20, launchX + 20, launchY + 20) == 0;
            spots = std::max(spots, spotsOn(shot, target));
            return launchEmptied && spots >= 12;
        },
        0);
    ASSERT_STILL_PLAYING(table);
    EXPECT_TRUE(launchEmptied) << "the alien stays at the launch point";
    EXPECT_GE(spots, 12) << "infection spots on " << describe(target);
    if (spots < 12)
        table.shot().save(buildDir() + "/shot-missed.png");

    // Two infected of one colour do not dissolve: the infection wears off, and every alien is
    // still there, the fired one now in the heap.
    EXPECT_TRUE(waitUntil(
        3 * slowness, [&] { return infectionSpotsNear(table.shot(), launchX, 240, 800) == 0; }, 20))
        << "the infection does not wear off";
    ASSERT_HEAP_RESTS(table, 0);
    EXPECT_EQ(table.scene.size(), size_t(levelSprites));
    EXPECT_EQ(countPerKind(table.scene), before);
}

// In the level of this seed, at rest, two or more aliens of one colour touch in the open, holding
// up nothing else, and another of their colour hangs away from them, free to pick.
const unsigned groupSeed = 12;

TEST(Play, FiredAtTwoOfItsColourItDissolvesWithThemAndEscapeThenEndsTheGame)
{
    Table table(groupSeed);
    ASSERT_TRUE(table.opens()) << table.game().describe();
    ASSERT_HEAP_RESTS(table, levelSprites);
    RunningGame& game = table.game();

    // In the open, an alien touching one or more of its colour, the group holding up nothing
    // below it, and another of that colour, away from them, to fire. The farther the group, the
    // longer the flight, and the sooner a second alien is held while the group dissolves.
    std::vector<SeenSprite> group;
    SeenSprite target = groupTarget(table.scene, -1, group);
    ASSERT_GE(target.kind, 0) << "no group of one colour in the open in this level";
    const SeenSprite pick = table.nearestToLaunch([&](const SeenSprite& s) {
        return s.kind == target.kind && nothingBelow(table.scene, s)
            && std::all_of(group.begin(), group.end(),
                [&](const SeenSprite& g) { return distance(g, s) >= 80; });
    });
    ASSERT_GE(pick.kind, 0) << "no other " << kindName(target.kind) << " alien to fire";

    const SeenSprite held = table.pickAndWaitAtLaunch(pick);
    ASSERT_STILL_PLAYING(table);
    ASSERT_EQ(held.kind, pick.kind) << "no " << describe(pick) << " at the launch point";
    // The heap has moved since the alien left it: the group is chosen anew.
    ASSERT_HEAP_RESTS(table, levelSprites);
    target = groupTarget(table.scene, held.kind, group);
    ASSERT_GE(target.kind, 0) << "no group of " << kindName(held.kind) << " to aim at any more";
    SCOPED_TRACE("fired " + describe(pick) + " at " + describe(target) + ", one of "
        + std::to_string(group.size()));
    const std::vector<int> before = countPerKind(table.scene);

    // A second alien to pick once the first is fired, of another colour and away from the group
    // and the path to it.
    const SeenSprite second = table.nearestToLaunch([&](const SeenSprite& s) {
        return s.kind != target.kind && inHeap(s) && nothingBelow(table.scene, s)
            && distance(s, target) >= 100 && toSegment(s, launchPoint, target) >= 50;
    });

    table.fireAt(target);
    if (second.kind >= 0) {
        sleepMs(250);
        game.click(second.x, second.y);
        game.movePointer(638, 478);
    }

    // The spots show on the group, and then both it and the fired alien shrink away.
    int spots = 0;
    bool pictured = false;
    const bool over = waitUntil(
        4 * slowness,
        [&] {
            const Image shot = table.shot();
            const int onTarget = spotsOn(shot, target);
            spots = std::max(spots, onTarget);
            if (!pictured && onTarget >= 12 && second.kind >= 0
                && table.atLaunch(shot).kind == second.kind) {
                shot.save(buildDir() + "/shot-playing.png");
                pictured = true;
            }
            return spots >= 12 && infectionSpotsNear(shot, launchX, 240, 800) == 0;
        },
        0);
    ASSERT_STILL_PLAYING(table);
    if (spots < 12)
        table.shot().save(buildDir() + "/shot-missed.png");
    ASSERT_GE(spots, 12) << "no infection spots on " << describe(target);
    EXPECT_TRUE(over) << "the infected do not dissolve";
    ASSERT_HEAP_RESTS(table, 0);

    // Fewer sprites on the screen: the fired alien and the whole group are gone, and no other
    // colour has lost any.
    const std::vector<int> after = countPerKind(table.scene);
    EXPECT_LE(after[target.kind], before[target.kind] - 1 - int(group.size()));
    EXPECT_LE(table.scene.size(), levelSprites - 1 - group.size());
    for (int k = 0; k < spriteKinds; ++k) {
        if (k != target.kind) {
            EXPECT_EQ(after[k], before[k]) << kindName(k);
        }
    }
    for (const SeenSprite& g : group)
        EXPECT_LT(findNear(table.scene, g.kind, g).kind, 0) << describe(g) << " is left";
    if (second.kind >= 0) {
        EXPECT_EQ(table.atLaunch(table.shot()).kind, second.kind)
            << describe(second) << " is not held at the launch point";
    }

    // Escape ends the game with status 0.
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
}
