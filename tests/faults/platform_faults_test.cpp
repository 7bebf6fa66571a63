// The platform failing under the program: no usable SDL library, no sound device, and a sound
// device that stops taking buffers while the program plays.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fault_stage.h"
#include "harness.h"
#include "screens.h"

namespace {

using std::chrono::milliseconds;

TEST(PlatformFaults, WithoutAUsableSdlLibraryNothingStarts) {
    ProgramCopy copy;
    ASSERT_TRUE(copy.Ready());
    // Not a shared library at all: the loader gives up on it rather than look elsewhere, so
    // it stands for a system without the library.
    TempDirectory broken("velmora-faults-sdl");
    ASSERT_TRUE(WriteBytes(broken.Path() + "/libSDL-1.2.so.0", "#!/bin/sh\nexit 0\n"));
    struct Case {
        const char *what;
        std::string libraryDirectory;
    };
    const std::vector<Case> cases = {
        {"SDL library not loadable", broken.Path()},
        {"SDL library without its last entry point", std::string(FAKE_SDL_DIR) + "/no_last"},
        {"SDL library without its first entry point", std::string(FAKE_SDL_DIR) + "/no_first"},
    };
    XScreen screen;
    std::string error;
    ASSERT_TRUE(screen.Start(&error)) << error;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Program program;
        ASSERT_TRUE(program.LaunchExecutable(
            copy.Executable(),
            ProgramEnvironment(&screen, nullptr, {"LD_LIBRARY_PATH=" + c.libraryDirectory})));
        ExitStatus status = program.WaitForExit(startupBoundMilliseconds);
        EXPECT_EQ(JudgeEnding(status, program), "");
        EXPECT_EQ(program.Output(), "");
        EXPECT_EQ(screen.WindowsCreated(), 0);
        std::printf("  %-44s %s, no window, no output\n", c.what, DescribeExit(status).c_str());
    }
}

TEST(PlatformFaults, WithoutASoundDeviceTheSplashEndsTheRun) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.screen.Start(&error)) << error;
    TempDirectory nowhere("velmora-faults-nosound");
    // A server address where nobody listens, and private state, so that no other server
    // is found or started in its place.
    ASSERT_TRUE(stage.program.Launch(
        ProgramEnvironment(&stage.screen, nullptr,
                           {"PULSE_SERVER=unix:" + nowhere.Path() + "/missing/native",
                            "PULSE_RUNTIME_PATH=" + nowhere.Path(),
                            "XDG_RUNTIME_DIR=" + nowhere.Path(), "HOME=" + nowhere.Path()})));
    bool splashSeen = false;
    WaitUntil(
        [&] {
            splashSeen = splashSeen || CountSplashMismatches(stage.screen.TakeScreenshot()) == 0;
            return !stage.program.Running();
        },
        startupBoundMilliseconds);
    ExitStatus status = stage.program.WaitForExit(0);
    double seconds = (MonotonicNanoseconds() - stage.program.LaunchTime()) / 1e9;
    EXPECT_EQ(JudgeEnding(status, stage.program), "");
    EXPECT_EQ(stage.program.Output(), startupLine);
    std::printf("  %-44s %s after %.2f s, splash %s\n", "no sound device",
                DescribeExit(status).c_str(), seconds, splashSeen ? "seen" : "not caught");
}

// Resumes a stopped process however the test ends, so the servers can be torn down.
struct ResumeOnExit {
    pid_t pid;
    ~ResumeOnExit() {
        if (pid > 0)
            kill(pid, SIGCONT);
    }
};

TEST(PlatformFaults, StalledSoundDeviceStillLetsTheProgramEnd) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(WaitForKeyboard(stage.screen)) << stage.program.Errors();
    for (int slot : {0, 4, 7, 14}) {
        KeyPoint point = KeyPointOfSlot(slot);
        TapAt(stage.screen, point.x, point.y);
    }
    // The server stops mid-note: from now on it takes no buffer and answers nothing.
    ResumeOnExit resume{stage.sound.ServerPid()};
    ASSERT_EQ(kill(resume.pid, SIGSTOP), 0);
    std::this_thread::sleep_for(milliseconds(300));
    for (int slot : {2, 9, 16}) {
        KeyPoint point = KeyPointOfSlot(slot);
        TapAt(stage.screen, point.x, point.y);
    }
    std::this_thread::sleep_for(milliseconds(700));
    ASSERT_TRUE(stage.program.Running()) << DescribeExit(stage.program.WaitForExit(0)) << "\n"
                                         << stage.program.Errors();

    int64_t lifted = MonotonicNanoseconds();
    ExitStatus status = EndWithExitButton(stage.screen, stage.program);
    double seconds = (MonotonicNanoseconds() - lifted) / 1e9;
    EXPECT_EQ(JudgeEnding(status, stage.program), "");
    std::printf("  %-44s %s %.2f s after the lift on the exit button\n", "sound server stopped",
                DescribeExit(status).c_str(), seconds);
    RecordProperty("stalled_shutdown_ms", std::to_string(int(seconds * 1000)));
}

} // namespace
