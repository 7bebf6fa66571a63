#include "assets/assets.h"

#include <cstring>

#include "platform/platform.h"
#include "sdl/sdl_api.h"

char baseDirectory[PATH_MAX];

SDL_Surface *keyImages[imageCount];
SDL_Surface *splashSurface;

Uint8 *sampleBankData[sampleCount];
Uint32 sampleBankLength[sampleCount];

const char imageNames[imageCount][20] = {
    "Gfx/whitekey.bmp",   "Gfx/whitekeyp.bmp",  "Gfx/blackkey1.bmp",
    "Gfx/blackkey1p.bmp", "Gfx/blackkey2.bmp",  "Gfx/blackkey2p.bmp",
    "Gfx/blackkey3.bmp",  "Gfx/blackkey3p.bmp", "Gfx/exitbutton.bmp",
};

const char sampleNames[sampleCount][16] = {
    "Samples/1.wav",   "Samples/2.wav",   "Samples/3.wav",   "Samples/4.wav",   "Samples/5.wav",
    "Samples/6.wav",   "Samples/7.wav",   "Samples/1d.wav",  "Samples/2d.wav",  "Samples/4d.wav",
    "Samples/5d.wav",  "Samples/6d.wav",  "Samples/11.wav",  "Samples/12.wav",  "Samples/13.wav",
    "Samples/14.wav",  "Samples/15.wav",  "Samples/16.wav",  "Samples/17.wav",  "Samples/11d.wav",
    "Samples/12d.wav", "Samples/14d.wav", "Samples/15d.wav", "Samples/16d.wav",
};

// The splash surface draws from this copy of the embedded picture for the life of the process.
static unsigned char splashBuffer[sizeof splashPixels];

void SetBaseDirectoryFromPath(const char *executablePath) {
    baseDirectory[0] = 0;
    size_t length = strnlen(executablePath, sizeof baseDirectory);
    if (length == sizeof baseDirectory)
        return;
    // Cut after the last separator, whatever the program and its folders are called.
    const char *lastSeparator = strrchr(executablePath, '/');
    if (!lastSeparator)
        return;
    size_t directoryLength = static_cast<size_t>(lastSeparator - executablePath) + 1;
    memcpy(baseDirectory, executablePath, directoryLength);
    baseDirectory[directoryLength] = 0;
}

void FindBaseDirectory() {
    char executablePath[PATH_MAX];
    if (GetExecutablePath(executablePath, sizeof executablePath) == 0)
        executablePath[0] = 0;
    SetBaseDirectoryFromPath(executablePath);
}

bool BuildAssetPath(const char *relativeName, char *outPath, size_t outSize) {
    if (outSize == 0)
        return false;
    size_t directoryLength = strnlen(baseDirectory, sizeof baseDirectory);
    size_t nameLength = strlen(relativeName);
    if (directoryLength >= outSize || nameLength >= outSize - directoryLength) {
        outPath[0] = 0;
        return false;
    }
    memcpy(outPath, baseDirectory, directoryLength);
    memcpy(outPath + directoryLength, relativeName, nameLength + 1);
    return true;
}

// Opens an asset file for SDL's decoders; null when it cannot be named or opened.
static SDL_RWops *OpenAsset(const char *relativeName) {
    char path[PATH_MAX];
    if (!BuildAssetPath(relativeName, path, sizeof path))
        return nullptr;
    return sdl.SDL_RWFromFile(path, "rb");
}

SDL_Surface *LoadBitmapAsset(const char *relativeName) {
    SDL_RWops *stream = OpenAsset(relativeName);
    if (!stream)
        return nullptr;
    return sdl.SDL_LoadBMP_RW(stream, 1);
}

void LoadSampleAsset(const char *relativeName, int slot) {
    if (slot < 0 || slot >= sampleCount)
        return;
    sampleBankData[slot] = nullptr;
    sampleBankLength[slot] = 0;
    SDL_RWops *stream = OpenAsset(relativeName);
    if (!stream)
        return;
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (!sdl.SDL_LoadWAV_RW(stream, 1, &spec, &data, &length))
        return;
    sampleBankData[slot] = data;
    sampleBankLength[slot] = length;
}

bool LoadGraphics() {
    bool complete = true;
    for (int image = 0; image < imageCount; ++image) {
        keyImages[image] = LoadBitmapAsset(imageNames[image]);
        complete = complete && keyImages[image] != nullptr;
    }
    memcpy(splashBuffer, splashPixels, sizeof splashBuffer);
    splashSurface =
        sdl.SDL_CreateRGBSurfaceFrom(splashBuffer, splashWidth, splashHeight, 32, splashWidth * 4,
                                     0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    return complete && splashSurface != nullptr;
}

void LoadSamples() {
    for (int slot = 0; slot < sampleCount; ++slot)
        LoadSampleAsset(sampleNames[slot], slot);
}
