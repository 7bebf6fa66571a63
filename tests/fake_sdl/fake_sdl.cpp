// Exports the bound SDL names as empty functions; an omitted name is kept out of the
// export table by declaring it hidden before its definition.
#include "sdl/sdl_names.h"

#ifdef FAKE_SDL_OMIT_FIRST
extern "C" __attribute__((visibility("hidden"))) void SDL_Init();
#endif
#ifdef FAKE_SDL_OMIT_LAST
extern "C" __attribute__((visibility("hidden"))) void SDL_ConvertAudio();
#endif

#define FAKE_SDL_ENTRY(name)                                                                       \
    extern "C" void name() {}
VELMORA_SDL_NAMES(FAKE_SDL_ENTRY)
