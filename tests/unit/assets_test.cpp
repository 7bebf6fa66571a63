// Where the program looks for its files, and binding the SDL library by name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "sdl/sdl_api.h"

namespace {

TEST(Assets, ProgramDirectoryIsCutAfterTheLastSeparator) {
    const std::string longest(PATH_MAX - 12, 'd'); // with "/", "/b/velmora" and the zero: PATH_MAX
    const struct {
        std::string executable, directory, installed;
    } rows[] = {
        {"/x/Velmora.exe/velmora", "/x/Velmora.exe/", "/x/share/velmora/"},
        {"/home/zoë/клавиши ♪/velmora", "/home/zoë/клавиши ♪/", "/home/zoë/share/velmora/"},
        {"/bin/velmora", "/bin/", "/share/velmora/"},
        {"/velmora", "/", "/share/velmora/"},
        {"velmora", "", ""},
        {"/" + longest + "/b/velmora", "/" + longest + "/b/", ""},
        {"/" + longest + "/bx/velmora", "", ""},
    };
    for (const auto &row : rows) {
        strcpy(baseDirectory, "stale/");
        EXPECT_EQ(SetBaseDirectoryFromPath(row.executable.c_str()),
                  row.directory.empty() ? baseDirectoryNoProgram : baseDirectoryNoFiles);
        EXPECT_EQ(programDirectory, row.directory) << row.executable.substr(0, 40);
        EXPECT_EQ(installedDirectory, row.installed) << row.executable.substr(0, 40);
        EXPECT_EQ(baseDirectory, std::string());
    }
}

// Beside the program first, as a build tree has them, then where an installed tree has them.
TEST(Assets, FilesAreLookedForBesideTheProgramThenInShare) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("velmora-places-" + std::to_string(getpid()));
    const struct {
        std::vector<std::string> folders;
        std::string found;
    } rows[] = {
        {{"bin/Samples", "share/velmora/Gfx", "share/velmora/Samples"}, "bin/"},
        {{"share/velmora/Samples"}, "share/velmora/"},
        {{"bin/gfx", "share/Gfx", "Gfx", "velmora/Samples"}, ""},
    };
    for (const auto &row : rows) {
        fs::remove_all(root);
        fs::create_directories(root / "bin");
        for (const auto &folder : row.folders)
            fs::create_directories(root / folder);
        SCOPED_TRACE(row.folders.front());
        EXPECT_EQ(SetBaseDirectoryFromPath((root / "bin/velmora").c_str()),
                  row.found.empty() ? baseDirectoryNoFiles : baseDirectoryFound);
        EXPECT_EQ(baseDirectory, row.found.empty() ? "" : (root / row.found).string());
    }
    fs::remove_all(root);
    baseDirectory[0] = 0;
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
