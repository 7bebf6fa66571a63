// Everything the program puts on the display.
#pragma once

#include <SDL/SDL.h>

#include "keyboard/keys.h"

// The video surface all drawing goes to, opened once at start-up and kept for good.
extern SDL_Surface *screenSurface;

// Puts the splash picture on the whole screen.
void ShowSplash();

// Clears the screen and draws the exit button and every key in its current picture.
void DrawKeyboard();

// Redraws one key in its current picture, repairing the black keys at a white key's corners,
// and shows the change in one screen update.
void DrawKey(Key *key);
