// Piano notes from a struck-string model: stretched partials shaped by where the hammer hits,
// each fading in two stages (prompt sound, then after-sound) and faster the higher it lies,
// three slightly detuned strings per note, and a short felt-and-wood knock at the strike.
#include <algorithm>
#include <cmath>

#include "generator.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// A small fixed-seed generator, so the hammer noise is the same on every run.
struct NoiseSource {
    uint32_t state;
};

// A value uniformly spread over -1..1.
double NextNoise(NoiseSource &noise) {
    noise.state ^= noise.state << 13;
    noise.state ^= noise.state >> 17;
    noise.state ^= noise.state << 5;
    return noise.state / 2147483648.0 - 1.0;
}

// Equal temperament with A4 = 440 Hz.
double NoteFrequency(int midiNote) {
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

// Adds the strings' vibration: every partial of the three strings of the note.
void AddStrings(std::vector<double> &sound, int midiNote) {
    const double fundamental = NoteFrequency(midiNote);
    const double placeInRange = (midiNote - 60) / 23.0; // 0 at C4, 1 at B5
    // Stiffness stretches the partials, more so in the short upper strings.
    const double inharmonicity = 0.00035 * std::pow(2.0, (midiNote - 60) / 14.0);
    // The stretch formula raises the first partial too; scale it back onto the tempered pitch.
    const double base = fundamental / std::sqrt(1.0 + inharmonicity);
    const double strikePoint = 1.0 / 7.3; // of the string's length, from its end
    const double felt = 2400.0 + 1800.0 * placeInRange;
    const double decayScale = std::sqrt(fundamental / NoteFrequency(60));
    const double promptRate = 3.2 * decayScale;
    const double afterRate = 0.75 * decayScale;
    const double promptShare = 0.65;
    // The outer strings of the unison, a third of a cent either side of the middle one.
    const double detune = std::pow(2.0, 0.35 / 1200.0) - 1.0;
    const double attackSeconds = 0.0015;

    for (int partial = 1; partial <= 48; ++partial) {
        const double n = partial;
        const double frequency = n * base * std::sqrt(1.0 + inharmonicity * n * n);
        if (frequency > 0.45 * sampleRate)
            break;
        const double above = frequency - fundamental;
        const double decayFactor = 1.0 + above / 1800.0 + (above / 5000.0) * (above / 5000.0);
        const double prompt = promptRate * decayFactor;
        const double after = afterRate * decayFactor;
        double amplitude = std::fabs(std::sin(pi * n * strikePoint)) / n;
        amplitude /= std::sqrt(1.0 + std::pow(frequency / felt, 4.0));
        const double omega = 2.0 * pi * frequency / sampleRate;
        for (size_t i = 0; i < sound.size(); ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            const double envelope =
                promptShare * std::exp(-prompt * t) + (1.0 - promptShare) * std::exp(-after * t);
            // Middle string at half weight, outer ones at a quarter: their sum is the middle
            // string's tone under a slow, never negative swell.
            const double unison = 0.5 + 0.5 * std::cos(omega * detune * static_cast<double>(i));
            const double attack = std::min(1.0, t / attackSeconds);
            sound[i] +=
                amplitude * envelope * unison * attack * std::sin(omega * static_cast<double>(i));
        }
    }
}

// Adds the hammer's knock: a few milliseconds of felt noise and a short thump of the frame.
void AddHammer(std::vector<double> &sound, int midiNote, double level) {
    NoiseSource noise{0x9E3779B9u + static_cast<uint32_t>(midiNote) * 2654435761u};
    const double lowpass = 1.0 - std::exp(-2.0 * pi * 2500.0 / sampleRate);
    const double highpass = std::exp(-2.0 * pi * 120.0 / sampleRate);
    double low1 = 0.0, low2 = 0.0, previousIn = 0.0, high = 0.0;
    const size_t length = std::min(sound.size(), static_cast<size_t>(0.04 * sampleRate));
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        low1 += lowpass * (NextNoise(noise) - low1);
        low2 += lowpass * (low1 - low2);
        high = highpass * (high + low2 - previousIn);
        previousIn = low2;
        const double envelope = std::min(1.0, t / 0.0005) * std::exp(-t / 0.004);
        const double thump = std::sin(2.0 * pi * 95.0 * t) * std::exp(-t / 0.012);
        sound[i] += level * (envelope * high * 4.0 + 0.35 * thump * std::min(1.0, t / 0.001));
    }
}

} // namespace

std::vector<int16_t> SynthesizePianoNote(int midiNote) {
    const double placeInRange = (midiNote - 60) / 23.0;
    const double seconds = 3.0 * std::pow(0.5, placeInRange); // 3 s at C4 down to 1.5 s at B5
    const size_t count = static_cast<size_t>(std::lround(seconds * sampleRate));
    std::vector<double> sound(count, 0.0);
    AddStrings(sound, midiNote);
    double stringPeak = 0.0;
    for (double value : sound)
        stringPeak = std::max(stringPeak, std::fabs(value));
    AddHammer(sound, midiNote, 0.12 * stringPeak);

    // The dampers close over the last 30 %: a raised-cosine fade that ends in exact silence.
    std::vector<double> fade(count, 1.0);
    const size_t fadeLength = static_cast<size_t>(0.3 * static_cast<double>(count));
    for (size_t i = 0; i < fadeLength; ++i) {
        const double u = static_cast<double>(i + 1) / static_cast<double>(fadeLength);
        fade[count - fadeLength + i] = 0.5 * (1.0 + std::cos(pi * u));
    }
    for (size_t i = 0; i < count; ++i)
        sound[i] *= fade[i];

    // Take out any offset in the fade's shape, so the ends stay at zero.
    double sum = 0.0, weight = 0.0;
    for (size_t i = 0; i < count; ++i) {
        sum += sound[i];
        weight += fade[i];
    }
    for (size_t i = 0; i < count; ++i)
        sound[i] -= sum / weight * fade[i];

    double peak = 0.0;
    for (double value : sound)
        peak = std::max(peak, std::fabs(value));
    const double gain = 32767.0 * std::pow(10.0, -0.5 / 20.0) / peak; // -0.5 dBFS
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(std::lround(sound[i] * gain));
    return samples;
}
