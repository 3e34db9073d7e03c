// How long the pair passes and the step take, on the level as it starts, on the level after ten
// seconds of settling, and on tiled worlds with 4, 16 and 64 times as many enemies. The tiled
// worlds are measured as laid out: settling the largest would take minutes. Every pass and the
// step are timed twice: as the game runs them, visiting only the pairs near enough to act, and
// visiting all pairs (the rows ending in AllPairs), which gives the same world bit for bit; the
// program checks that on every world before it times anything. A last pair of rows times one
// second of play from each level world: 60 steps, each followed by the frame loop's fixed extra
// collision passes; there the near pairs are listed afresh whenever the
// bodies have moved, which the rows of single passes on an unchanging world hardly ever need.
//
// Run: scripts/setup bench && cmake -S . -B build -DOUTBREAK_BENCHMARKS=ON
//      cmake --build build --target benchmarks && build/bench/benchmarks
//      (add --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for medians)
//
// Each row reports the time of one call and "pairs" (the pairs of the world, n(n-1)/2); the rows
// over all pairs add items_per_second (pairs visited per second). The rows ending in Fresh move
// the whole world before each pass, so that the game's passes list their near pairs afresh every
// time. At the end a table gives each measure on each world as the game runs it, over all pairs,
// and the ratio of the two; then, for the level's size, the share of one core that the simulation
// of a second of play takes (drawing, which cannot be measured without a window, comes on top).

#include "GameWorld.h"
#include "headless.h"
#include "main.h"
#include "world_fields.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const unsigned levelSeed = 1;
const int settlingSteps = 600; // ten seconds of play without a click
const int framesOfPlay = 60;   // one second

// A world to measure, and what it held when it was built, so that a benchmark can put it back.
struct Scenario {
    std::string name;
    std::unique_ptr<GameWorld> world;
    std::list<Enemy> enemies;
    std::vector<int> infectedCounts;
    bool selected = false;

    void remember()
    {
        enemies = world->enemies;
        infectedCounts.clear();
        for (const auto& kind : world->enemyTypes)
            infectedCounts.push_back(kind->infectedCount);
        selected = world->selected;
    }

    // Puts the world back as it was built. List assignment reuses the world's nodes while the
    // count is unchanged, so the bodies stay where they were in memory.
    void restore()
    {
        world->enemies = enemies;
        for (size_t k = 0; k < infectedCounts.size(); ++k)
            world->enemyTypes[k]->infectedCount = infectedCounts[k];
        world->selected = selected;
    }

    double pairs() const
    {
        const double n = double(enemies.size());
        return n * (n - 1) / 2;
    }
};

std::unique_ptr<GameWorld> loadedLevel()
{
    startHeadlessAllegro(OUTBREAK_DATA_DIR);
    std::unique_ptr<GameWorld> world(new GameWorld);
    srand(levelSeed);
    world->loadLevel();
    return world;
}

// The start layout of the level repeated tiles x tiles times in a box as many times larger, the
// launch point 25 above the middle of its floor. Hard balls stay hard balls; every alien gets one
// of the level's alien kinds, drawn with rand() from a fixed seed.
std::unique_ptr<GameWorld> tiledLevel(int tiles)
{
    std::unique_ptr<GameWorld> world = loadedLevel();

    const Vector2 tile = world->size;
    const std::list<Enemy> layout = world->enemies;
    world->enemies.clear();
    srand(levelSeed + unsigned(tiles));
    for (int ty = 0; ty < tiles; ++ty) {
        for (int tx = 0; tx < tiles; ++tx) {
            const Vector2 offset(tile.x * float(tx), tile.y * float(ty));
            for (const Enemy& e : layout) {
                boost::shared_ptr<EnemyType> kind = e.type;
                if (e.state == EnemyType::NORMAL)
                    kind = world->enemyTypes[size_t(rand()) % GameWorld::alienKinds];
                world->enemies.push_back(Enemy(e.position + offset, kind, 0));
            }
        }
    }
    world->size = tile * float(tiles);
    world->launchPoint = Vector2(world->size.x * 0.5f, world->size.y - 25);
    return world;
}

// The game's passes and the ones over all pairs must leave the same world: two collision passes,
// an attraction pass and a step from the stored world, run each way.
void checkSameResults(Scenario& s)
{
    s.restore();
    s.world->collisionConstraint();
    s.world->collisionConstraint();
    s.world->attractForces();
    s.world->step();
    const std::vector<uint32_t> near = fieldsOf(*s.world);
    s.restore();
    s.world->collisionConstraintAllPairs();
    s.world->collisionConstraintAllPairs();
    s.world->attractForcesAllPairs();
    s.world->stepAllPairs();
    if (fieldsOf(*s.world) != near) {
        std::fprintf(
            stderr, "%s: the near pair passes and the all-pairs ones differ\n", s.name.c_str());
        std::exit(1);
    }
}

// Builds a scenario on its first use only, so that a filtered run does not pay for the others.
Scenario& scenario(const std::string& name)
{
    static std::map<std::string, Scenario> built;
    auto found = built.find(name);
    if (found != built.end())
        return found->second;

    Scenario s;
    s.name = name;
    if (name == "level_start") {
        s.world = loadedLevel();
    } else if (name == "level_settled") {
        s.world = loadedLevel();
        for (int i = 0; i < settlingSteps; ++i) {
            if (!s.world->step()) {
                std::fprintf(stderr, "the level ended while settling, in step %d\n", i + 1);
                std::exit(1);
            }
        }
    } else if (name == "tiled_2x2") {
        s.world = tiledLevel(2);
    } else if (name == "tiled_4x4") {
        s.world = tiledLevel(4);
    } else if (name == "tiled_8x8") {
        s.world = tiledLevel(8);
    } else {
        std::fprintf(stderr, "no scenario %s\n", name.c_str());
        std::exit(1);
    }
    s.remember();
    checkSameResults(s);
    return built.emplace(name, std::move(s)).first->second;
}

// The game's passes, or the ones over all pairs that they must match.
struct Passes {
    const char* suffix;
    void (GameWorld::*collision)();
    void (GameWorld::*attraction)();
    bool (GameWorld::*step)();
};

const Passes nearPairs
    = {"", &GameWorld::collisionConstraint, &GameWorld::attractForces, &GameWorld::step};
const Passes allPairs = {"AllPairs", &GameWorld::collisionConstraintAllPairs,
    &GameWorld::attractForcesAllPairs, &GameWorld::stepAllPairs};

// The world's size; the rows over all pairs also count the pairs they visit per second.
void countPairs(benchmark::State& state, const Scenario& s, const Passes& passes)
{
    state.counters["enemies"] = double(s.enemies.size());
    state.counters["pairs"] = s.pairs();
    if (&passes == &allPairs)
        state.SetItemsProcessed(int64_t(double(state.iterations()) * s.pairs()));
}

// Passes one after another on the same world, as the frame loop's wait runs them: the first
// passes push apart what overlaps, the later ones find a world that barely changes. That is the
// state the extra passes of a frame see, so the time per pass is measured on it as it evolves.
void collisionPass(benchmark::State& state, const std::string& name, const Passes& passes)
{
    Scenario& s = scenario(name);
    s.restore();
    for (auto _ : state)
        (*s.world.*passes.collision)();
    countPairs(state, s, passes);
}

// Attraction only adds to the accelerations, which no branch of the pass reads, so repeating it
// on one world measures the pass on that world's positions and states.
void attractionPass(benchmark::State& state, const std::string& name, const Passes& passes)
{
    Scenario& s = scenario(name);
    s.restore();
    for (auto _ : state)
        (*s.world.*passes.attraction)();
    countPairs(state, s, passes);
}

// The same passes, each after the whole world has moved 64 to one side and back in turn, so that
// the game's passes must list their near pairs afresh every time: the cost of a list made anew,
// which the rows above hardly ever pay. Both ways pay the same for the move.
void shiftWorld(GameWorld& world, float dx)
{
    for (Enemy& e : world.enemies) {
        e.position.x += dx;
        e.oldPosition.x += dx;
    }
}

void passFresh(benchmark::State& state, const std::string& name, const Passes& passes,
    void (GameWorld::*pass)())
{
    Scenario& s = scenario(name);
    s.restore();
    float dx = 64;
    for (auto _ : state) {
        shiftWorld(*s.world, dx);
        dx = -dx;
        (*s.world.*pass)();
    }
    countPairs(state, s, passes);
}

void collisionPassFresh(benchmark::State& state, const std::string& name, const Passes& passes)
{
    passFresh(state, name, passes, passes.collision);
}

void attractionPassFresh(benchmark::State& state, const std::string& name, const Passes& passes)
{
    passFresh(state, name, passes, passes.attraction);
}

void restoreUntimed(benchmark::State& state, Scenario& s)
{
    state.PauseTiming();
    s.restore();
    state.ResumeTiming();
}

// A step moves every body, so each one is measured on the same state: the world is put back from
// its stored copy with the clock paused. Pausing costs well under a microsecond per step, against
// tens of microseconds for a step of the level, so it is left in the figure.
void oneStep(benchmark::State& state, const std::string& name, const Passes& passes)
{
    Scenario& s = scenario(name);
    for (auto _ : state) {
        restoreUntimed(state, s);
        if (!(*s.world.*passes.step)()) {
            state.SkipWithError("the step ended the game");
            break;
        }
    }
    countPairs(state, s, passes);
}

// One second of play without a click, from the stored world: frames of one step and a fixed
// number of extra collision passes.
void secondOfPlay(benchmark::State& state, const std::string& name, const Passes& passes)
{
    Scenario& s = scenario(name);
    for (auto _ : state) {
        restoreUntimed(state, s);
        for (int frame = 0; frame < framesOfPlay; ++frame) {
            if (!(*s.world.*passes.step)()) {
                state.SkipWithError("the step ended the game");
                return;
            }
            for (int extra = 0; extra < extraPassesPerFrame; ++extra)
                (*s.world.*passes.collision)();
        }
    }
    countPairs(state, s, passes);
}

const std::vector<std::string> scenarioNames
    = {"level_start", "level_settled", "tiled_2x2", "tiled_4x4", "tiled_8x8"};
const std::vector<std::string> levelNames = {"level_start", "level_settled"};

using Measure = void (*)(benchmark::State&, const std::string&, const Passes&);

// Each measure on each world, as the game runs it and over all pairs, side by side.
void registerMeasure(const char* what, Measure measure, const std::vector<std::string>& names)
{
    for (const std::string& n : names) {
        for (const Passes* passes : {&nearPairs, &allPairs}) {
            benchmark::RegisterBenchmark((what + std::string(passes->suffix) + "/" + n).c_str(),
                [n, measure, passes](benchmark::State& st) { measure(st, n, *passes); })
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

void registerAll()
{
    registerMeasure("collisionConstraint", collisionPass, scenarioNames);
    registerMeasure("attractForces", attractionPass, scenarioNames);
    registerMeasure("collisionConstraintFresh", collisionPassFresh, scenarioNames);
    registerMeasure("attractForcesFresh", attractionPassFresh, scenarioNames);
    registerMeasure("step", oneStep, scenarioNames);
    registerMeasure("secondOfPlay", secondOfPlay, levelNames);
}

// A summary after the table: its title before its first line, nothing when it has no lines.
class Summary {
public:
    Summary(std::ostream& out, const char* title) : out_(out), title_(title) {}
    ~Summary() { out_.flush(); }

    template <class... Values> void line(const char* format, Values... values)
    {
        if (title_) {
            out_ << "\n" << title_ << ":\n";
            title_ = nullptr;
        }
        char text[160];
        std::snprintf(text, sizeof text, format, values...);
        out_ << text << "\n";
    }

private:
    std::ostream& out_;
    const char* title_;
};

// The console table as usual, and the CPU time per call of every benchmark kept (the median when
// repetitions are aggregated) for the summaries.
class BudgetReporter : public benchmark::ConsoleReporter {
public:
    explicit BudgetReporter(OutputOptions options) : ConsoleReporter(options) {}

    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports) {
            if (run.error_occurred)
                continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (single || median)
                seconds[run.run_name.function_name]
                    = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // Each measure as the game runs it against the same over all pairs, for every world timed.
    void printRatios()
    {
        Summary summary(GetOutputStream(), "Near pairs against all pairs (CPU time per call)");
        for (const char* what : {"collisionConstraint", "attractForces", "collisionConstraintFresh",
                 "attractForcesFresh", "step", "secondOfPlay"}) {
            for (const std::string& name : scenarioNames) {
                const auto near = seconds.find(what + ("/" + name));
                const auto all = seconds.find(what + ("AllPairs/" + name));
                if (near != seconds.end() && all != seconds.end())
                    summary.line(
                        "  %-25s %-14s all pairs %11.1f us  near pairs %9.1f us  ratio %.3f", what,
                        name.c_str(), all->second * 1e6, near->second * 1e6,
                        near->second / all->second);
            }
        }
    }

    // What a second of play at the level's size asks of one core, drawing not counted.
    void printBudget()
    {
        Summary summary(
            GetOutputStream(), "The simulation at the level's size (drawing not counted)");
        for (const std::string& n : levelNames) {
            const auto second = seconds.find("secondOfPlay/" + n);
            if (second != seconds.end())
                summary.line("  %-14s one second of play %7.2f ms: %4.1f%% of one core", n.c_str(),
                    second->second * 1e3, second->second * 100);
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    // Another output format asked for on the command line gets the library's own reporter; the
    // console one follows --benchmark_color as the library's would (colour on a terminal).
    bool console = true;
    bool colour = isatty(STDOUT_FILENO) != 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--benchmark_format=", 19) == 0)
            console = std::strcmp(arg + 19, "console") == 0;
        if (std::strncmp(arg, "--benchmark_color=", 18) == 0) {
            const std::string value = arg + 18;
            if (value == "false" || value == "no" || value == "0")
                colour = false;
            else if (value == "true" || value == "yes" || value == "1")
                colour = true;
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerAll();
    if (console) {
        BudgetReporter reporter(colour ? benchmark::ConsoleReporter::OO_ColorTabular
                                       : benchmark::ConsoleReporter::OO_Tabular);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.printRatios();
        reporter.printBudget();
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
