// The generated piano samples, read straight from the files the build wrote: their format,
// their pitch, and that each starts loud and ends in silence without a click.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr double sampleRate = 22050.0;
constexpr double pi = 3.14159265358979323846;

struct NoteCase {
    const char *file;
    const char *note;
    int midiNote;
};

// Every sample, in slot order.
const NoteCase noteCases[] = {
    {"1", "C4", 60},    {"2", "D4", 62},    {"3", "E4", 64},    {"4", "F4", 65},
    {"5", "G4", 67},    {"6", "A4", 69},    {"7", "B4", 71},    {"1d", "C#4", 61},
    {"2d", "D#4", 63},  {"4d", "F#4", 66},  {"5d", "G#4", 68},  {"6d", "A#4", 70},
    {"11", "C5", 72},   {"12", "D5", 74},   {"13", "E5", 76},   {"14", "F5", 77},
    {"15", "G5", 79},   {"16", "A5", 81},   {"17", "B5", 83},   {"11d", "C#5", 73},
    {"12d", "D#5", 75}, {"14d", "F#5", 78}, {"15d", "G#5", 80}, {"16d", "A#5", 82},
};

uint32_t ReadLittleEndian(const std::vector<uint8_t> &bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<size_t>(i)];
    return value;
}

// Reads a sample file, checking that it is the plain format the mixer assumes.
std::vector<int16_t> ReadSample(const char *name) {
    std::string path = std::string(VELMORA_BUILD_DIR) + "/Samples/" + name + ".wav";
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    EXPECT_GE(bytes.size(), 44u) << path;
    if (bytes.size() < 44)
        return samples;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(ReadLittleEndian(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(ReadLittleEndian(bytes, 16, 4), 16u);    // fmt chunk size
    EXPECT_EQ(ReadLittleEndian(bytes, 20, 2), 1u);     // PCM
    EXPECT_EQ(ReadLittleEndian(bytes, 22, 2), 1u);     // mono
    EXPECT_EQ(ReadLittleEndian(bytes, 24, 4), 22050u); // frames per second
    EXPECT_EQ(ReadLittleEndian(bytes, 28, 4), 44100u); // bytes per second
    EXPECT_EQ(ReadLittleEndian(bytes, 32, 2), 2u);     // bytes per frame
    EXPECT_EQ(ReadLittleEndian(bytes, 34, 2), 16u);    // bits
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    const uint32_t dataBytes = ReadLittleEndian(bytes, 40, 4);
    EXPECT_EQ(dataBytes, bytes.size() - 44);
    EXPECT_EQ(dataBytes % 2, 0u);
    for (size_t at = 44; at + 1 < bytes.size(); at += 2)
        samples.push_back(static_cast<int16_t>(ReadLittleEndian(bytes, at, 2)));
    return samples;
}

double TemperedFrequency(int midiNote) {
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

// Magnitude of the Hann-windowed spectrum of a stretch of sound at one frequency.
double SpectrumAt(const std::vector<double> &windowed, double frequency) {
    const std::complex<double> step = std::polar(1.0, -2.0 * pi * frequency / sampleRate);
    std::complex<double> rotation = 1.0, sum = 0.0;
    for (size_t i = 0; i < windowed.size(); ++i) {
        sum += windowed[i] * rotation;
        rotation *= step;
        if (i % 1024 == 1023) // keep the rotation on the unit circle
            rotation /= std::abs(rotation);
    }
    return std::abs(sum);
}

// The fundamental: the spectral peak within half a semitone of the expected pitch, searched on
// a grid and then narrowed to a ten-thousandth of a hertz, over half a second after the attack.
double MeasureFundamental(const std::vector<int16_t> &samples, double expected) {
    const size_t start = static_cast<size_t>(0.06 * sampleRate);
    const size_t length = static_cast<size_t>(0.5 * sampleRate);
    std::vector<double> windowed(length);
    for (size_t i = 0; i < length; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / length);
        windowed[i] = hann * samples[start + i];
    }
    const double low = expected * std::pow(2.0, -50.0 / 1200.0);
    const double high = expected * std::pow(2.0, 50.0 / 1200.0);
    const double gridStep = 0.1;
    double best = low, bestValue = -1.0;
    for (double f = low; f <= high; f += gridStep) {
        const double value = SpectrumAt(windowed, f);
        if (value > bestValue) {
            bestValue = value;
            best = f;
        }
    }
    // Golden-section search of the peak around the best grid point.
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = best - gridStep, b = best + gridStep;
    double c = b - ratio * (b - a), d = a + ratio * (b - a);
    double fc = SpectrumAt(windowed, c), fd = SpectrumAt(windowed, d);
    while (b - a > 1e-4) {
        if (fc > fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - ratio * (b - a);
            fc = SpectrumAt(windowed, c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + ratio * (b - a);
            fd = SpectrumAt(windowed, d);
        }
    }
    return (a + b) / 2.0;
}

// The measurement itself: a decaying tone with stretched partials, two cents sharp, reads as
// two cents sharp.
TEST(Samples, MeasurementFindsAKnownDetuning) {
    const double expected = TemperedFrequency(64);
    const double played = expected * std::pow(2.0, 2.0 / 1200.0);
    std::vector<int16_t> samples(static_cast<size_t>(sampleRate));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        double value = 0.0;
        for (int n = 1; n <= 8; ++n)
            value += std::sin(2.0 * pi * n * played * std::sqrt(1.0 + 0.001 * (n * n - 1)) * t) /
                     n * std::exp(-2.0 * n * t);
        samples[i] = static_cast<int16_t>(std::lround(12000.0 * value));
    }
    const double cents = 1200.0 * std::log2(MeasureFundamental(samples, expected) / expected);
    EXPECT_NEAR(cents, 2.0, 0.05);
}

TEST(Samples, FundamentalWithinThreeCentsOfEqualTemperament) {
    for (const NoteCase &c : noteCases) {
        SCOPED_TRACE(c.file);
        std::vector<int16_t> samples = ReadSample(c.file);
        ASSERT_GT(samples.size(), static_cast<size_t>(sampleRate));
        const double expected = TemperedFrequency(c.midiNote);
        const double measured = MeasureFundamental(samples, expected);
        const double cents = 1200.0 * std::log2(measured / expected);
        printf("  %-4s %-3s expected %8.3f Hz, measured %9.4f Hz, %+.4f cents\n", c.file, c.note,
               expected, measured, cents);
        EXPECT_LT(std::fabs(cents), 3.0) << c.note;
    }
}

// Level, offset, length and ending of every sample.
TEST(Samples, LoudCentredAndEndingInSilence) {
    double previousSeconds = 1e9;
    int previousNote = 0;
    std::vector<std::pair<int, double>> durations;
    for (const NoteCase &c : noteCases) {
        SCOPED_TRACE(c.file);
        std::vector<int16_t> samples = ReadSample(c.file);
        ASSERT_GT(samples.size(), 1000u);
        int peak = 0;
        double sum = 0.0;
        for (int16_t sample : samples) {
            peak = std::max(peak, std::abs(static_cast<int>(sample)));
            sum += sample;
        }
        // Close to full scale: between -1 dBFS and 0 dBFS.
        EXPECT_GE(peak, 29204);
        // No offset: the mean within a ten-thousandth of full scale.
        EXPECT_LT(std::fabs(sum / static_cast<double>(samples.size())), 3.3);
        // The last 10 ms below -60 dBFS, and the very end exactly silent.
        const size_t tail = static_cast<size_t>(0.01 * sampleRate);
        for (size_t i = samples.size() - tail; i < samples.size(); ++i)
            ASSERT_LE(std::abs(static_cast<int>(samples[i])), 32) << "at sample " << i;
        EXPECT_EQ(samples.back(), 0);
        durations.push_back({c.midiNote, static_cast<double>(samples.size()) / sampleRate});
    }
    // Lower notes ring longer: from about 3 s at the bottom to about 1.5 s at the top.
    std::sort(durations.begin(), durations.end());
    for (const auto &[note, seconds] : durations) {
        SCOPED_TRACE(note);
        EXPECT_GE(seconds, 1.4);
        EXPECT_LE(seconds, 3.2);
        if (previousNote != 0) {
            EXPECT_LT(seconds, previousSeconds);
        }
        previousNote = note;
        previousSeconds = seconds;
    }
}

} // namespace
