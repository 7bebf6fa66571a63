// Where the program looks for its files, and binding the SDL library by name.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "sdl/sdl_api.h"

namespace {

TEST(Assets, BaseDirectoryIsCutAfterTheLastSeparator) {
    const std::string longest(PATH_MAX - 10, 'd'); // with "/", "/velmora" and the zero: PATH_MAX
    const struct {
        std::string executable, directory;
    } rows[] = {
        {"/usr/local/bin/velmora", "/usr/local/bin/"},
        {"/x/Velmora.exe/velmora", "/x/Velmora.exe/"},
        {"/home/zoë/клавиши ♪/velmora", "/home/zoë/клавиши ♪/"},
        {"/velmora", "/"},
        {"velmora", ""},
        {"/" + longest + "/velmora", "/" + longest + "/"},
        {"/" + longest + "x/velmora", ""},
    };
    for (const auto &row : rows) {
        strcpy(baseDirectory, "stale/");
        SetBaseDirectoryFromPath(row.executable.c_str());
        EXPECT_EQ(baseDirectory, row.directory) << row.executable.substr(0, 40);
    }
    FindBaseDirectory();
    EXPECT_EQ(baseDirectory,
              std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
}

TEST(Assets, PathNeverWritesPastItsBuffer) {
    const char *name = "Gfx/whitekey.bmp"; // 16 bytes
    const std::string directory = "/opt/piano/", longest(PATH_MAX - 1, 'd');
    const struct {
        std::string directory;
        size_t outSize;
        bool fits;
    } rows[] = {
        {directory, 64, true},  {directory, 11 + 16 + 1, true}, {directory, 11 + 16, false},
        {directory, 12, false}, {directory, 5, false},          {directory, 1, false},
        {"", 17, true},         {longest, PATH_MAX, false},     {longest, 256, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.directory.size()) + " into " + std::to_string(row.outSize));
        strcpy(baseDirectory, row.directory.c_str());
        // Exactly the size handed over, so that AddressSanitizer sees any byte written past it.
        std::vector<char> out(row.outSize, 'x');
        EXPECT_EQ(BuildAssetPath(name, out.data(), out.size()), row.fits);
        EXPECT_EQ(out.data(), row.fits ? row.directory + name : "");
    }
    char untouched = 'x';
    EXPECT_FALSE(BuildAssetPath(name, &untouched, 0));
    EXPECT_EQ(untouched, 'x');
    baseDirectory[0] = 0;
}

// Every slot is bound or the binding fails; a failure leaves the slots from the missing name on
// empty.
TEST(SdlBinding, AllOrNothing) {
    const std::string fake = FAKE_SDL_DIR "/";
    const struct {
        std::string library;
        int filled; // slots filled, counted from the first
        bool bound;
    } rows[] = {
        {sdlLibraryName, 58, true},
        {fake + "complete/libSDL-1.2.so.0", 58, true},
        {fake + "no_last/libSDL-1.2.so.0", 57, false},
        {fake + "no_first/libSDL-1.2.so.0", 0, false},
        {"/nonexistent/libSDL-1.2.so.0", 0, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.library);
        sdl = SdlApi{};
        EXPECT_EQ(BindSdlLibrary(row.library.c_str()) == 0, row.bound);
        std::vector<bool> filled;
#define VELMORA_SDL_FILLED(name) filled.push_back(sdl.name != nullptr);
        VELMORA_SDL_NAMES(VELMORA_SDL_FILLED)
#undef VELMORA_SDL_FILLED
        ASSERT_EQ(filled.size(), 58u);
        for (int slot = 0; slot < 58; ++slot)
            EXPECT_EQ(filled[slot], slot < row.filled) << "slot " << slot;
    }
    sdl = SdlApi{};
}

} // namespace
