// Everything the program puts on the display.
#pragma once

#include <SDL/SDL.h>

inline constexpr int screenWidth = 240;
inline constexpr int screenHeight = 320;

// The video surface all drawing goes to, opened once at start-up and kept for good.
extern SDL_Surface *screenSurface;
