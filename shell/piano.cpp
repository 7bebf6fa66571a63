#include "shell/piano.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "assets/assets.h"
#include "audio/mixing.h"
#include "input/touch.h"
#include "keyboard/keys.h"
#include "platform/platform.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"

// On the handheld's own 240 x 320 display the keyboard fills it; elsewhere it gets a window,
// since a full-screen mode would take over a desktop's monitor.
static const Uint32 fullScreenFlags = SDL_FULLSCREEN | SDL_NOFRAME | SDL_HWSURFACE;
static const Uint32 windowFlags = SDL_HWSURFACE;

// Set once SDL is up, so that a failure after it hands back the screen or terminal SDL took.
static bool sdlStarted;

// Says on one line of standard error why the program cannot run, and ends it with status 1.
// The line is put together before SDL shuts down, which may free the words SDL lent it.
[[noreturn, gnu::format(printf, 1, 2)]] static void FailStartup(const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (sdlStarted)
        sdl.SDL_Quit();
    fprintf(stderr, "velmora: %s\n", line);
    EndProcess(1);
}

// Ends start-up, saying where the files were looked for, unless they are found.
static void FindFilesOrFail(const char *startedAs) {
    switch (FindBaseDirectory(startedAs)) {
    case baseDirectoryFound:
        return;
    case baseDirectoryNoProgram:
        FailStartup("cannot find the program's own folder");
    case baseDirectoryNoFiles:
        FailStartup("cannot find Gfx/ or Samples/ in %s%s%s", programDirectory,
                    installedDirectory[0] ? " or " : "", installedDirectory);
    }
}

void AppEntry(const char *startedAs) {
    FindFilesOrFail(startedAs);
    if (BindSdl() != 0) {
        if (!sdl.library)
            FailStartup("cannot load %s: %s", sdlLibraryName, GetLastPlatformErrorText());
        FailStartup("SDL library %s lacks %s", sdlLibraryName, FindMissingSdlName());
    }
    RunPiano();
    EndProcess();
}

// How long the splash stays on the screen at least, once the sound is ready.
static constexpr int splashMilliseconds = 3000;

// Keeps the splash on the screen, gathering events meanwhile so that a quit request that is
// due ends the program without waiting for the keyboard.
static void HoldSplash() {
    for (int waited = 0; waited < splashMilliseconds && !IsQuitDue(); waited += 10) {
        SleepMilliseconds(10);
        sdl.SDL_PumpEvents();
    }
}

// Waits until a quit request is due, the exit button is lifted on, or SDL stops working. Every
// way out closes the sound alike, so that notes still ringing fade out rather than stop dead.
static void RunEventLoop() {
    SDL_Event event;
    while (!IsQuitDue() && !exitRequested && sdl.SDL_WaitEvent(&event) != 0) {
    }
    sdl.SDL_Quit();
    CloseAudio();
}

// Title and icon for a desktop's window list, where the library offers them. The icon surface
// is kept: a library may refer to its pixels after the call.
static void NameWindow() {
    if (sdl.SDL_WM_SetCaption)
        sdl.SDL_WM_SetCaption("Velmora", "Velmora");
    if (!sdl.SDL_WM_SetIcon)
        return;
    SDL_Surface *icon = sdl.SDL_CreateRGBSurfaceFrom(
        const_cast<unsigned char *>(iconPixels), iconSize, iconSize, 32, iconSize * 4, 0x000000FF,
        0x0000FF00, 0x00FF0000, 0xFF000000);
    if (icon)
        sdl.SDL_WM_SetIcon(icon, nullptr);
}

// SDL's last resorts when it finds no screen: nothing visible, or text in a terminal. None of
// them is a display a pen can play on, so unless the user chose one they mean there is none.
static const char *const standInDrivers[] = {"offscreen", "dummy", "caca", "aalib"};

// The stand-in driver SDL fell back to on its own, or null.
static const char *FindStandInDriver() {
    static char driver[32];
    if (HasEnvironment("SDL_VIDEODRIVER") || !sdl.SDL_VideoDriverName(driver, sizeof driver))
        return nullptr;
    for (const char *standIn : standInDrivers) {
        if (strcmp(driver, standIn) == 0)
            return driver;
    }
    return nullptr;
}

void RunPiano() {
    // Without these, SDL 2 under the compatibility library draws a 240 x 320 surface through
    // OpenGL, which on a machine without a GPU means a software renderer of some 90 MB.
    SetEnvironmentDefault("SDL_FRAMEBUFFER_ACCELERATION", "0");
    SetEnvironmentDefault("SDL_RENDER_DRIVER", "software");
    if (sdl.SDL_Init(SDL_INIT_VIDEO) < 0)
        FailStartup("cannot open the display: %s", sdl.SDL_GetError());
    sdlStarted = true;
    // From here on SDL turns the signals to quit into quit events, and the filter counts every
    // one: installed later, it would find them gone (SDL drops what is queued when a filter is
    // installed) or merged into one. Pen events wait until the keyboard is drawn.
    isStartingUp = true;
    sdl.SDL_SetEventFilter(EventFilter);
    CountQuitSignals();
    if (const char *standIn = FindStandInDriver())
        FailStartup("cannot open the display: SDL found none, only its \"%s\" stand-in", standIn);
    fputs("Velmora starting...\n", stdout);
    fflush(stdout);
    // Asked before any mode is set, the library reports the display's own size.
    const SDL_VideoInfo *display = sdl.SDL_GetVideoInfo();
    const bool ownDisplay =
        display && display->current_w == screenWidth && display->current_h == screenHeight;
    screenMode = ownDisplay ? fullScreenMode : windowMode;
    NameWindow();
    screenSurface = sdl.SDL_SetVideoMode(screenWidth, screenHeight, 16,
                                         ownDisplay ? fullScreenFlags : windowFlags);
    if (!screenSurface)
        FailStartup("cannot open a %d x %d screen: %s", screenWidth, screenHeight,
                    sdl.SDL_GetError());
    if (!LoadGraphics())
        FailStartup("%s", GetAssetProblem());
    ShowSplash();
    LoadSamples();
    CreateKeys();
    if (OpenAudio(1, 22050, 1024) == 0) {
        const char *reason = GetWaveOutputError();
        FailStartup("no sound output: %s", reason[0] ? reason : "the mixing could not start");
    }
    HoldSplash();
    if (!IsQuitDue()) {
        DrawKeyboard();
        isStartingUp = false;
    }
    RunEventLoop();
}
