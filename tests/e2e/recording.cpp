#include "recording.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "harness.h"

namespace {

// Onsets are looked for in frames of 5 ms every 2.5 ms.
constexpr int hopSamples = recordingRate / 400;
constexpr int frameSamples = 2 * hopSamples;
// A frame starts a note when its energy is this many times the strongest of the frames
// 10 to 40 ms before it: wide enough to span the beating of notes already ringing. A new
// note on one struck 150 ms before rises about ninefold; nothing else more than fourfold.
constexpr double onsetRise = 6.0;
constexpr int referenceFirst = 16, referenceLast = 4;
// Below this (a bend of about 20 per sample, all frame long) the sound counts as silence.
constexpr double silentEnergy = frameSamples * 20.0 * 20.0;
// Two onsets closer than this are one note's attack.
constexpr int refractoryFrames = 24;

// The pitch is judged after the hammer's knock has died away, over at most this long.
constexpr size_t attackSkip = recordingRate * 40 / 1000;
constexpr size_t longestStretch = recordingRate * 110 / 1000;
constexpr size_t shortestStretch = recordingRate * 35 / 1000;
constexpr size_t onsetGuard = recordingRate * 5 / 1000;
constexpr int spectrumSize = 16384;
// The fundamentals of the two octaves lie within these bounds, with room for a wrong key.
constexpr double lowestPitch = 200.0, highestPartial = 2200.0, lowestFundamental = 230.0;

// Zeros right after a sound at least this loud are a dropout: a ringing note never holds at
// exactly zero for two samples running, and its damped end fades out gently.
constexpr size_t dropoutZeros = 2;
constexpr size_t dropoutLook = 32;
constexpr int dropoutLevel = 64;

// The bend of the sound at a sample: it stresses the hammer's knock and the attack's upper
// partials over the slowly decaying low partials of notes already ringing.
double Bend(const std::vector<int16_t> &sound, size_t index) {
    if (index < 2)
        return 0.0;
    return double(sound[index]) - 2.0 * double(sound[index - 1]) + double(sound[index - 2]);
}

// In-place radix-2 transform; size a power of two.
void Transform(std::vector<std::complex<double>> &values) {
    const size_t size = values.size();
    for (size_t i = 1, j = 0; i < size; ++i) {
        size_t bit = size >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(values[i], values[j]);
    }
    for (size_t length = 2; length <= size; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * M_PI / double(length));
        for (size_t start = 0; start < size; start += length) {
            std::complex<double> turn = 1.0;
            for (size_t k = 0; k < length / 2; ++k) {
                std::complex<double> even = values[start + k];
                std::complex<double> odd = values[start + k + length / 2] * turn;
                values[start + k] = even + odd;
                values[start + k + length / 2] = even - odd;
                turn *= step;
            }
        }
    }
}

// The power spectrum of a Hann-windowed stretch (samples before the recording count as 0).
std::vector<double> PowerSpectrum(const std::vector<int16_t> &sound, long from, size_t count) {
    std::vector<std::complex<double>> values(spectrumSize, 0.0);
    for (size_t i = 0; i < count && i < size_t(spectrumSize); ++i) {
        long index = from + long(i);
        if (index < 0 || size_t(index) >= sound.size())
            continue;
        double window = 0.5 - 0.5 * std::cos(2.0 * M_PI * (double(i) + 0.5) / double(count));
        values[i] = window * sound[size_t(index)];
    }
    Transform(values);
    std::vector<double> power(spectrumSize / 2);
    for (size_t k = 0; k < power.size(); ++k)
        power[k] = std::norm(values[k]);
    return power;
}

double BinOf(double hertz) {
    return hertz * spectrumSize / recordingRate;
}

// The strongest bin within a fraction of a frequency either way.
size_t PeakNear(const std::vector<double> &spectrum, double hertz, double fraction) {
    size_t low = size_t(std::max(1.0, BinOf(hertz * (1 - fraction))));
    size_t high = std::min(spectrum.size() - 2, size_t(BinOf(hertz * (1 + fraction))) + 1);
    size_t best = low;
    for (size_t k = low; k <= high; ++k) {
        if (spectrum[k] > spectrum[best])
            best = k;
    }
    return best;
}

} // namespace

double NoteFrequency(int midiNote) {
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

double CentsBetween(double frequency, double reference) {
    if (frequency <= 0 || reference <= 0)
        return 1e9;
    return 1200.0 * std::log2(frequency / reference);
}

Stream RemoveDropouts(const std::vector<int16_t> &recording) {
    Stream stream;
    size_t index = 0;
    while (index < recording.size()) {
        size_t run = 0;
        while (index + run < recording.size() && recording[index + run] == 0)
            ++run;
        int before = 0;
        for (size_t back = 1; run >= dropoutZeros && back <= dropoutLook && back <= index; ++back)
            before = std::max(before, std::abs(int(recording[index - back])));
        if (before >= dropoutLevel && index + run < recording.size()) {
            ++stream.dropouts;
            stream.droppedSamples += run;
            index += run;
            continue;
        }
        for (size_t end = index + std::max<size_t>(run, 1); index < end; ++index) {
            stream.sound.push_back(recording[index]);
            stream.origin.push_back(index);
        }
    }
    return stream;
}

std::vector<size_t> FindNoteOnsets(const std::vector<int16_t> &sound) {
    const size_t frames =
        sound.size() < size_t(frameSamples) ? 0 : (sound.size() - frameSamples) / hopSamples + 1;
    std::vector<double> energy(frames, 0.0);
    for (size_t frame = 0; frame < frames; ++frame) {
        for (size_t i = frame * hopSamples; i < frame * hopSamples + frameSamples; ++i)
            energy[frame] += Bend(sound, i) * Bend(sound, i);
    }
    std::vector<size_t> onsets;
    long lastOnsetFrame = -refractoryFrames;
    for (size_t frame = 0; frame < frames; ++frame) {
        double reference = 0;
        for (long back = referenceLast; back <= referenceFirst; ++back) {
            if (long(frame) - back >= 0)
                reference = std::max(reference, energy[frame - size_t(back)]);
        }
        if (energy[frame] < silentEnergy || energy[frame] < onsetRise * reference ||
            long(frame) - lastOnsetFrame < refractoryFrames)
            continue;
        lastOnsetFrame = long(frame);
        // The note's first sample: where the bend first stands out from what was before.
        size_t start = frame * hopSamples;
        size_t searchFrom = start >= size_t(hopSamples) ? start - hopSamples : 0;
        size_t quietFrom = searchFrom >= size_t(2 * hopSamples) ? searchFrom - 2 * hopSamples : 0;
        double quiet = 0;
        for (size_t i = quietFrom; i < searchFrom; ++i)
            quiet += Bend(sound, i) * Bend(sound, i);
        double level = std::max(
            50.0, 6.0 * std::sqrt(quiet / double(std::max<size_t>(1, searchFrom - quietFrom))));
        size_t onset = start;
        for (size_t i = searchFrom; i < start + frameSamples; ++i) {
            if (std::fabs(Bend(sound, i)) > level) {
                onset = i;
                break;
            }
        }
        onsets.push_back(onset);
    }
    return onsets;
}

double EstimateNotePitch(const std::vector<int16_t> &sound, size_t onset, size_t end) {
    end = std::min(end, sound.size());
    const size_t from = onset + attackSkip;
    if (end < from + onsetGuard + shortestStretch)
        return 0;
    const size_t count = std::min(longestStretch, end - onsetGuard - from);
    std::vector<double> after = PowerSpectrum(sound, long(from), count);
    std::vector<double> before =
        PowerSpectrum(sound, long(onset) - long(onsetGuard) - long(count), count);
    // What rose: the new note's partials, and nothing of the notes decaying under it.
    std::vector<double> rise(after.size());
    for (size_t k = 0; k < rise.size(); ++k)
        rise[k] = std::max(0.0, after[k] - before[k]);
    size_t peak = PeakNear(rise, (lowestPitch + highestPartial) / 2,
                           (highestPartial - lowestPitch) / (highestPartial + lowestPitch));
    if (rise[peak] <= 0)
        return 0;
    // The strongest rise may be an upper partial: take the lowest fundamental it implies
    // that rose too.
    for (int multiple = 4; multiple >= 2; --multiple) {
        double candidate = (double(peak) * recordingRate / spectrumSize) / multiple;
        if (candidate < lowestFundamental)
            continue;
        size_t below = PeakNear(rise, candidate, 0.03);
        if (rise[below] >= 0.3 * rise[peak]) {
            peak = below;
            break;
        }
    }
    // Between bins, from the parabola through the log power (exact for a lone Hann-windowed
    // tone's main lobe).
    const std::vector<double> &shape = rise[peak - 1] > 0 && rise[peak + 1] > 0 ? rise : after;
    double left = std::log(shape[peak - 1] + 1e-9), middle = std::log(shape[peak] + 1e-9),
           right = std::log(shape[peak + 1] + 1e-9);
    double denominator = left - 2 * middle + right;
    double offset = denominator < 0 ? 0.5 * (left - right) / denominator : 0.0;
    return (double(peak) + std::clamp(offset, -0.5, 0.5)) * recordingRate / spectrumSize;
}

std::vector<double> EstimateNotePitches(const std::vector<int16_t> &sound,
                                        const std::vector<size_t> &onsets) {
    std::vector<double> pitches;
    for (size_t i = 0; i < onsets.size(); ++i) {
        size_t end = i + 1 < onsets.size() ? onsets[i + 1] : sound.size();
        pitches.push_back(EstimateNotePitch(sound, onsets[i], end));
    }
    return pitches;
}

HeardNotes ListNotes(const std::vector<int16_t> &recording) {
    Stream stream = RemoveDropouts(recording);
    std::vector<size_t> onsets = FindNoteOnsets(stream.sound);
    HeardNotes notes;
    notes.pitches = EstimateNotePitches(stream.sound, onsets);
    for (size_t onset : onsets)
        notes.onsets.push_back(stream.origin[onset]);
    notes.dropouts = stream.dropouts;
    notes.droppedMilliseconds = stream.droppedSamples * 1000.0 / recordingRate;
    return notes;
}

std::string DescribeNotes(const HeardNotes &notes) {
    std::string text;
    for (size_t i = 0; i < notes.onsets.size(); ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "  note %zu at %.1f ms: %.1f Hz\n", i + 1,
                      notes.onsets[i] * 1000.0 / recordingRate,
                      i < notes.pitches.size() ? notes.pitches[i] : 0.0);
        text += line;
    }
    char line[100];
    std::snprintf(line, sizeof line, "  %zu dropouts, %.1f ms of sound lost\n", notes.dropouts,
                  notes.droppedMilliseconds);
    return text + line;
}
