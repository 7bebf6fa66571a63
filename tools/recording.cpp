#include "tools/recording.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "sdl/sdl_api.h"

std::vector<double> LoadRecording(const std::string &path) {
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (!sdl.SDL_LoadWAV_RW(sdl.SDL_RWFromFile(path.c_str(), "rb"), 1, &spec, &data, &length)) {
        fprintf(stderr, "cannot read %s: %s\n", path.c_str(), sdl.SDL_GetError());
        return {};
    }
    std::vector<double> values;
    if (spec.freq == 22050 && spec.channels == 1 && spec.format == AUDIO_S16LSB) {
        values.resize(length / 2);
        for (size_t index = 0; index < values.size(); ++index) {
            int16_t value;
            memcpy(&value, data + 2 * index, 2);
            values[index] = value;
        }
    } else {
        fprintf(stderr, "%s is not 16-bit mono at 22050 Hz\n", path.c_str());
    }
    // Not in the program's table: nothing else it loads is ever freed.
    reinterpret_cast<void (*)(Uint8 *)>(FindLibraryName(sdl.library, "SDL_FreeWAV"))(data);
    return values;
}
