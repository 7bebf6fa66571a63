// Input no user would give on purpose: thousands of pen events anywhere, as fast as the X
// server takes them, and a burst of quit requests. Afterwards the keyboard must still show
// the keys as they are, and the program must still end cleanly.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "fault_stage.h"
#include "harness.h"

namespace {

using std::chrono::milliseconds;

// Waits until the screen shows exactly the expected picture; describes the difference if not.
bool WaitForScreen(XScreen &screen, const Screenshot &expected, const std::string &name,
                   std::string *why) {
    Screenshot shot;
    int differences = 0;
    std::string first;
    bool shown = WaitUntil(
        [&] {
            shot = screen.TakeScreenshot();
            differences = CountDifferences(shot, expected, &first);
            return differences == 0;
        },
        20000);
    if (!shown) {
        shot.SavePng(ArtifactPath("storm-" + name + "-seen.png"));
        expected.SavePng(ArtifactPath("storm-" + name + "-expected.png"));
        *why = std::to_string(differences) + " pixels differ from " + name + ", " + first +
               "; see " + ArtifactPath("storm-" + name + "-seen.png");
    }
    return shown;
}

TEST(InputStorm, TenThousandRandomPenEventsLeaveTheKeyboardTrue) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(WaitForKeyboard(stage.screen)) << stage.program.Errors();

    // The two pictures the end is checked against, from this run before any storm: every key
    // released, and one known key held.
    const KeyPoint known = KeyPointOfSlot(2); // E4, with a black key at one corner
    Screenshot released = TakeSettledScreenshot(stage.screen);
    stage.screen.PenDown(known.x, known.y);
    ASSERT_TRUE(WaitUntil(
        [&] { return CountDifferences(stage.screen.TakeScreenshot(), released) != 0; }, 10000));
    Screenshot held = TakeSettledScreenshot(stage.screen);
    stage.screen.PenUp(known.x, known.y);
    ASSERT_TRUE(WaitForScreen(stage.screen, released, "released", &error)) << error;

    // Down, move and lift anywhere, a quarter of them off the screen (the X server clamps
    // those to its edges); only a lift on the exit button is kept out, as it would end the run.
    const unsigned seed = 20240607;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> kind(0, 2);
    std::uniform_int_distribution<int> across(-60, stageWidth + 59);
    std::uniform_int_distribution<int> down(-80, stageHeight + 79);
    int counts[3] = {};
    int64_t stormStart = MonotonicNanoseconds();
    for (int event = 0; event < 10000; ++event) {
        int which = kind(random);
        int x = across(random), y = down(random);
        while (which == 2 && ClampsOntoExitButton(x, y)) {
            x = across(random);
            y = down(random);
        }
        ++counts[which];
        if (which == 0)
            stage.screen.PenDown(x, y);
        else if (which == 1)
            stage.screen.PenMove(x, y);
        else
            stage.screen.PenUp(x, y);
    }
    double stormSeconds = (MonotonicNanoseconds() - stormStart) / 1e9;
    ASSERT_TRUE(stage.program.Running()) << DescribeExit(stage.program.WaitForExit(0)) << "\n"
                                         << stage.program.Errors();

    // Once the program has worked through the storm, the pen on the known key must show that
    // key alone pressed, and the lift every key released.
    stage.screen.PenUp(60, 160);
    stage.screen.PenDown(known.x, known.y);
    EXPECT_TRUE(WaitForScreen(stage.screen, held, "held", &error)) << error;
    stage.screen.PenUp(known.x, known.y);
    EXPECT_TRUE(WaitForScreen(stage.screen, released, "released", &error)) << error;

    int requests = 0;
    ExitStatus status = EndWithQuitRequests(stage.program, &requests);
    EXPECT_EQ(JudgeEnding(status, stage.program), "");
    std::printf("  %-44s %d down, %d move, %d lift in %.2f s (seed %u); keyboard true "
                "afterwards; %s after %d quit requests\n",
                "10000 random pen events", counts[0], counts[1], counts[2], stormSeconds, seed,
                DescribeExit(status).c_str(), requests);
}

TEST(InputStorm, BurstOfQuitRequestsEndsCleanly) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(WaitForKeyboard(stage.screen)) << stage.program.Errors();
    KeyPoint point = KeyPointOfSlot(5);
    TapAt(stage.screen, point.x, point.y);

    pid_t pid = stage.program.Pid();
    int sent = 0;
    for (; sent < 50; ++sent) {
        if (kill(pid, SIGTERM) != 0)
            break;
    }
    ExitStatus status = stage.program.WaitForExit(3000);
    bool endedByBurst = status.ended;
    int more = 0;
    // Requests that arrive before the program looks may count as one: then one more, later,
    // is the second.
    if (!status.ended)
        status = EndWithQuitRequests(stage.program, &more);
    EXPECT_EQ(JudgeEnding(status, stage.program), "");
    EXPECT_EQ(stage.program.Output(), startupLine);
    std::printf("  %-44s %d SIGTERMs sent; %s; %s\n", "burst of quit requests", sent,
                endedByBurst ? "the burst ended it"
                             : ("it needed " + std::to_string(more) + " more").c_str(),
                DescribeExit(status).c_str());
}

} // namespace
