// What the game needs of the system it is started in: files it may still open, threads it may
// run, memory it may map. A launcher may leave any of them short (ulimit, files it left open);
// with too little, the OpenGL driver crashes or waits for ever rather than fail, so the game looks
// before Allegro starts.
#pragma once

#include <string>

// Raises the soft limits of open files, processes and memory to their hard ones, as the system
// allows any program to; then says what the game still lacks, worded for the player, or nothing.
// Files: 13 to open (two connections to the X server, the OpenGL driver's devices, a message box's
// pipes) beside those already open below the limit, the standard streams among them, whoever
// opened them. Threads: the x-events thread, Allegro's timer and the hidden window's watch beside
// the main thread. Memory: 400 MB of address space (ulimit -v, ulimit -d). The software OpenGL
// driver is told how many threads of its own to draw with (LP_NUM_THREADS): one, or the number the
// player's LP_NUM_THREADS asks for; where the system lets the game run fewer threads than that, or
// leaves less than 20 MB of memory for each, as many as there are room for, down to none, and
// standard error says so where the player had asked for more. Main thread, before any thread of
// the game's libraries runs, and after main.cpp has kept the C library to two arenas.
std::string whatTheSystemLacks();
