// A machine without a mouse, for the game's tests: preloaded into the game, installing the
// mouse fails.
extern "C" int install_mouse() { return -1; }
