#include "assets/assets.h"

#include <cstdio>
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

char programDirectory[PATH_MAX];
char installedDirectory[PATH_MAX];

// Where an installed tree keeps the files, relative to the parent of the program's bin/.
static const char installedData[] = "share/velmora/";
static const char *const assetFolders[] = {"Gfx", "Samples"};

// Copies the first length bytes of text into out as a string; false (out empty) if they do not
// fit.
static bool CopyPrefix(const char *text, size_t length, char *out, size_t outSize) {
    out[0] = 0;
    if (length >= outSize)
        return false;
    memcpy(out, text, length);
    out[length] = 0;
    return true;
}

// A place holds the files once either folder is there: a tree missing one of them then reports
// its missing files as before, rather than sending the program to look elsewhere.
static bool HoldsAssets(const char *directory) {
    for (const char *folder : assetFolders) {
        char path[PATH_MAX];
        if (snprintf(path, sizeof path, "%s%s", directory, folder) < int(sizeof path) &&
            IsDirectory(path))
            return true;
    }
    return false;
}

BaseDirectoryResult SetBaseDirectoryFromPath(const char *executablePath) {
    baseDirectory[0] = 0;
    installedDirectory[0] = 0;
    programDirectory[0] = 0;
    // Cut after the last separator, whatever the program and its folders are called.
    const char *lastSeparator = strrchr(executablePath, '/');
    if (strnlen(executablePath, PATH_MAX) == PATH_MAX || !lastSeparator ||
        !CopyPrefix(executablePath, size_t(lastSeparator - executablePath) + 1, programDirectory,
                    sizeof programDirectory))
        return baseDirectoryNoProgram;
    // The path is resolved, so its parent is the part before the separator ahead of the last;
    // the root is its own parent.
    size_t parentLength = strlen(programDirectory) - 1;
    while (parentLength > 0 && programDirectory[parentLength - 1] != '/')
        --parentLength;
    if (parentLength == 0)
        parentLength = 1;
    if (CopyPrefix(programDirectory, parentLength, installedDirectory, sizeof installedDirectory) &&
        parentLength + strlen(installedData) < sizeof installedDirectory)
        strcat(installedDirectory, installedData);
    else
        installedDirectory[0] = 0;
    const char *const places[] = {programDirectory, installedDirectory};
    for (const char *place : places) {
        if (place[0] && HoldsAssets(place)) {
            strcpy(baseDirectory, place);
            return baseDirectoryFound;
        }
    }
    return baseDirectoryNoFiles;
}

BaseDirectoryResult FindBaseDirectory(const char *startedAs) {
    char executablePath[PATH_MAX];
    if (GetExecutablePath(executablePath, sizeof executablePath) > 0)
        return SetBaseDirectoryFromPath(executablePath);
    // Without /proc, a path the program was started by still leads to it. A bare name was found
    // through PATH, and the working directory says nothing about where the program lives, so
    // neither is guessed from.
    if (startedAs && strchr(startedAs, '/') &&
        ResolvePath(startedAs, executablePath, sizeof executablePath) > 0)
        return SetBaseDirectoryFromPath(executablePath);
    programDirectory[0] = 0;
    installedDirectory[0] = 0;
    baseDirectory[0] = 0;
    return baseDirectoryNoProgram;
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
