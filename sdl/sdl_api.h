// The SDL library, bound by name at run time. Every SDL call in the program goes through
// the table `sdl`, so the program runs against whichever libSDL-1.2 the loader finds.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

#include "sdl/sdl_names.h"

struct SdlApi {
    void *library;
#define VELMORA_SDL_SLOT(name) decltype(&::name) name;
    VELMORA_SDL_NAMES(VELMORA_SDL_SLOT)
    VELMORA_SDL_OPTIONAL_NAMES(VELMORA_SDL_SLOT)
#undef VELMORA_SDL_SLOT
};

extern SdlApi sdl;

// The file name the loader searches for.
inline constexpr const char *sdlLibraryName = "libSDL-1.2.so.0";

// Binds the SDL library: 0 on success, else the platform's error code for the failing step.
uint32_t BindSdl();

// Binds the named library instead; the rest is as BindSdl. The optional names are looked up
// only once every required one is bound, and their slots stay empty where they are missing.
uint32_t BindSdlLibrary(const char *fileName);

// The first required name whose slot is empty, or null when every one is bound.
const char *FindMissingSdlName();
