#include "screens.h"

#include <cstdlib>

#include "assets/assets.h"

int CountSplashMismatches(const Screenshot &shot, std::string *first) {
    if (shot.width != splashWidth || shot.height != splashHeight)
        return splashWidth * splashHeight;
    int mismatches = 0;
    for (int y = 0; y < splashHeight; ++y) {
        for (int x = 0; x < splashWidth; ++x) {
            const unsigned char *want = &splashPixels[(y * splashWidth + x) * 4];
            Pixel got = shot.At(x, y);
            if (std::abs(got.red - want[0]) <= channelTolerance &&
                std::abs(got.green - want[1]) <= channelTolerance &&
                std::abs(got.blue - want[2]) <= channelTolerance)
                continue;
            if (mismatches++ == 0 && first) {
                *first = "at " + std::to_string(x) + "," + std::to_string(y) + " the screen has " +
                         std::to_string(got.red) + "," + std::to_string(got.green) + "," +
                         std::to_string(got.blue) + " and the splash " + std::to_string(want[0]) +
                         "," + std::to_string(want[1]) + "," + std::to_string(want[2]);
            }
        }
    }
    return mismatches;
}

bool WaitForSplashToGo(XScreen &screen, int timeoutMilliseconds) {
    int64_t deadline = MonotonicNanoseconds() + int64_t(timeoutMilliseconds) * 1000000;
    auto left = [&] { return int((deadline - MonotonicNanoseconds()) / 1000000); };
    return WaitUntil([&] { return CountSplashMismatches(screen.TakeScreenshot()) == 0; }, left()) &&
           WaitUntil([&] { return CountSplashMismatches(screen.TakeScreenshot()) != 0; }, left());
}
