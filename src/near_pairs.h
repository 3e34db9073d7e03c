// The pairs of enemies near enough to act on each other in a pair pass of the world, listed
// through a grid and kept from pass to pass while no enemy strays far from where it stood.
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
