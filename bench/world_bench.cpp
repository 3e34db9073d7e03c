// How long the pair passes and the step take, on the level as it starts, on the level after ten
// seconds of settling, and on tiled worlds with 4, 16 and 64 times as many enemies. The tiled
// worlds are measured as laid out: settling the largest would take minutes, and what a pass costs
// there is ruled by the number of pairs, which the layout does not change.
//
// Run: scripts/setup bench && cmake -S . -B build -DOUTBREAK_BENCHMARKS=ON
//      cmake --build build --target benchmarks && build/bench/benchmarks
//      (add --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for medians)
//
// Each row reports the time of one call, "pairs" (the pairs a pass visits, n(n-1)/2) and
// items_per_second (pairs per second). The collision rows also report passes_per_frame: how many
// collision passes fit into one 1/60 s frame, (1/60 s) / (time of one pass). At the end a summary
// for the level's size subtracts the step's own time from the frame and gives the extra passes
// that the frame loop's wait can spend in the rest; drawing also takes a share of that rest, which
// cannot be measured without a window, so those numbers are an upper bound.

#include "GameWorld.h"
#include "headless.h"

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
const double frameSeconds = 1.0 / 60;

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
    std::vector<boost::shared_ptr<EnemyType>> alienKinds;
    for (const auto& kind : world->enemyTypes)
        if (kind->initialState == EnemyType::NORMAL)
            alienKinds.push_back(kind);

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
                    kind = alienKinds[size_t(rand()) % alienKinds.size()];
                world->enemies.push_back(Enemy(e.position + offset, kind, 0));
            }
        }
    }
    world->size = tile * float(tiles);
    world->launchPoint = Vector2(world->size.x * 0.5f, world->size.y - 25);
    return world;
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
    return built.emplace(name, std::move(s)).first->second;
}

void countPairs(benchmark::State& state, const Scenario& s)
{
    state.counters["enemies"] = double(s.enemies.size());
    state.counters["pairs"] = s.pairs();
    state.SetItemsProcessed(int64_t(double(state.iterations()) * s.pairs()));
}

// Passes one after another on the same world, as the frame loop's wait runs them: the first
// passes push apart what overlaps, the later ones find a world that barely changes. That is the
// state the extra passes of a frame see, so the time per pass is measured on it as it evolves.
void collisionPass(benchmark::State& state, const std::string& name)
{
    Scenario& s = scenario(name);
    s.restore();
    for (auto _ : state)
        s.world->collisionConstraint();
    countPairs(state, s);
    state.counters["passes_per_frame"] = benchmark::Counter(
        double(state.iterations()) * frameSeconds, benchmark::Counter::kIsRate);
}

// Attraction only adds to the accelerations, which no branch of the pass reads, so repeating it
// on one world measures the pass on that world's positions and states.
void attractionPass(benchmark::State& state, const std::string& name)
{
    Scenario& s = scenario(name);
    s.restore();
    for (auto _ : state)
        s.world->attractForces();
    countPairs(state, s);
}

// A step moves every body, so each one is measured on the same state: the world is put back from
// its stored copy with the clock paused. Pausing costs well under a microsecond per step, against
// tens of microseconds for a step of the level, so it is left in the figure.
void oneStep(benchmark::State& state, const std::string& name)
{
    Scenario& s = scenario(name);
    for (auto _ : state) {
        state.PauseTiming();
        s.restore();
        state.ResumeTiming();
        if (!s.world->step()) {
            state.SkipWithError("the step ended the game");
            break;
        }
    }
    countPairs(state, s);
}

const char* const scenarioNames[]
    = {"level_start", "level_settled", "tiled_2x2", "tiled_4x4", "tiled_8x8"};

void registerAll()
{
    for (const char* name : scenarioNames) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("collisionConstraint/" + n).c_str(),
            [n](benchmark::State& st) { collisionPass(st, n); })
            ->Unit(benchmark::kMicrosecond);
    }
    for (const char* name : scenarioNames) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("attractForces/" + n).c_str(), [n](benchmark::State& st) {
            attractionPass(st, n);
        })->Unit(benchmark::kMicrosecond);
    }
    for (const char* name : scenarioNames) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("step/" + n).c_str(), [n](benchmark::State& st) {
            oneStep(st, n);
        })->Unit(benchmark::kMicrosecond);
    }
}

// The console table as usual, but passes_per_frame printed as the plain count it is (the library
// would print a rate counter with "/s"), and the CPU time per call of every benchmark kept (the
// median when repetitions are aggregated) for the frame budget summary.
class BudgetReporter : public benchmark::ConsoleReporter {
public:
    explicit BudgetReporter(OutputOptions options) : ConsoleReporter(options) {}

    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        std::vector<Run> shown = reports;
        for (Run& run : shown) {
            const auto passes = run.counters.find("passes_per_frame");
            if (passes != run.counters.end())
                passes->second.flags = benchmark::Counter::kDefaults;
            if (run.error_occurred)
                continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (single || median)
                seconds[run.run_name.function_name]
                    = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(shown);
    }

    void printBudget()
    {
        std::ostream& out = GetOutputStream();
        bool header = false;
        for (const char* name : {"level_start", "level_settled"}) {
            const std::string n = name;
            const auto pass = seconds.find("collisionConstraint/" + n);
            const auto step = seconds.find("step/" + n);
            if (pass == seconds.end() || step == seconds.end())
                continue;
            if (!header) {
                out << "\nFrame budget of 1/60 s at the level's size (upper bounds: drawing is "
                       "not counted):\n";
                header = true;
            }
            char line[160];
            std::snprintf(line, sizeof line,
                "  %-14s step %8.1f us  pass %7.1f us  extra passes per frame %6.0f\n", name,
                step->second * 1e6, pass->second * 1e6,
                (frameSeconds - step->second) / pass->second);
            out << line;
        }
        out.flush();
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
        reporter.printBudget();
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
