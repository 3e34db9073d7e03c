// The pairs of enemies near enough to act on each other in a pair pass of the world, listed
// through a grid and kept from pass to pass while no enemy strays far from where it stood, and
// the pass that walks them in the order of all pairs.
#pragma once

#include "Enemy.h"

#include <cmath>
#include <vector>

// The pairs of enemies near enough to act on each other in a pair pass, listed through a grid and
// kept from pass to pass while no enemy strays far from where it stood when they were listed.
class NearPairs {
public:
    // A pair can act only while its centres are closer than reachPerRadius times the sum of the
    // two radii along x and along y; the list also holds the pairs that are up to marginPerRadius
    // times the largest radius further apart at each end, so that it lasts while bodies move.
    NearPairs(double reachPerRadius, double marginPerRadius);

    // Makes the list hold every pair of these enemies (in list order) that can act now: keeps it
    // when everyone is still near where it was listed and no radius has grown, lists afresh when
    // not. False when the enemies fit no grid (a number that is not finite, or beyond a million
    // million) or crowd so that half of all pairs are near: then the pass visits every pair.
    bool fit(const std::vector<Enemy*>& enemies);
    // Lists afresh from where the enemies stand now; false as for fit.
    bool listAfresh(const std::vector<Enemy*>& enemies);
    // Drops the list, so that the next fit lists afresh.
    void forget() { listed = false; }

    // A pass over the pairs that can act, in the order of all pairs (by the earlier enemy in list
    // order, then by the later one), calling rule(a, b) on each; over every pair when no grid fits
    // the enemies. The rule moves no one.
    template <class PairRule>
    void forEachNearPair(const std::vector<Enemy*>& enemies, PairRule rule);
    // The same pass for a rule that may move the two enemies it is given, and returns true when it
    // did. Each pair sees what the pairs before it moved; when a move takes one of the two past
    // the margin, the pairs are listed afresh from where everyone stands and the pass goes on
    // after this pair, or, when that happens too often, it is finished over every pair.
    template <class PairRule>
    void forEachNearPairMoving(const std::vector<Enemy*>& enemies, PairRule rule);

    // True while enemy number k stands within the margin of where it stood when the pairs were
    // listed, so that the list still holds every pair it can act in.
    bool stillNear(size_t k, const Enemy& e) const
    {
        const Place& p = places[k];
        return std::fabs(double(e.position.x) - double(p.x)) <= nearLimit
            && std::fabs(double(e.position.y) - double(p.y)) <= nearLimit;
    }

    // The later partners of enemy i in list order: partners[first[i]] to partners[first[i+1]-1].
    std::vector<int> first;
    std::vector<int> partners;

    long listings = 0;  // lists made afresh
    long unfit = 0;     // lists refused: no grid fits the enemies, or they crowd
    long overruns = 0;  // bodies moved past the margin by a collision pass
    long fallbacks = 0; // collision passes finished over every pair after such a move

private:
    struct Place {
        float x, y;   // the centre when listed
        float radius; // the size of the radius when listed
    };
    struct Spot {
        double x, y;  // the centre when listed
        double reach; // half the distance that admits a pair, slack included
    };

    bool holds(const std::vector<Enemy*>& enemies) const;
    bool list(const std::vector<Enemy*>& enemies);
    // After a move past the margin in a pass: lists afresh and true, or false when the rest of the
    // pass is to visit every pair (the relistings counts this pass's lists made afresh).
    bool relistMidPass(const std::vector<Enemy*>& enemies, int& relistings);
    // Where in partners the pass goes on after the pair (i, j), in a list made afresh.
    int partnerAfter(size_t i, size_t j) const;

    double reachPerRadius;
    double marginPerRadius;
    bool listed = false;
    double nearLimit = 0; // the margin, a hair short of it so that rounding stays on the safe side
    std::vector<Place> places;
    std::vector<Spot> spots;
    std::vector<int> cellOf;    // per enemy, its cell
    std::vector<int> cellStart; // per cell, where its enemies start in cellItems
    std::vector<int> cellItems; // enemy numbers, cell by cell, each cell in list order
    std::vector<int> cursor;    // per cell, a place in cellItems
};

// Visits every pair from (i, j) on in the order of all pairs: (i, j) to (i, n-1), then every pair
// of the later enemies. Each pair sees what the pairs before it changed.
template <class PairRule>
void forEachPairFrom(const std::vector<Enemy*>& enemies, size_t i, size_t j, PairRule rule)
{
    const size_t n = enemies.size();
    for (; i + 1 < n; ++i, j = i + 1)
        for (; j < n; ++j)
            rule(enemies[i], enemies[j]);
}

template <class PairRule>
void NearPairs::forEachNearPair(const std::vector<Enemy*>& enemies, PairRule rule)
{
    if (!fit(enemies)) {
        forEachPairFrom(enemies, 0, 1, rule);
        return;
    }
    for (size_t i = 0; i + 1 < enemies.size(); ++i)
        for (int k = first[i]; k < first[i + 1]; ++k)
            rule(enemies[i], enemies[size_t(partners[size_t(k)])]);
}

template <class PairRule>
void NearPairs::forEachNearPairMoving(const std::vector<Enemy*>& enemies, PairRule rule)
{
    if (!fit(enemies)) {
        forEachPairFrom(enemies, 0, 1, rule);
        return;
    }
    const size_t n = enemies.size();
    int relistings = 0;
    size_t i = 0;
    int k = first[0]; // the rows of partners follow each other: k runs through them all
    while (i + 1 < n) {
        if (k == first[i + 1]) {
            ++i;
            continue;
        }
        const size_t j = size_t(partners[size_t(k++)]);
        Enemy* a = enemies[i];
        Enemy* b = enemies[j];
        if (!rule(a, b) || (stillNear(i, *a) && stillNear(j, *b)))
            continue;
        if (!relistMidPass(enemies, relistings)) {
            forEachPairFrom(enemies, i, j + 1, rule);
            return;
        }
        k = partnerAfter(i, j);
    }
}
