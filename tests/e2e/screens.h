// What the program shows, as the end-to-end tests recognise it on the screen.
#pragma once

#include <string>

#include "harness.h"

// The screen is 16 bits deep (5 or 6 bits a channel), so each channel may be off by this much.
inline constexpr int channelTolerance = 8;

// Counts the screen's pixels that differ from the embedded splash; describes the first one.
int CountSplashMismatches(const Screenshot &shot, std::string *first = nullptr);

// Waits until the splash has come and gone, which is when the program enters its event loop.
bool WaitForSplashToGo(XScreen &screen, int timeoutMilliseconds);
