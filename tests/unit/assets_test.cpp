// Finding the program's directory, building asset paths within their buffers, and loading the
// generated pictures and samples through the real SDL library.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/platform.h"
#include "run_program.h"
#include "sdl/sdl_api.h"

namespace fs = std::filesystem;

namespace {

const std::string buildDirectory = VELMORA_BUILD_DIR;

std::vector<uint8_t> ReadFile(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
}

// A fresh directory under the system's temporary directory, removed with everything in it.
struct TemporaryDirectory {
    fs::path path;
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "velmora-assets-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Copies the program, its pictures and its samples as an installation would lay them out.
void CopyInstallation(const fs::path &destination, bool withProgram) {
    fs::create_directories(destination);
    fs::copy(buildDirectory + "/Gfx", destination / "Gfx", fs::copy_options::recursive);
    fs::copy(buildDirectory + "/Samples", destination / "Samples", fs::copy_options::recursive);
    if (withProgram)
        fs::copy_file(VELMORA_EXECUTABLE, destination / "velmora");
}

void SetBaseDirectory(const std::string &directory) {
    ASSERT_LT(directory.size(), sizeof baseDirectory);
    memcpy(baseDirectory, directory.c_str(), directory.size() + 1);
}

// Frees whatever a previous load left in the pictures and the sample bank.
void ReleaseAssets() {
    using FreeWav = void (*)(Uint8 *);
    auto freeWav = reinterpret_cast<FreeWav>(FindLibraryName(sdl.library, "SDL_FreeWAV"));
    for (int slot = 0; slot < sampleCount; ++slot) {
        if (sampleBankData[slot] && freeWav)
            freeWav(sampleBankData[slot]);
        sampleBankData[slot] = nullptr;
        sampleBankLength[slot] = 0;
    }
    for (SDL_Surface *&image : keyImages) {
        if (image)
            sdl.SDL_FreeSurface(image);
        image = nullptr;
    }
    if (splashSurface)
        sdl.SDL_FreeSurface(splashSurface);
    splashSurface = nullptr;
}

class AssetLoading : public testing::Test {
  protected:
    void SetUp() override {
        if (!sdl.library) {
            ASSERT_EQ(BindSdl(), 0u) << GetLastPlatformErrorText();
        }
        ReleaseAssets();
    }
    void TearDown() override {
        ReleaseAssets();
        baseDirectory[0] = 0;
    }
};

TEST(BaseDirectory, CutAfterTheLastSeparator) {
    const std::string longest(PATH_MAX - 10, 'd'); // with "/", "/velmora" and the zero: PATH_MAX
    const std::string tooLong(PATH_MAX, 'd');
    struct Case {
        const char *what;
        std::string executablePath;
        std::string directory;
    } cases[] = {
        {"plain", "/usr/local/bin/velmora", "/usr/local/bin/"},
        {"program's name in a folder name", "/opt/velmora.d/velmora", "/opt/velmora.d/"},
        {"old file name as a folder", "/x/Velmora.exe/velmora", "/x/Velmora.exe/"},
        {"another file name", "/home/pat/Velmora.exe", "/home/pat/"},
        {"UTF-8 folder names", "/home/zoë/клавиши ♪/velmora", "/home/zoë/клавиши ♪/"},
        {"at the root", "/velmora", "/"},
        {"no separator", "velmora", ""},
        {"empty", "", ""},
        {"longest that fits", "/" + longest + "/velmora", "/" + longest + "/"},
        {"longer than the buffer", "/" + tooLong + "/velmora", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        strcpy(baseDirectory, "stale/");
        SetBaseDirectoryFromPath(c.executablePath.c_str());
        EXPECT_EQ(std::string(baseDirectory), c.directory);
    }
    baseDirectory[0] = 0;
}

TEST(BaseDirectory, FoundFromTheRunningExecutable) {
    FindBaseDirectory();
    std::string expected = fs::canonical("/proc/self/exe").parent_path().string() + "/";
    EXPECT_EQ(std::string(baseDirectory), expected);
    baseDirectory[0] = 0;
}

TEST(AssetPath, NeverWritesPastItsBuffer) {
    const char *name = "Gfx/whitekey.bmp";       // 16 bytes
    const std::string directory = "/opt/piano/"; // 11 bytes
    const std::string longestDirectory(PATH_MAX - 1, 'd');
    struct Case {
        const char *what;
        std::string directory;
        size_t outSize;
        bool fits;
    } cases[] = {
        {"roomy", directory, 64, true},
        {"exactly fitting", directory, 11 + 16 + 1, true},
        {"one byte short", directory, 11 + 16, false},
        {"only the directory fits", directory, 12, false},
        {"smaller than the directory", directory, 5, false},
        {"one byte", directory, 1, false},
        {"no directory", "", 17, true},
        {"directory filling the whole path buffer", longestDirectory, PATH_MAX, false},
        {"directory longer than the output", longestDirectory, 256, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetBaseDirectory(c.directory);
        // Exactly the size handed over, so that AddressSanitizer sees any byte written past it.
        std::vector<char> out(c.outSize, 'x');
        EXPECT_EQ(BuildAssetPath(name, out.data(), out.size()), c.fits);
        EXPECT_EQ(std::string(out.data()), c.fits ? c.directory + name : "");
    }
    // No room at all: nothing written.
    char untouched = 'x';
    EXPECT_FALSE(BuildAssetPath(name, &untouched, 0));
    EXPECT_EQ(untouched, 'x');
    baseDirectory[0] = 0;
}

TEST_F(AssetLoading, PathTooLongLoadsNothing) {
    SetBaseDirectory("/" + std::string(PATH_MAX - 12, 'd') + "/");
    EXPECT_EQ(LoadBitmapAsset("Gfx/whitekey.bmp"), nullptr);
    LoadSampleAsset("Samples/1.wav", 0);
    EXPECT_EQ(sampleBankData[0], nullptr);
    EXPECT_EQ(sampleBankLength[0], 0u);
}

// The data chunk of a WAV file as written by the generator.
std::vector<uint8_t> WavData(const fs::path &path) {
    std::vector<uint8_t> bytes = ReadFile(path);
    return bytes.size() > 44 ? std::vector<uint8_t>(bytes.begin() + 44, bytes.end())
                             : std::vector<uint8_t>();
}

TEST_F(AssetLoading, LoadsTheGeneratedSet) {
    SetBaseDirectory(buildDirectory + "/");
    ASSERT_TRUE(LoadGraphics());
    struct Size {
        int width, height;
    } sizes[imageCount] = {{120, 45}, {120, 45}, {72, 27}, {72, 27}, {72, 27},
                           {72, 27},  {72, 27},  {72, 27}, {30, 5}};
    for (int image = 0; image < imageCount; ++image) {
        SCOPED_TRACE(imageNames[image]);
        ASSERT_NE(keyImages[image], nullptr);
        EXPECT_EQ(keyImages[image]->w, sizes[image].width);
        EXPECT_EQ(keyImages[image]->h, sizes[image].height);
    }
    // The exit button stays above the top keys, which start at row 5.
    EXPECT_LE(ExitButtonImage->h, 5);

    LoadSamples();
    for (int slot = 0; slot < sampleCount; ++slot) {
        SCOPED_TRACE(sampleNames[slot]);
        ASSERT_NE(sampleBankData[slot], nullptr);
        EXPECT_EQ(sampleBankLength[slot] % 2, 0u);
        EXPECT_GT(sampleBankLength[slot], 22050u * 2); // more than a second
        std::vector<uint8_t> expected = WavData(buildDirectory + "/" + sampleNames[slot]);
        ASSERT_EQ(sampleBankLength[slot], expected.size());
        EXPECT_EQ(memcmp(sampleBankData[slot], expected.data(), expected.size()), 0);
    }
}

TEST_F(AssetLoading, SplashSurfaceShowsTheEmbeddedPicture) {
    SetBaseDirectory(buildDirectory + "/");
    ASSERT_TRUE(LoadGraphics());
    ASSERT_NE(splashSurface, nullptr);
    EXPECT_EQ(splashSurface->w, splashWidth);
    EXPECT_EQ(splashSurface->h, splashHeight);
    EXPECT_EQ(splashSurface->format->BitsPerPixel, 32);
    const auto *pixels = static_cast<const unsigned char *>(splashSurface->pixels);
    for (int row = 0; row < splashHeight; ++row) {
        ASSERT_EQ(memcmp(pixels + row * splashSurface->pitch, splashPixels + row * splashWidth * 4,
                         splashWidth * 4),
                  0)
            << "row " << row;
    }
    // Byte order red, green, blue, alpha, as the surface's masks read them.
    Uint8 red, green, blue, alpha;
    sdl.SDL_GetRGBA(*reinterpret_cast<const Uint32 *>(pixels), splashSurface->format, &red, &green,
                    &blue, &alpha);
    EXPECT_EQ(red, splashPixels[0]);
    EXPECT_EQ(green, splashPixels[1]);
    EXPECT_EQ(blue, splashPixels[2]);
    EXPECT_EQ(alpha, 255);
    for (size_t i = 3; i < sizeof splashPixels; i += 4)
        ASSERT_EQ(splashPixels[i], 255) << "alpha of pixel " << i / 4;
}

TEST_F(AssetLoading, MissingSampleLeavesOnlyItsSlotEmpty) {
    TemporaryDirectory temporary;
    CopyInstallation(temporary.path, false);
    const int missing = 4;
    fs::remove(temporary.path / sampleNames[missing]);
    SetBaseDirectory(temporary.path.string() + "/");
    LoadSamples();
    for (int slot = 0; slot < sampleCount; ++slot) {
        SCOPED_TRACE(sampleNames[slot]);
        if (slot == missing) {
            EXPECT_EQ(sampleBankData[slot], nullptr);
            EXPECT_EQ(sampleBankLength[slot], 0u);
        } else {
            EXPECT_NE(sampleBankData[slot], nullptr);
            EXPECT_GT(sampleBankLength[slot], 0u);
        }
    }
}

TEST_F(AssetLoading, MissingBitmapFailsTheGraphics) {
    TemporaryDirectory temporary;
    CopyInstallation(temporary.path, false);
    fs::remove(temporary.path / imageNames[imageBlack2Pressed]);
    SetBaseDirectory(temporary.path.string() + "/");
    EXPECT_FALSE(LoadGraphics());
    for (int image = 0; image < imageCount; ++image)
        EXPECT_EQ(keyImages[image] == nullptr, image == imageBlack2Pressed) << imageNames[image];
}

// Mean absolute difference per colour channel between two pictures of the same size.
double PictureDifference(SDL_Surface *a, SDL_Surface *b) {
    double sum = 0.0;
    for (int y = 0; y < a->h; ++y) {
        for (int x = 0; x < a->w; ++x) {
            const auto *pa = static_cast<const Uint8 *>(a->pixels) + y * a->pitch + x * 3;
            const auto *pb = static_cast<const Uint8 *>(b->pixels) + y * b->pitch + x * 3;
            for (int channel = 0; channel < 3; ++channel)
                sum += std::abs(pa[channel] - pb[channel]);
        }
    }
    return sum / (a->w * a->h * 3);
}

TEST_F(AssetLoading, PressedPicturesStandOut) {
    SetBaseDirectory(buildDirectory + "/");
    ASSERT_TRUE(LoadGraphics());
    for (int image = imageWhite; image < imageExitButton; image += 2) {
        SCOPED_TRACE(imageNames[image]);
        SDL_Surface *released = keyImages[image], *pressed = keyImages[image + 1];
        ASSERT_EQ(released->format->BytesPerPixel, 3);
        ASSERT_EQ(pressed->format->BytesPerPixel, 3);
        EXPECT_EQ(pressed->w, released->w);
        EXPECT_EQ(pressed->h, released->h);
        EXPECT_GT(PictureDifference(released, pressed), 12.0);
    }
}

TEST(AssetGenerator, WritesTheSameBytesEveryRun) {
    TemporaryDirectory temporary;
    std::string command =
        std::string("'") + VELMORA_ASSET_GENERATOR + "' '" + temporary.path.string() + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    std::vector<std::string> files = {"splash_pixels.cpp"};
    for (const char *name : imageNames)
        files.push_back(name);
    for (const char *name : sampleNames)
        files.push_back(name);
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> again = ReadFile(temporary.path / file);
        EXPECT_FALSE(again.empty());
        EXPECT_TRUE(again == ReadFile(buildDirectory + "/" + file));
    }
}

TEST(Startup, MissingBitmapEndsTheProgramQuietly) {
    TemporaryDirectory temporary;
    CopyInstallation(temporary.path, true);
    fs::remove(temporary.path / "Gfx/exitbutton.bmp");
    ProgramRun run = RunProgram((temporary.path / "velmora").string(), "SDL_VIDEODRIVER=dummy", 15);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "Velmora starting...\n");
}

// Started through a symbolic link from another folder, both with UTF-8 names, the program
// still finds the pictures and samples beside its real file. The last sample is a named pipe:
// the program opening it shows that it got past every picture and reached the last sample.
TEST(Startup, FindsItsAssetsThroughASymbolicLink) {
    TemporaryDirectory temporary;
    const fs::path installed = temporary.path / "velmora.d ♪ café";
    CopyInstallation(installed, true);
    const fs::path lastSample = installed / sampleNames[sampleCount - 1];
    fs::remove(lastSample);
    ASSERT_EQ(mkfifo(lastSample.c_str(), 0600), 0);
    const fs::path links = temporary.path / "ссылки ☂";
    fs::create_directories(links);
    const fs::path link = links / "piano";
    fs::create_symlink(installed / "velmora", link);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl(link.c_str(), link.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    bool opened = false, exited = false;
    for (int attempt = 0; attempt < 2000 && !opened && !exited; ++attempt) {
        // Opening a pipe for writing without blocking succeeds only once a reader has it open.
        int pipe = open(lastSample.c_str(), O_WRONLY | O_NONBLOCK);
        if (pipe >= 0) {
            opened = true;
            close(pipe);
            break;
        }
        int status;
        exited = waitpid(child, &status, WNOHANG) == child;
        usleep(10000);
    }
    if (!exited) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    EXPECT_TRUE(opened) << (exited ? "the program ended before reading its last sample"
                                   : "the program never opened its last sample");
}

} // namespace
