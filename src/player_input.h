// What the player does with the mouse and the keyboard, as the frame loop takes it. Allegro keeps
// the left button and the keys as levels, held or not, and the frame loop looks once a frame: a
// tap that came and went between two looks (test tools, remote desktops and on-screen keyboards
// send them a few milliseconds long), or an Escape let go as another window took the focus, would
// be lost. Here every press of the left button and of Escape that the X server delivers is noted
// as Allegro's handler hears it, on whichever thread runs the handler (the x-events thread, or the
// main thread at the frame loop's look), and kept until the frame loop takes it, each once.
#pragma once

// Main thread, once Allegro's keyboard and mouse are installed: presses are noted from now on.
void notePresses();

// Main thread (the frame loop): the oldest press of the left button not yet taken, and where the
// pointer was as it came, in the scene's pixels (scene_in_window.h); false if there is none.
bool takeLeftPress(int& x, int& y);

// Main thread (the frame loop): whether the left button is held down since a press that was
// taken already. Read with the presses, so that a press that comes between the two looks is not
// counted once as held and once more as pressed.
bool leftButtonHeld();

// Main thread (the frame loop): whether Escape was pressed since the last call.
bool takeEscapePress();

// Main thread, once the window shows: Allegro's pointer, which it puts at the window's centre as
// the graphics mode is set, goes where the player's is, as the X server has it; the player's own
// is not moved. From then on Allegro follows it by the pointer's every move and entry into the
// window. Nothing where the pointer is outside the window, or without a mouse.
void followThePlayersPointer();
