// Which SDL 1.2 library the program runs on. The suite runs twice: on the system's library
// (Debian's maintained one, over SDL2), and on the classic one unpacked into the build tree
// and named by VELMORA_TEST_SDL_LIBRARY_DIR; a run that silently fell back to the system's
// library would prove nothing about the classic one.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// The files of the shared libraries mapped into a process.
std::vector<std::string> MappedLibraries(pid_t pid) {
    std::vector<std::string> libraries;
    std::istringstream lines(ReadFile("/proc/" + std::to_string(pid) + "/maps"));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t path = line.find('/');
        if (path != std::string::npos && line.find(".so", path) != std::string::npos)
            libraries.push_back(line.substr(path));
    }
    return libraries;
}

// The first mapped library whose file name starts with the given name; empty when none.
std::string FindLibrary(const std::vector<std::string> &libraries, const std::string &name) {
    for (const std::string &library : libraries) {
        if (library.compare(library.rfind('/') + 1, name.size(), name) == 0)
            return library;
    }
    return "";
}

TEST(SdlLibrary, ProgramRunsOnTheLibraryItIsGiven) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(stage.screen.WaitForWindow(10000, nullptr)) << stage.program.Errors();
    const std::vector<std::string> libraries = MappedLibraries(stage.program.Pid());
    const std::string sdl = FindLibrary(libraries, "libSDL-1.2.so");
    ASSERT_FALSE(sdl.empty());
    const std::string sdl2 = FindLibrary(libraries, "libSDL2-2.0.so");

    const char *given = getenv("VELMORA_TEST_SDL_LIBRARY_DIR");
    if (given && *given) {
        char directory[PATH_MAX];
        ASSERT_NE(realpath(given, directory), nullptr) << given << " does not exist";
        EXPECT_EQ(sdl.rfind(std::string(directory) + "/", 0), 0u) << sdl;
        // The classic library draws on X11 itself; only the maintained one needs SDL2.
        EXPECT_EQ(sdl2, "");
    } else {
        EXPECT_NE(sdl2, "") << "the system's " << sdl << " is not the library over SDL2";
    }
}

} // namespace
