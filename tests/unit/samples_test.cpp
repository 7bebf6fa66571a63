// The piano samples as the program loads them, through SDL's WAV loader: in tune, at one level
// that leaves headroom, ending in silence, each its own, and rendered the same way every run.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numeric>

#include "platform/platform.h"
#include "sdl/sdl_api.h"

namespace {

// The files from C4 up by semitones to B5.
const char *const names[] = {"1",  "1d", "2",   "2d", "3",   "4",   "4d",  "5",
                             "5d", "6",  "6d",  "7",  "11",  "11d", "12",  "12d",
                             "13", "14", "14d", "15", "15d", "16",  "16d", "17"};

// Loads one sample, checking that it is in the one format the mixer plays.
std::vector<int16_t> LoadSample(const std::string &directory, const char *name) {
    static const uint32_t bound = BindSdl();
    EXPECT_EQ(bound, 0u);
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    std::string path = directory + "/Samples/" + name + ".wav";
    if (!sdl.SDL_LoadWAV_RW(sdl.SDL_RWFromFile(path.c_str(), "rb"), 1, &spec, &data, &length))
        return {};
    EXPECT_TRUE(spec.freq == 22050 && spec.channels == 1 && spec.format == AUDIO_S16LSB) << path;
    std::vector<int16_t> samples(length / 2);
    std::copy_n(reinterpret_cast<const int16_t *>(data), samples.size(), samples.data());
    reinterpret_cast<void (*)(Uint8 *)>(FindLibraryName(sdl.library, "SDL_FreeWAV"))(data);
    return samples;
}

// The strongest frequency within 30 cents of the expected one, in 0.1-cent steps, over 0.1-1.1 s.
double MeasureCents(const std::vector<int16_t> &samples, double expected) {
    std::vector<double> windowed(22050);
    for (size_t i = 0; i < windowed.size(); ++i)
        windowed[i] = (1.0 - std::cos(2.0 * M_PI * i / 22050.0)) * samples[2205 + i];
    std::pair<double, double> best; // level, cents
    for (double cents = -30.0; cents <= 30.0; cents += 0.1) {
        const double turn = -2.0 * M_PI * expected * std::exp2(cents / 1200.0) / 22050.0;
        std::complex<double> sum = 0.0, rotation = 1.0, step = std::polar(1.0, turn);
        for (size_t i = 0; i < windowed.size(); ++i, rotation *= step)
            sum += windowed[i] * rotation;
        best = std::max(best, std::pair{std::abs(sum), cents});
    }
    return best.second;
}

TEST(Samples, EveryNoteWithinFiveCentsOfEqualTemperament) {
    for (int semitone = 0; semitone < 24; ++semitone) {
        std::vector<int16_t> samples = LoadSample(VELMORA_BUILD_DIR, names[semitone]);
        ASSERT_GT(samples.size(), 24255u) << names[semitone];
        const double cents = MeasureCents(samples, 440.0 * std::exp2((semitone - 9) / 12.0));
        EXPECT_LT(std::fabs(cents), 5.0) << names[semitone] << " is " << cents << " cents off";
    }
}

// One gain for all, the loudest just under full scale; each ends in silence, unlike any other.
TEST(Samples, LoudestBelowFullScaleEachEndingSilentAndItsOwn) {
    std::vector<std::vector<int16_t>> loaded;
    int loudest = 0;
    for (const char *name : names) {
        std::vector<int16_t> samples = LoadSample(VELMORA_BUILD_DIR, name);
        for (int16_t value : samples)
            loudest = std::max(loudest, std::abs(value));
        const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / samples.size();
        EXPECT_LT(std::fabs(mean), 3.3) << name << " has an offset";
        for (size_t i = samples.size() - 220; i < samples.size(); ++i)
            ASSERT_LE(std::abs(samples[i]), 32) << name << " is loud in its last 10 ms";
        for (const std::vector<int16_t> &other : loaded)
            EXPECT_NE(other, samples) << name << " repeats an earlier sample";
        loaded.push_back(samples);
    }
    EXPECT_TRUE(loudest >= 26028 && loudest <= 30934) << loudest; // -2 to -0.5 dBFS
}

TEST(Samples, GeneratorRendersTheSameBytesTwice) {
    std::string again = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(again.data()));
    ASSERT_EQ(std::system(("'" VELMORA_ASSET_GENERATOR "' '" + again + "'").c_str()), 0);
    const std::string diff = "diff -r '" VELMORA_BUILD_DIR "/Samples' '" + again + "/Samples'";
    EXPECT_EQ(std::system(diff.c_str()), 0);
    std::filesystem::remove_all(again);
}

} // namespace
