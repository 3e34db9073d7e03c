#include "near_pairs.h"

#include <algorithm>

// Why a uniform grid: the enemies are circles of nearly one size (16, only dissolving ones are
// smaller) packed into a box, so a square cell a little wider than the farthest reach of a pair
// holds a handful of enemies, every pair that can act lies in two cells side by side, and the
// cells are found with one division per coordinate and counted into place in two linear sweeps.
// A tree or a sort along one axis would adapt to sizes and crowding that the game never has.
//
// Why the list may be kept from pass to pass: a collision pass moves the bodies by fractions of a
// pixel, a frame runs some thirty of them, and a settled heap hardly moves between steps. Listing
// with a margin of a quarter of the largest radius lets one list serve until somebody has moved
// that far from where it stood; whoever checks an enemy against its place sees at once when that
// is so.
//
// Rounding. What the list promises is stated in exact arithmetic: no pair outside it is closer
// than reachPerRadius (r1 + r2) + 2 margin along x or along y, measured between the centres where
// they stood when listed. The tests that decide it are made in double precision on single
// precision numbers, with a relative slack of 2^-20 and an absolute one of 2^-40 added to every
// distance that admits a pair and taken off the margin that keeps a list; double rounding is
// 2^-53, so no rounding can drop a pair; the absolute slack also gives a cell some width when
// every radius is 0. Coordinates and radii beyond 10^12 are refused, so that no single precision
// square of a distance or product of radii in the passes overflows.
namespace {

const double slack = 1.0 / (1 << 20);
const double tiny = slack * slack;
const double farthest = 1e12;

// A pass that moves bodies lists its near pairs afresh after bodies moved past the margin at most
// twice, and only while the list is short (a heap has 3 to 5 partners per enemy); a pass that
// keeps pushing bodies that far (a stack of them on one centre), or a crowd, is finished over
// every pair instead.
const int relistingsPerPass = 2;
const size_t partnersForRelisting = 16; // per enemy

// Sorts one enemy's partners: a handful by insertion, a crowd by std::sort.
void inListOrder(std::vector<int>::iterator first, std::vector<int>::iterator last)
{
    if (last - first > 16) {
        std::sort(first, last);
        return;
    }
    for (auto p = first; p != last; ++p)
        for (auto q = p; q != first && q[-1] > q[0]; --q)
            std::iter_swap(q - 1, q);
}

} // namespace

NearPairs::NearPairs(double reachPerRadius, double marginPerRadius)
    : reachPerRadius(reachPerRadius), marginPerRadius(marginPerRadius)
{
}

bool NearPairs::fit(const std::vector<Enemy*>& enemies)
{
    return (listed && holds(enemies)) || listAfresh(enemies);
}

bool NearPairs::listAfresh(const std::vector<Enemy*>& enemies)
{
    listed = list(enemies);
    if (!listed)
        ++unfit;
    return listed;
}

// The two bodies a move shifts are checked at once; when one of them has strayed past the margin,
// a pair off the list could come to act later in the pass, so the pairs are listed afresh from
// where everyone stands now.
bool NearPairs::relistMidPass(const std::vector<Enemy*>& enemies, int& relistings)
{
    ++overruns;
    if (relistings++ == relistingsPerPass || partners.size() > partnersForRelisting * enemies.size()
        || !listAfresh(enemies)) {
        ++fallbacks;
        forget();
        return false;
    }
    return true;
}

int NearPairs::partnerAfter(size_t i, size_t j) const
{
    const auto row = partners.begin();
    return int(std::upper_bound(row + first[i], row + first[i + 1], int(j)) - row);
}

bool NearPairs::holds(const std::vector<Enemy*>& enemies) const
{
    if (enemies.size() != places.size())
        return false;
    for (size_t k = 0; k < enemies.size(); ++k) {
        const Enemy& e = *enemies[k];
        if (!(std::fabs(e.radius) <= places[k].radius && stillNear(k, e)))
            return false;
    }
    return true;
}

bool NearPairs::list(const std::vector<Enemy*>& enemies)
{
    const size_t n = enemies.size();
    places.resize(n);
    spots.resize(n);
    double largest = 0;
    double left = 0, right = 0, top = 0, bottom = 0;
    for (size_t k = 0; k < n; ++k) {
        const Enemy& e = *enemies[k];
        const Place p = {e.position.x, e.position.y, std::fabs(e.radius)};
        // Written so that NaN fails too.
        if (!(std::fabs(p.x) <= farthest && std::fabs(p.y) <= farthest && p.radius <= farthest))
            return false;
        places[k] = p;
        largest = std::max(largest, double(p.radius));
        left = k == 0 ? p.x : std::min(left, double(p.x));
        right = k == 0 ? p.x : std::max(right, double(p.x));
        top = k == 0 ? p.y : std::min(top, double(p.y));
        bottom = k == 0 ? p.y : std::max(bottom, double(p.y));
    }
    const double margin = marginPerRadius * largest;
    nearLimit = margin * (1 - slack);
    // Half the distance that admits a pair, slack included: a pair is listed while it is closer
    // than the sum of its two halves along x and along y.
    for (size_t k = 0; k < n; ++k) {
        const Place& p = places[k];
        spots[k] = {p.x, p.y, (reachPerRadius * p.radius + margin) * (1 + slack) + tiny};
    }

    // A cell is wider than the reach of the largest pair, margins and slack included, so that a
    // pair that may act stands in two cells that touch, corners included. A world spread far and
    // thin gets fewer, larger cells: never more than four per enemy.
    double cell = 2 * ((reachPerRadius * largest + margin) * (1 + slack) + tiny) * (1 + slack);
    const double most = 4.0 * double(n) + 64;
    double across = (right - left) / cell, down = (bottom - top) / cell;
    while ((std::floor(across) + 1) * (std::floor(down) + 1) > most) {
        cell *= 2;
        across = (right - left) / cell;
        down = (bottom - top) / cell;
    }
    const int columns = int(across) + 1;
    const int rows = int(down) + 1;

    // Enemies into cells, each cell in list order. An enemy's column is no larger than the
    // rightmost enemy's, computed the same way, so it stays inside the grid.
    cellOf.resize(n);
    cellStart.assign(size_t(columns) * size_t(rows) + 1, 0);
    size_t pairsInCells = 0;
    for (size_t k = 0; k < n; ++k) {
        const int column = int((spots[k].x - left) / cell);
        const int row = int((spots[k].y - top) / cell);
        cellOf[k] = row * columns + column;
        pairsInCells += size_t(cellStart[size_t(cellOf[k]) + 1]++);
    }
    // A crowd, where the pairs that share a cell are more than a sixteenth of all pairs (the
    // level's heap has a sixtieth at most), is cheaper to pass over every pair than to list: the
    // nine cells around the enemies hold most pairs.
    if (pairsInCells > n * (n - 1) / 32 + 64)
        return false;
    for (size_t c = 1; c < cellStart.size(); ++c)
        cellStart[c] += cellStart[c - 1];
    cellItems.resize(n);
    cursor.assign(cellStart.begin(), cellStart.end() - 1);
    for (size_t k = 0; k < n; ++k)
        cellItems[size_t(cursor[size_t(cellOf[k])]++)] = int(k);

    // Each enemy's later partners, from the nine cells around it, in list order. A cell's cursor
    // moves past its enemies that come no later than the one at hand, so each is passed once.
    cursor.assign(cellStart.begin(), cellStart.end() - 1);
    first.resize(n + 1);
    partners.clear();
    for (size_t i = 0; i < n; ++i) {
        const size_t row = partners.size();
        first[i] = int(row);
        const Spot a = spots[i];
        const int column = cellOf[i] % columns, line = cellOf[i] / columns;
        for (int r = std::max(line - 1, 0); r <= std::min(line + 1, rows - 1); ++r) {
            for (int c = std::max(column - 1, 0); c <= std::min(column + 1, columns - 1); ++c) {
                const size_t cellIndex = size_t(r) * size_t(columns) + size_t(c);
                const int end = cellStart[cellIndex + 1];
                int s = cursor[cellIndex];
                while (s < end && cellItems[size_t(s)] <= int(i))
                    ++s;
                cursor[cellIndex] = s;
                for (; s < end; ++s) {
                    const int j = cellItems[size_t(s)];
                    const Spot& b = spots[size_t(j)];
                    const double reach = a.reach + b.reach;
                    if (std::fabs(a.x - b.x) < reach && std::fabs(a.y - b.y) < reach)
                        partners.push_back(j);
                }
            }
        }
        inListOrder(partners.begin() + long(row), partners.end());
    }
    first[n] = int(partners.size());
    ++listings;
    return true;
}
