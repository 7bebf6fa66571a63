// The main of every test program: SDL on its dummy drivers unless a test asks otherwise,
// and the system libraries' lifetime allocations kept out of the leak reports.
#include <gtest/gtest.h>

#include <cstdlib>

extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\n"
           "leak:libSDL-1.2.so\n"
           "leak:libX11.so\n"
           "leak:libasound.so\n"
           "leak:libpulse\n"
           "leak:libdbus\n";
}

int main(int argc, char **argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
