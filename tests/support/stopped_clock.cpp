// A stopped clock, for the game's tests: preloaded into the game, time() answers the second given
// in STOPPED_CLOCK. The game seeds its colours with the time, so a test plays the level it chose.
#include <cstdlib>
#include <ctime>

extern "C" time_t time(time_t* now)
{
    const char* stoppedAt = std::getenv("STOPPED_CLOCK");
    if (!stoppedAt)
        std::abort(); // preloaded without a time to stop at: a fault of the test
    const time_t t = time_t(std::strtoll(stoppedAt, nullptr, 10));
    if (now)
        *now = t;
    return t;
}
