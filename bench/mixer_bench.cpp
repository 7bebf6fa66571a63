// One mixing pass of eight sounding voices over a 1024-byte block, three ways on the same
// data: the program's mixer, SDL 1.2's own SDL_MixAudio at a quarter volume (32 of 128, the
// same rounding and clipping), and the plain one-value-at-a-time rule.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "audio/voices.h"
#include "bench/plain_mixer.h"
#include "sdl/sdl_api.h"

namespace {

constexpr int blockValues = audioBlockBytes / 2;
// Two blocks long, so that no voice reaches its end in the pass being timed.
constexpr int sampleBytes = 2 * audioBlockBytes;

// Eight samples of loud random values, so that clipping happens as often as it can.
struct BenchSamples {
    std::vector<std::vector<uint8_t>> data;
    BenchSamples() : data(voiceCount, std::vector<uint8_t>(sampleBytes)) {
        std::mt19937 random(42);
        for (auto &sample : data) {
            for (uint8_t &byte : sample)
                byte = static_cast<uint8_t>(random());
        }
    }
};

const BenchSamples &Samples() {
    static BenchSamples samples;
    return samples;
}

// The same pass by the plain rule, for checking the others' results.
std::vector<int16_t> ExpectedBlock() {
    ReferenceVoice voices[voiceCount];
    for (int index = 0; index < voiceCount; ++index)
        voices[index] = {Samples().data[index].data(), sampleBytes, 0, false};
    std::vector<int16_t> block(blockValues, 0);
    ReferenceMix(block.data(), audioBlockBytes, voices, voiceCount);
    return block;
}

void StartEightVoices() {
    SilenceVoices();
    for (const auto &sample : Samples().data)
        StartVoice(sample.data(), sampleBytes);
}

void BM_MixVoices(benchmark::State &state) {
    StartEightVoices();
    alignas(16) int16_t block[blockValues];
    for (auto _ : state) {
        // Back to the samples' start: every pass mixes the same first block of each.
        for (Voice &voice : voiceTable)
            voice.position.store(0, std::memory_order_relaxed);
        ClearAudioBlock(block);
        MixVoices(block, audioBlockBytes);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    if (std::memcmp(block, ExpectedBlock().data(), sizeof block) != 0)
        state.SkipWithError("the mixer's block differs from the plain rule's");
    SilenceVoices();
}
BENCHMARK(BM_MixVoices);

// SDL mixes in the format of the opened device, so it needs one open, on the dummy driver.
bool OpenSdlAudio() {
    static int opened = -1;
    if (opened >= 0)
        return opened == 1;
    opened = 0;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (BindSdl() != 0 || sdl.SDL_Init(SDL_INIT_AUDIO) < 0)
        return false;
    SDL_AudioSpec desired{};
    desired.freq = 22050;
    desired.format = AUDIO_S16SYS;
    desired.channels = 1;
    desired.samples = blockValues;
    desired.callback = [](void *, Uint8 *stream, int length) { std::memset(stream, 0, length); };
    if (sdl.SDL_OpenAudio(&desired, nullptr) < 0)
        return false;
    opened = 1;
    return true;
}

void BM_SdlMixAudio(benchmark::State &state) {
    if (!OpenSdlAudio()) {
        state.SkipWithError("SDL audio did not open on the dummy driver");
        return;
    }
    alignas(16) int16_t block[blockValues];
    Uint8 *target = reinterpret_cast<Uint8 *>(block);
    for (auto _ : state) {
        std::memset(block, 0, sizeof block);
        for (const auto &sample : Samples().data)
            sdl.SDL_MixAudio(target, sample.data(), audioBlockBytes, SDL_MIX_MAXVOLUME / 4);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    if (std::memcmp(block, ExpectedBlock().data(), sizeof block) != 0)
        state.SkipWithError("SDL_MixAudio's block differs from the plain rule's");
}
BENCHMARK(BM_SdlMixAudio);

void BM_PlainRule(benchmark::State &state) {
    ReferenceVoice voices[voiceCount];
    alignas(16) int16_t block[blockValues];
    for (auto _ : state) {
        for (int index = 0; index < voiceCount; ++index)
            voices[index] = {Samples().data[index].data(), sampleBytes, 0, false};
        std::memset(block, 0, sizeof block);
        ReferenceMix(block, audioBlockBytes, voices, voiceCount);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainRule);

} // namespace
