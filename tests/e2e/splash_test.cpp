// What the user sees first: the splash picture compiled into the program.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "screens.h"

namespace {

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
