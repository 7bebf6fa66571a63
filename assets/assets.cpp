#include "assets/assets.h"

#include <cinttypes>
#include <cstdarg>
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

// The keys the samples sound, in slot order, for messages.
static const char sampleKeyNames[sampleCount][4] = {
    "C4", "D4", "E4", "F4", "G4", "A4", "B4", "C#4", "D#4", "F#4", "G#4", "A#4",
    "C5", "D5", "E5", "F5", "G5", "A5", "B5", "C#5", "D#5", "F#5", "G#5", "A#5",
};

// Bounds far beyond what the program needs, so that a damaged or hostile file cannot make it
// allocate more: a picture's side (the screen is 240 x 320), and a sample's sound, 30 s as
// the mixer plays it (the notes last 2 to 4 s). The files themselves may be as large as that
// and a little room for their headers and other chunks.
static constexpr int64_t maxPictureSide = 4096;
static constexpr uint32_t sampleBytesPerSecond = 22050 * 2;
static constexpr uint32_t maxSampleSeconds = 30;
static constexpr uint32_t maxSampleDataBytes = maxSampleSeconds * sampleBytesPerSecond;
static constexpr uint64_t headerRoomBytes = 65536;
static constexpr uint64_t maxPictureFileBytes =
    maxPictureSide * maxPictureSide * 4 + headerRoomBytes;
static constexpr uint64_t maxSampleFileBytes = maxSampleDataBytes + headerRoomBytes;
// A format chunk holds a few dozen bytes; SDL reads it whole, whatever size it declares.
static constexpr uint32_t maxFormatChunkBytes = 1024;

// Why the last asset did not load, with its name: "picture Gfx/whitekey.bmp: not a bitmap".
static char assetProblem[PATH_MAX + 160];

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
    // Without /proc, a path the program was started by still leads to it. A bare name was found
    // through PATH, and the working directory says nothing about where the program lives, so
    // neither is guessed from: the empty path then finds no program.
    if (GetExecutablePath(executablePath, sizeof executablePath) == 0 &&
        !(startedAs && strchr(startedAs, '/') &&
          ResolvePath(startedAs, executablePath, sizeof executablePath) > 0))
        executablePath[0] = 0;
    return SetBaseDirectoryFromPath(executablePath);
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

const char *GetAssetProblem() {
    return assetProblem;
}

// Records why an asset did not load; always false.
[[gnu::format(printf, 3, 4)]] static bool Refuse(const char *kind, const char *relativeName,
                                                 const char *format, ...) {
    int length = snprintf(assetProblem, sizeof assetProblem, "%s %s: ", kind, relativeName);
    va_list arguments;
    va_start(arguments, format);
    if (length > 0 && static_cast<size_t>(length) < sizeof assetProblem)
        vsnprintf(assetProblem + length, sizeof assetProblem - length, format, arguments);
    va_end(arguments);
    return false;
}

// Little-endian values in a header.
static uint32_t ReadU16(const unsigned char *bytes) {
    return bytes[0] | bytes[1] << 8;
}

static uint32_t ReadU32(const unsigned char *bytes) {
    return ReadU16(bytes) | ReadU16(bytes + 2) << 16;
}

// Checks a bitmap's headers: its size, and that an uncompressed one is all there.
static bool CheckBitmap(FILE *file, uint64_t fileBytes, const char *relativeName) {
    unsigned char header[34] = {};
    if (fread(header, 1, sizeof header, file) < 26 || header[0] != 'B' || header[1] != 'M')
        return Refuse("picture", relativeName, "not a bitmap");
    // The oldest header has 16-bit sizes; the others 32-bit, the height negative when the rows
    // run top to bottom.
    const bool isOld = ReadU32(header + 14) == 12;
    int64_t width = isOld ? ReadU16(header + 18) : static_cast<int32_t>(ReadU32(header + 18));
    int64_t height = isOld ? ReadU16(header + 20) : static_cast<int32_t>(ReadU32(header + 22));
    width = width < 0 ? -width : width;
    height = height < 0 ? -height : height;
    if (width > maxPictureSide || height > maxPictureSide)
        return Refuse("picture", relativeName,
                      "%" PRId64 " x %" PRId64 " is larger than %" PRId64 " x %" PRId64, width,
                      height, maxPictureSide, maxPictureSide);
    const uint32_t compression = ReadU32(header + 30);
    if (isOld || (compression != 0 && compression != 3))
        return true;
    // SDL makes the surface before it reads the rows.
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * ReadU16(header + 28) + 31) / 32 * 4;
    const uint64_t wanted = ReadU32(header + 10) + rowBytes * static_cast<uint64_t>(height);
    if (fileBytes < wanted)
        return Refuse("picture", relativeName, "cut short, %" PRIu64 " of %" PRIu64 " bytes",
                      fileBytes, wanted);
    return true;
}

// Checks a WAV file's chunks up to its sound: the sound's length, and a format chunk of a
// sensible size; the rest is left to SDL.
static bool CheckWave(FILE *file, uint64_t fileBytes, const char *relativeName) {
    unsigned char header[12];
    if (fread(header, 1, sizeof header, file) < sizeof header || memcmp(header, "RIFF", 4) != 0 ||
        memcmp(header + 8, "WAVE", 4) != 0)
        return Refuse("sample", relativeName, "not a WAV file");
    uint64_t position = sizeof header;
    unsigned char chunk[8];
    while (fseek(file, static_cast<long>(position), SEEK_SET) == 0 &&
           fread(chunk, 1, sizeof chunk, file) == sizeof chunk) {
        const uint32_t chunkBytes = ReadU32(chunk + 4);
        if (memcmp(chunk, "data", 4) == 0 && chunkBytes > maxSampleDataBytes)
            return Refuse("sample", relativeName,
                          "%" PRIu32 " s of sound is longer than %" PRIu32 " s",
                          chunkBytes / sampleBytesPerSecond, maxSampleSeconds);
        if (memcmp(chunk, "data", 4) == 0)
            return true;
        position += sizeof chunk + chunkBytes + (chunkBytes & 1);
        if ((memcmp(chunk, "fmt ", 4) == 0 && chunkBytes > maxFormatChunkBytes) ||
            position > fileBytes)
            return Refuse("sample", relativeName, "not a WAV file");
    }
    return true;
}

// Opens an asset file for SDL's decoders once it has passed its check; null, with the reason
// recorded, when it cannot be named or opened or does not pass.
static SDL_RWops *OpenAsset(const char *kind, const char *relativeName, uint64_t maxFileBytes,
                            bool (*check)(FILE *, uint64_t, const char *)) {
    char path[PATH_MAX];
    if (!BuildAssetPath(relativeName, path, sizeof path)) {
        Refuse(kind, relativeName, "the path is too long");
        return nullptr;
    }
    uint64_t fileBytes = 0;
    char reason[128];
    FILE *file = OpenRegularFile(path, &fileBytes, reason, sizeof reason);
    if (!file) {
        Refuse(kind, relativeName, "%s", reason);
        return nullptr;
    }
    const bool passed =
        fileBytes <= maxFileBytes
            ? check(file, fileBytes, relativeName) && fseek(file, 0, SEEK_SET) == 0
            : Refuse(kind, relativeName, "%" PRIu64 " bytes is larger than %" PRIu64 " bytes",
                     fileBytes, maxFileBytes);
    if (!passed) {
        fclose(file);
        return nullptr;
    }
    // SDL then reads the very file checked. A library without streams over open files gets the
    // name again: the file was a regular one a moment ago.
    SDL_RWops *stream = sdl.SDL_RWFromFP ? sdl.SDL_RWFromFP(file, 1) : nullptr;
    if (!stream)
        fclose(file);
    if (!stream && !sdl.SDL_RWFromFP)
        stream = sdl.SDL_RWFromFile(path, "rb");
    if (!stream)
        Refuse(kind, relativeName, "%s", sdl.SDL_GetError());
    return stream;
}

SDL_Surface *LoadBitmapAsset(const char *relativeName) {
    SDL_RWops *stream = OpenAsset("picture", relativeName, maxPictureFileBytes, CheckBitmap);
    if (!stream)
        return nullptr;
    SDL_Surface *surface = sdl.SDL_LoadBMP_RW(stream, 1);
    if (!surface)
        Refuse("picture", relativeName, "not a bitmap");
    return surface;
}

void LoadSampleAsset(const char *relativeName, int slot) {
    if (slot < 0 || slot >= sampleCount)
        return;
    sampleBankData[slot] = nullptr;
    sampleBankLength[slot] = 0;
    SDL_RWops *stream = OpenAsset("sample", relativeName, maxSampleFileBytes, CheckWave);
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (stream && !sdl.SDL_LoadWAV_RW(stream, 1, &spec, &data, &length))
        Refuse("sample", relativeName, "not a WAV file");
    else if (stream && !data)
        Refuse("sample", relativeName, "no sound in it");
    if (!data) {
        fprintf(stderr, "velmora: %s (key %s will be silent)\n", assetProblem,
                sampleKeyNames[slot]);
        return;
    }
    sampleBankData[slot] = data;
    sampleBankLength[slot] = length;
}

bool LoadGraphics() {
    for (int image = 0; image < imageCount; ++image) {
        keyImages[image] = LoadBitmapAsset(imageNames[image]);
        if (!keyImages[image])
            return false;
    }
    memcpy(splashBuffer, splashPixels, sizeof splashBuffer);
    splashSurface =
        sdl.SDL_CreateRGBSurfaceFrom(splashBuffer, splashWidth, splashHeight, 32, splashWidth * 4,
                                     0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    if (!splashSurface)
        snprintf(assetProblem, sizeof assetProblem, "cannot build the splash picture: %s",
                 sdl.SDL_GetError());
    return splashSurface != nullptr;
}

void LoadSamples() {
    for (int slot = 0; slot < sampleCount; ++slot)
        LoadSampleAsset(sampleNames[slot], slot);
}
