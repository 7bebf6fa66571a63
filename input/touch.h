// The pen and quit requests: pressing, sliding onto and releasing keys, the exit button, and
// when a request to close ends the program.
#pragma once

#include <SDL/SDL.h>

#include <atomic>
#include <cstdint>

#include "keyboard/keys.h"

// Where the keyboard is shown. Full screen is the handheld: a touch panel whose driver may report
// motion without the button held, and a performance a stray quit request must not cut short. A
// window is a desktop: a mouse that hovers, and a close button that is meant the first time.
enum ScreenMode : int32_t { fullScreenMode, windowMode };

// Set by the shell once it has chosen; full screen until then.
extern ScreenMode screenMode;

// Set by the shell while it starts up: pen events are dropped until the keyboard is drawn.
extern bool isStartingUp;

// The quit requests counted so far. The filter may run inside a signal handler, on any thread.
extern std::atomic<int32_t> quitRequested;

// Set when the pen is lifted on the exit button; the event loop then shuts SDL down.
extern int32_t exitRequested;

// SDL's event filter: handles every pen event on the spot and counts quit requests; 1 lets an
// event through to wake the event loop, which is to end.
int EventFilter(const SDL_Event *event);

// True once enough quit requests came to end the program: one in a window, two full screen.
bool IsQuitDue();

// The pen is down at (x, y), newly or while dragging.
void TouchAt(int x, int y);

// Releases and redraws every pressed key.
void ReleaseAllKeys();

// Releases and redraws every pressed key but the given one.
void ReleaseOtherKeys(Key *key);

// The pen was lifted at (x, y): on the exit button the program is to end.
void CheckExitButton(int x, int y);
