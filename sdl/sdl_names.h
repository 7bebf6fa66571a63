// The SDL 1.2 entry points the program binds, in binding order. Every one of the first list
// is required.
#pragma once

#define VELMORA_SDL_NAMES(X)                                                                       \
    X(SDL_Init)                                                                                    \
    X(SDL_InitSubSystem)                                                                           \
    X(SDL_Quit)                                                                                    \
    X(SDL_QuitSubSystem)                                                                           \
    X(SDL_WasInit)                                                                                 \
    X(SDL_LoadBMP_RW)                                                                              \
    X(SDL_SetVideoMode)                                                                            \
    X(SDL_SetColors)                                                                               \
    X(SDL_LockSurface)                                                                             \
    X(SDL_UnlockSurface)                                                                           \
    X(SDL_UpdateRect)                                                                              \
    X(SDL_SaveBMP_RW)                                                                              \
    X(SDL_UpperBlit)                                                                               \
    X(SDL_Flip)                                                                                    \
    X(SDL_VideoInit)                                                                               \
    X(SDL_VideoQuit)                                                                               \
    X(SDL_VideoDriverName)                                                                         \
    X(SDL_GetVideoSurface)                                                                         \
    X(SDL_GetVideoInfo)                                                                            \
    X(SDL_VideoModeOK)                                                                             \
    X(SDL_ListModes)                                                                               \
    X(SDL_UpdateRects)                                                                             \
    X(SDL_SetGamma)                                                                                \
    X(SDL_SetGammaRamp)                                                                            \
    X(SDL_GetGammaRamp)                                                                            \
    X(SDL_SetPalette)                                                                              \
    X(SDL_MapRGB)                                                                                  \
    X(SDL_MapRGBA)                                                                                 \
    X(SDL_GetRGB)                                                                                  \
    X(SDL_GetRGBA)                                                                                 \
    X(SDL_CreateRGBSurface)                                                                        \
    X(SDL_CreateRGBSurfaceFrom)                                                                    \
    X(SDL_FreeSurface)                                                                             \
    X(SDL_SetColorKey)                                                                             \
    X(SDL_SetAlpha)                                                                                \
    X(SDL_SetClipRect)                                                                             \
    X(SDL_GetClipRect)                                                                             \
    X(SDL_ConvertSurface)                                                                          \
    X(SDL_LowerBlit)                                                                               \
    X(SDL_FillRect)                                                                                \
    X(SDL_DisplayFormat)                                                                           \
    X(SDL_DisplayFormatAlpha)                                                                      \
    X(SDL_CreateYUVOverlay)                                                                        \
    X(SDL_WM_ToggleFullScreen)                                                                     \
    X(SDL_RWFromFile)                                                                              \
    X(SDL_GetError)                                                                                \
    X(SDL_PumpEvents)                                                                              \
    X(SDL_WaitEvent)                                                                               \
    X(SDL_SetEventFilter)                                                                          \
    X(SDL_SetTimer)                                                                                \
    X(SDL_LoadWAV_RW)                                                                              \
    X(SDL_OpenAudio)                                                                               \
    X(SDL_PauseAudio)                                                                              \
    X(SDL_MixAudio)                                                                                \
    X(SDL_LockAudio)                                                                               \
    X(SDL_UnlockAudio)                                                                             \
    X(SDL_BuildAudioCVT)                                                                           \
    X(SDL_ConvertAudio)

// Extras used when the library has them and skipped when it does not: the window's title and
// icon mean nothing on the handheld's own screen, and without a stream over an open file the
// asset files are opened again by name once checked.
#define VELMORA_SDL_OPTIONAL_NAMES(X)                                                              \
    X(SDL_WM_SetCaption)                                                                           \
    X(SDL_WM_SetIcon)                                                                              \
    X(SDL_RWFromFP)
