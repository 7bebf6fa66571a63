#include "support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <span>

#include "assets/assets.h"
#include "platform/platform.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"

std::vector<SDL_Rect> updatedRects;
static decltype(sdl.SDL_UpdateRect) realUpdateRect;
static decltype(sdl.SDL_UpdateRects) realUpdateRects;

static void RecordUpdateRect(SDL_Surface *screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    updatedRects.push_back({Sint16(x), Sint16(y), Uint16(w), Uint16(h)});
    realUpdateRect(screen, x, y, w, h);
}

static void RecordUpdateRects(SDL_Surface *screen, int count, SDL_Rect *rects) {
    updatedRects.insert(updatedRects.end(), rects, rects + count);
    realUpdateRects(screen, count, rects);
}

bool LoadAssetsFrom(const std::string &directory) {
    if (directory.size() >= sizeof baseDirectory)
        return false;
    strcpy(baseDirectory, directory.c_str());
    bool loaded = LoadGraphics();
    LoadSamples();
    return loaded;
}

void StartTestScreen() {
    if (!screenSurface) {
        ASSERT_EQ(BindSdl(), 0u) << GetLastPlatformErrorText();
        ASSERT_GE(sdl.SDL_Init(SDL_INIT_VIDEO), 0);
        screenSurface = sdl.SDL_SetVideoMode(screenWidth, screenHeight, 16, SDL_SWSURFACE);
        ASSERT_NE(screenSurface, nullptr);
    }
    if (sdl.SDL_UpdateRect != RecordUpdateRect) { // again after a test bound SDL afresh
        realUpdateRect = sdl.SDL_UpdateRect;
        realUpdateRects = sdl.SDL_UpdateRects;
        sdl.SDL_UpdateRect = RecordUpdateRect;
        sdl.SDL_UpdateRects = RecordUpdateRects;
    }
    ASSERT_TRUE(LoadAssetsFrom(VELMORA_BUILD_DIR "/"));
}

void ResetKeys() {
    keyTable = KeyTable{};
    CreateKeys();
}

Key *KeyByRule(int x, int y) {
    Key *found = nullptr;
    bool onScreen = x >= 0 && x < screenWidth && y >= 0 && y < screenHeight;
    for (Key &key : std::span(keyTable.keys, onScreen ? keyTable.count : 0))
        if (x >= key.x && x < key.x + key.image->w && y >= key.y - key.hitMargin &&
            y < key.y + key.image->h + key.hitMargin)
            found = &key;
    return found;
}

SDL_Event MakeEvent(char kind, int x, int y) {
    SDL_Event event{};
    // 'w' and 'W': a turn of the wheel, which SDL reports as a press and a release.
    Uint8 down = kind == 'd' || kind == 'w', type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    Uint8 button = tolower(kind) == 'w' ? SDL_BUTTON_WHEELDOWN : SDL_BUTTON_LEFT;
    if (kind == 'd' || kind == 'u' || tolower(kind) == 'w')
        event.button = {type, 0, button, down, Uint16(x), Uint16(y)};
    else if (kind == 'm' || kind == 'h')
        event.motion = {SDL_MOUSEMOTION, 0, Uint8(kind == 'm'), Uint16(x), Uint16(y), 0, 0};
    else
        event.type = kind == 'q' ? SDL_QUIT : SDL_KEYDOWN;
    return event;
}

std::vector<Uint16> ScreenPixels() {
    std::vector<Uint16> pixels(screenWidth * screenHeight);
    for (int y = 0; y < screenHeight; ++y)
        memcpy(&pixels[y * screenWidth],
               static_cast<Uint8 *>(screenSurface->pixels) + y * screenSurface->pitch,
               screenWidth * 2);
    return pixels;
}

std::string CheckAgainstFullRedraw(const std::vector<Uint16> &before) {
    std::vector<Uint16> drawn = ScreenPixels();
    DrawKeyboard();
    std::vector<Uint16> full = ScreenPixels();
    updatedRects.pop_back(); // the full redraw's own
    for (const SDL_Rect &rect : updatedRects) {
        bool isKey = false;
        for (int index = 0; index < keyTable.count; ++index)
            isKey |= memcmp(&rect, KeyRect(&keyTable.keys[index]), sizeof rect) == 0;
        if (!isKey)
            return "an update of a rectangle that is no key's";
    }
    for (int index = 0; index < screenWidth * screenHeight; ++index) {
        int x = index % screenWidth, y = index / screenWidth;
        bool updated = false;
        for (const SDL_Rect &r : updatedRects)
            updated |= x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
        std::string at = " at " + std::to_string(x) + "," + std::to_string(y);
        if (drawn[index] != before[index] && !updated)
            return "a change outside every update" + at;
        if (drawn[index] != full[index])
            return "not what a full redraw shows" + at;
    }
    updatedRects.clear();
    return "";
}

extern "C" const char *__lsan_default_suppressions() {
    // The program keeps its pictures and samples for good; tests load them again and again.
    return "leak:LoadGraphics\nleak:LoadSamples\nleak:libSDL\nleak:libX11\n";
}

int main(int argc, char **argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
