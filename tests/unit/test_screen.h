// A real SDL screen on the dummy driver with the generated pictures and samples loaded, and
// the real key layout, for tests of drawing and touch.
#pragma once

// Binds SDL, opens the 240 x 320 x 16 screen and loads the assets, once per test program.
void StartTestScreen();

// Rebuilds the key table from scratch: every key released.
void ResetTestKeys();
