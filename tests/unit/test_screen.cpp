#include "test_screen.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "assets/assets.h"
#include "keyboard/keys.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"

void StartTestScreen() {
    static bool started = false;
    if (started)
        return;
    ASSERT_EQ(BindSdl(), 0u);
    ASSERT_GE(sdl.SDL_Init(SDL_INIT_VIDEO), 0);
    screenSurface = sdl.SDL_SetVideoMode(screenWidth, screenHeight, 16, SDL_SWSURFACE);
    ASSERT_NE(screenSurface, nullptr);
    ASSERT_EQ(screenSurface->format->BitsPerPixel, 16);
    snprintf(baseDirectory, sizeof baseDirectory, "%s/", VELMORA_BUILD_DIR);
    ASSERT_TRUE(LoadGraphics());
    LoadSamples();
    started = true;
}

void ResetTestKeys() {
    keyTable = KeyTable{};
    CreateKeys();
}
