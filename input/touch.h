// The pen: pressing, sliding onto and releasing keys, the exit button and quit requests.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

#include "keyboard/keys.h"

// Set by the first quit request, which is otherwise ignored; never cleared.
extern int32_t quitRequested;

// Set when the pen is lifted on the exit button; the event loop then shuts SDL down.
extern int32_t exitRequested;

// SDL's event filter: handles every pen event on the spot; 1 lets an event through to the loop.
int EventFilter(const SDL_Event *event);

// The pen is down at (x, y), newly or while dragging.
void TouchAt(int x, int y);

// Releases and redraws every pressed key.
void ReleaseAllKeys();

// Releases and redraws every pressed key but the given one.
void ReleaseOtherKeys(Key *key);

// The pen was lifted at (x, y): on the exit button the program is to end.
void CheckExitButton(int x, int y);
