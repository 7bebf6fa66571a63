// What the user sees first: the splash picture compiled into the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "assets/assets.h"
#include "harness.h"

namespace {

// The screen is 16 bits deep (5 or 6 bits a channel), so each channel may be off by this much.
const int channelTolerance = 8;

// Counts the screen's pixels that differ from the embedded splash; describes the first one.
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
            if (mismatches++ == 0) {
                *first = "at " + std::to_string(x) + "," + std::to_string(y) + " the screen has " +
                         std::to_string(got.red) + "," + std::to_string(got.green) + "," +
                         std::to_string(got.blue) + " and the splash " + std::to_string(want[0]) +
                         "," + std::to_string(want[1]) + "," + std::to_string(want[2]);
            }
        }
    }
    return mismatches;
}

TEST(Splash, FillsTheScreenWithinTheFirstThreeSeconds) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    const int64_t threeSeconds = 3000000000;
    Screenshot shot;
    std::string first;
    int mismatches = -1;
    int64_t seenAt = 0;
    WaitUntil(
        [&] {
            seenAt = MonotonicNanoseconds() - stage.program.LaunchTime();
            shot = stage.screen.TakeScreenshot();
            mismatches = CountSplashMismatches(shot, &first);
            return mismatches == 0 || seenAt > threeSeconds || !stage.program.Running();
        },
        10000);
    shot.SavePng(ArtifactPath("splash.png"));
    ASSERT_EQ(mismatches, 0) << first << "; see " << ArtifactPath("splash.png") << "\n"
                             << stage.program.Errors();
    EXPECT_LE(seenAt, threeSeconds);
}

} // namespace
