#include "sdl/sdl_api.h"

#include "platform/platform.h"

SdlApi sdl;

uint32_t BindSdl() {
    return BindSdlLibrary(sdlLibraryName);
}

uint32_t BindSdlLibrary(const char *fileName) {
    sdl.library = OpenLibrary(fileName);
    if (!sdl.library)
        return GetLastPlatformError();
        // Stops at the first missing name: the slots after it stay empty.
#define VELMORA_SDL_BIND(name)                                                                     \
    sdl.name = reinterpret_cast<decltype(sdl.name)>(FindLibraryName(sdl.library, #name));          \
    if (!sdl.name)                                                                                 \
        return GetLastPlatformError();
    VELMORA_SDL_NAMES(VELMORA_SDL_BIND)
#undef VELMORA_SDL_BIND
#define VELMORA_SDL_BIND_OPTIONAL(name)                                                            \
    sdl.name = reinterpret_cast<decltype(sdl.name)>(FindLibraryName(sdl.library, #name));
    VELMORA_SDL_OPTIONAL_NAMES(VELMORA_SDL_BIND_OPTIONAL)
#undef VELMORA_SDL_BIND_OPTIONAL
    return 0;
}

const char *FindMissingSdlName() {
#define VELMORA_SDL_CHECK(name)                                                                    \
    if (!sdl.name)                                                                                 \
        return #name;
    VELMORA_SDL_NAMES(VELMORA_SDL_CHECK)
#undef VELMORA_SDL_CHECK
    return nullptr;
}
