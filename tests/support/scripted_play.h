// The tests' scripted player of a seeded level: every 150 steps it clicks the lowest free alien,
// and 60 steps later, once it hangs at the launch point, fires it at a group of its colour.
// Between steps it runs as many extra collision passes as a frame of a busy machine might fit.
#pragma once

#include "GameWorld.h"

struct ScriptedStep {
    bool goesOn;   // false once a body sank past the floor
    bool launched; // this step's click fired the picked alien
};

// Plays step s (from 1) of the script: the world's step, the click due then, the extra passes.
// allPairs plays it with the pair passes that visit every pair instead of the game's own.
ScriptedStep playScriptedStep(GameWorld& world, int s, bool allPairs = false);
