// The program's pictures and samples: found beside the executable or in the installed tree's
// share/velmora, loaded once at start-up, and kept for the life of the process. The splash
// picture is compiled in.
#pragma once

#include <SDL/SDL.h>

#include <climits>
#include <cstddef>
#include <cstdint>

// The nine pictures, in loading order.
enum ImageIndex {
    imageWhite,
    imageWhitePressed,
    imageBlack1,
    imageBlack1Pressed,
    imageBlack2,
    imageBlack2Pressed,
    imageBlack3,
    imageBlack3Pressed,
    imageExitButton,
    imageCount
};

inline constexpr int sampleCount = 24;
inline constexpr int splashWidth = 240;
inline constexpr int splashHeight = 320;
inline constexpr int iconSize = 32;

// The directory the pictures and samples are loaded from, with its trailing '/'.
extern char baseDirectory[PATH_MAX];

extern SDL_Surface *keyImages[imageCount];
inline SDL_Surface *&ExitButtonImage = keyImages[imageExitButton];
extern SDL_Surface *splashSurface;

// The SampleBank: one sample per slot, null and 0 where a file did not load.
extern Uint8 *sampleBankData[sampleCount];
extern Uint32 sampleBankLength[sampleCount];

// Relative file names of the pictures, in loading order.
extern const char imageNames[imageCount][20];

// Relative file names of the samples, in slot order.
extern const char sampleNames[sampleCount][16];

// The embedded splash picture: 240 x 320, rows top to bottom, bytes red, green, blue, alpha.
extern const unsigned char splashPixels[splashWidth * splashHeight * 4];

// The embedded window icon: iconSize x iconSize, bytes as in splashPixels.
extern const unsigned char iconPixels[iconSize * iconSize * 4];

// Where the files were found, or why not.
enum BaseDirectoryResult {
    baseDirectoryFound,
    baseDirectoryNoProgram, // the program's own folder is unknown
    baseDirectoryNoFiles,   // neither place holds Gfx/ or Samples/
};

// The executable's resolved directory with its trailing '/'; empty when it is unknown.
extern char programDirectory[PATH_MAX];

// The installed tree's data folder for that directory: share/velmora/ beside its parent
// (/usr/share/velmora/ for /usr/bin/); empty when it does not fit.
extern char installedDirectory[PATH_MAX];

// Finds the program's directory from its resolved executable, or where that cannot be read from
// startedAs (the path it was started by) when that holds a '/', and then the files from it.
// Never from the working directory.
BaseDirectoryResult FindBaseDirectory(const char *startedAs);

// Sets programDirectory to the part of a resolved executable path up to and including its last
// '/', and baseDirectory to the first of programDirectory and installedDirectory that holds a
// Gfx/ or Samples/ folder (empty when neither does).
BaseDirectoryResult SetBaseDirectoryFromPath(const char *executablePath);

// Writes baseDirectory + relativeName into outPath; false (and an empty path) if it does not fit.
bool BuildAssetPath(const char *relativeName, char *outPath, size_t outSize);

// Loads one bitmap beside the executable; null when it cannot, with the reason kept for
// GetAssetProblem. Only a regular file within the size bounds is given to SDL.
SDL_Surface *LoadBitmapAsset(const char *relativeName);

// Loads one sample into its SampleBank slot; when it cannot, leaves the slot empty and says on
// standard error why and which key will be silent.
void LoadSampleAsset(const char *relativeName, int slot);

// Loads the nine pictures and builds the splash surface; false, with the reason kept for
// GetAssetProblem, at the first that fails.
bool LoadGraphics();

// Why the last picture or sample did not load, naming it: "picture Gfx/whitekey.bmp: not a
// bitmap"; or why the splash picture could not be built.
const char *GetAssetProblem();

// Loads the 24 samples in slot order.
void LoadSamples();
