#include "shell/piano.h"

#include <cstdio>

#include "assets/assets.h"
#include "audio/mixing.h"
#include "keyboard/keys.h"
#include "keyboard/touch.h"
#include "platform/platform.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"

// A window of the handheld's size: on a desktop a full-screen mode would take over the monitor.
static const Uint32 videoFlags = SDL_HWSURFACE;

void AppEntry() {
    FindBaseDirectory();
    if (BindSdl() != 0)
        EndProcess();
    RunPiano();
    EndProcess();
}

// Waits for events until a quit request gets through, the exit button is lifted on, or SDL
// stops working.
static void RunEventLoop() {
    SDL_Event event;
    for (;;) {
        if (sdl.SDL_WaitEvent(&event) == 0 || exitRequested)
            break;
        if (event.type == SDL_QUIT) {
            sdl.SDL_Quit();
            return;
        }
        SleepMilliseconds(1);
    }
    sdl.SDL_Quit();
    CloseAudio();
}

void RunPiano() {
    if (sdl.SDL_Init(SDL_INIT_VIDEO) < 0)
        return;
    fputs("Velmora starting...\n", stdout);
    fflush(stdout);
    screenSurface = sdl.SDL_SetVideoMode(screenWidth, screenHeight, 16, videoFlags);
    if (!screenSurface)
        return;
    if (!LoadGraphics())
        return;
    ShowSplash();
    LoadSamples();
    CreateKeys();
    if (OpenAudio(1, 22050, 1024) == 0)
        return;
    SleepMilliseconds(3000);
    DrawKeyboard();
    sdl.SDL_SetEventFilter(EventFilter);
    RunEventLoop();
}
