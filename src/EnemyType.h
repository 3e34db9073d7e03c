// A kind of enemy: its sprite, its full-grown radius and the state its enemies start in.
#pragma once

#include "Vector2.h"

class EnemyType {
public:
    // The states of an enemy, stored as int in Enemy::state.
    enum State {
        NORMAL = 0,   // a free alien
        HARD = 1,     // a hard ball: creeps down on its own track
        SELECTED = 2, // picked by the player, pulled to the launch point
        READY = 3,    // launched like SELECTED; nothing assigns it
        INFECTED = 4, // spreads the infection to touching aliens of its kind
        DISOLVING = 5 // shrinks away and is removed
    };

    EnemyType(unsigned texture, float radius, int initialState);

    // Draws the sprite centred at position, scaled to the given radius.
    void draw(Vector2 position, float radius);

    int infectedCount;
    unsigned texture;
    unsigned displayList;
    float radius;
    int initialState;
};
