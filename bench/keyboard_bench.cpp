// Finding the key under the pen, and redrawing one key, on a real SDL screen (dummy driver).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"
#include "keyboard/keys.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"

namespace {

// Opens the screen and builds the real keyboard once; false if SDL or the assets are missing.
bool StartKeyboard() {
    static int started = -1;
    if (started >= 0)
        return started == 1;
    started = 0;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (BindSdl() != 0 || sdl.SDL_Init(SDL_INIT_VIDEO) < 0)
        return false;
    screenSurface = sdl.SDL_SetVideoMode(screenWidth, screenHeight, 16, SDL_SWSURFACE);
    snprintf(baseDirectory, sizeof baseDirectory, "%s/", VELMORA_BUILD_DIR);
    if (!screenSurface || !LoadGraphics())
        return false;
    LoadSamples();
    CreateKeys();
    DrawKeyboard();
    started = 1;
    return true;
}

// Touch points spread over the whole screen, the same every run.
std::vector<std::pair<int, int>> TouchPoints() {
    std::vector<std::pair<int, int>> points;
    unsigned seed = 12345;
    for (int i = 0; i < 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        int x = static_cast<int>((seed >> 8) % screenWidth);
        seed = seed * 1103515245u + 12345u;
        int y = static_cast<int>((seed >> 8) % screenHeight);
        points.emplace_back(x, y);
    }
    return points;
}

// What the hit map saves: the last key, in table order, whose touch area holds the point.
Key *SearchKeys(int x, int y) {
    for (int index = keyTable.count - 1; index >= 0; --index) {
        const Key &key = keyTable.keys[index];
        if (x >= key.x && x < key.x + key.w && y >= key.y - key.hitMargin &&
            y < key.y + key.h + key.hitMargin)
            return &keyTable.keys[index];
    }
    return nullptr;
}

void BM_HitMapLookup(benchmark::State &state) {
    if (!StartKeyboard())
        return state.SkipWithError("no SDL or assets");
    std::vector<std::pair<int, int>> points = TouchPoints();
    for (auto _ : state)
        for (const auto &[x, y] : points)
            benchmark::DoNotOptimize(FindKeyAt(x, y));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_HitMapLookup);

void BM_LinearKeySearch(benchmark::State &state) {
    if (!StartKeyboard())
        return state.SkipWithError("no SDL or assets");
    std::vector<std::pair<int, int>> points = TouchPoints();
    for (auto _ : state)
        for (const auto &[x, y] : points)
            benchmark::DoNotOptimize(SearchKeys(x, y));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_LinearKeySearch);

// A white key with black keys at both ends: three blits and one five-rectangle update.
void BM_DrawWhiteKeyWithNeighbours(benchmark::State &state) {
    if (!StartKeyboard())
        return state.SkipWithError("no SDL or assets");
    Key *key = &keyTable.keys[8];
    for (auto _ : state) {
        key->isPressed = !key->isPressed;
        DrawKey(key);
    }
    key->isPressed = 0;
}
BENCHMARK(BM_DrawWhiteKeyWithNeighbours);

// The whole keyboard, for scale: what a key change would cost without partial redraws.
void BM_DrawKeyboard(benchmark::State &state) {
    if (!StartKeyboard())
        return state.SkipWithError("no SDL or assets");
    for (auto _ : state)
        DrawKeyboard();
}
BENCHMARK(BM_DrawKeyboard);

} // namespace
