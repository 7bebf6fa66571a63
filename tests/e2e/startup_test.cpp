// The program as a user first meets it: its window, its start-up line, and the ways it ends.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

const char *const startupLine = "Velmora starting...\n";

// Asks the program to quit the way the system does, once it is in its event loop; asks
// once more if it carries on (its event filter lets only the second request through).
ExitStatus RequestQuit(Stage &stage) {
    // Requests during the start-up pause would meet no filter yet: wait for the keyboard.
    if (!WaitForSplashToGo(stage.screen, 10000))
        return ExitStatus{};
    stage.program.Signal(SIGTERM);
    ExitStatus status = stage.program.WaitForExit(1000);
    if (status.ended)
        return status;
    stage.program.Signal(SIGTERM);
    return stage.program.WaitForExit(10000);
}

TEST(Startup, WindowCoversTheScreenAndTheLineIsPrintedOnce) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(stage.screen.WaitForWindow(10000, nullptr)) << stage.program.Errors();
    // The SDL library may replace its first window while it sets the video mode; once the
    // splash is up, the window is the program's for good.
    ASSERT_TRUE(WaitUntil([&] { return CountSplashMismatches(stage.screen.TakeScreenshot()) == 0; },
                          10000));
    std::vector<WindowInfo> windows = stage.screen.MappedWindows();
    ASSERT_EQ(windows.size(), 1u);
    WindowInfo window = windows.back();
    // The count that proves a window never appeared must see this one.
    EXPECT_GE(stage.screen.WindowsCreated(), 1);
    EXPECT_EQ(window.x, 0);
    EXPECT_EQ(window.y, 0);
    EXPECT_EQ(window.width, stageWidth);
    EXPECT_EQ(window.height, stageHeight);
    ASSERT_TRUE(stage.program.WaitForOutput(startupLine, 10000)) << stage.program.Errors();

    // Every later test aims the pen at screen points: they must be the window's own points.
    const int points[][2] = {{0, 0}, {239, 0}, {0, 319}, {239, 319}, {120, 160}, {7, 301}};
    for (const auto &point : points) {
        stage.screen.PenMove(point[0], point[1]);
        int x = -1, y = -1;
        ASSERT_TRUE(stage.screen.PointerInWindow(window.id, &x, &y));
        EXPECT_EQ(x, point[0]);
        EXPECT_EQ(y, point[1]);
    }

    ExitStatus status = RequestQuit(stage);
    ASSERT_TRUE(status.ended) << DescribeExit(status);
    // Taken after the end, so that a second line printed late would be seen too.
    EXPECT_EQ(stage.program.Output(), startupLine);
}

TEST(Shutdown, QuitRequestEndsWithExitCodeZero) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(stage.screen.WaitForWindow(10000, nullptr)) << stage.program.Errors();
    ASSERT_TRUE(stage.program.WaitForOutput(startupLine, 10000));

    ExitStatus status = RequestQuit(stage);
    EXPECT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status) << "\n"
                                                                   << stage.program.Errors();
    EXPECT_FALSE(stage.program.Running());
}

TEST(Shutdown, UnusableSdlLibraryEndsQuietlyWithoutWindow) {
    // A library file the loader cannot load at all stands for a missing one: the system's
    // own copy cannot be hidden from the loader.
    TempDirectory broken("velmora-broken-sdl");
    std::ofstream(broken.Path() + "/libSDL-1.2.so.0") << "not a shared library\n";
    struct Case {
        const char *what;
        std::string directory;
    };
    const std::vector<Case> cases = {
        {"last entry point missing", std::string(FAKE_SDL_DIR) + "/no_last"},
        {"first entry point missing", std::string(FAKE_SDL_DIR) + "/no_first"},
        {"library unloadable", broken.Path()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Stage stage;
        std::string error;
        ASSERT_TRUE(stage.Start(&error)) << error;
        ASSERT_TRUE(stage.Launch({"LD_LIBRARY_PATH=" + c.directory}));
        ExitStatus status = stage.program.WaitForExit(10000);
        EXPECT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status);
        EXPECT_EQ(stage.program.Output(), "");
        EXPECT_EQ(stage.program.Errors(), "");
        // Counted from the server's own notices, so even a window that came and went is seen.
        EXPECT_EQ(stage.screen.WindowsCreated(), 0);
        EXPECT_TRUE(stage.screen.MappedWindows().empty());
    }
}

} // namespace
