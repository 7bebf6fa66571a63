// Everything the program puts on the display.
#pragma once

#include <SDL/SDL.h>

#include "keyboard/keys.h"

// The video surface all drawing goes to, opened once at start-up and kept for good.
extern SDL_Surface *screenSurface;

// Puts the splash picture on the whole screen.
void ShowSplash();
