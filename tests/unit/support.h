// What the tests share: the real SDL library on its dummy driver with the build's generated
// pictures and samples, and the two rules the keyboard is held to.
#pragma once

#include <SDL/SDL.h>

#include <string>
#include <vector>

#include "keyboard/keys.h"

// Binds SDL and opens the 240 x 320 x 16 screen, once per program, and loads the build's assets.
void StartTestScreen();

// Loads the pictures and samples from a directory (with its trailing '/') in place of the
// present ones; false when LoadGraphics is.
bool LoadAssetsFrom(const std::string &directory);

// A fresh key table of the layout, every key released.
void ResetKeys();

// The last key in table order whose picture, widened by its margin above and below, holds
// the point; null off the screen. Valid until a key is drawn clipped.
Key *KeyByRule(int x, int y);

// An event as SDL delivers it: the pen 'd'own, 'u'p, 'm'oving (a button held) or 'h'overing
// (none held) at (x, y); 'q' a quit request; any other letter an event of no interest.
SDL_Event MakeEvent(char kind, int x = 0, int y = 0);

// The screen's pixels, row after row.
std::vector<Uint16> ScreenPixels();

// Rectangles given to SDL_UpdateRect and SDL_UpdateRects since the list was last cleared.
extern std::vector<SDL_Rect> updatedRects;

// "" when every pixel changed since `before` lies in an updated rectangle, every update is a
// key's own rectangle, and the screen is what a full redraw of the present key states draws;
// otherwise what is wrong. Leaves the full redraw on the screen and the update list empty.
std::string CheckAgainstFullRedraw(const std::vector<Uint16> &before);
