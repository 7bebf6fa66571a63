// Piano notes played from a recorded grand: the SoundFont's grand piano preset rendered by
// FluidSynth one key at a time, dry, at one fixed velocity, with the key let go shortly before
// the end so that the dampers close the note as they would on the instrument, each brought to
// one line of level.
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "generator.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// The font's own rate; the notes are halved to the program's rate afterwards.
constexpr int renderRate = 2 * sampleRate;
// A firm touch: the font's brightest layer starts at 108, where the hammer's knock comes in.
constexpr int velocity = 112;
// The dampers take a note some 30 dB below its after-sound in about a third of a second.
constexpr double releaseSeconds = 0.35;
constexpr double fadeSeconds = 0.02;

// 4 s at C4 down to 2 s at B5: the upper strings fall silent sooner.
size_t NoteFrames(int midiNote) {
    const double seconds = 4.0 * std::pow(0.5, (midiNote - 60) / 23.0);
    return static_cast<size_t>(std::lround(seconds * sampleRate));
}

// Halves the rate through a Blackman-windowed sinc low-pass, so that the little the strings
// and hammer leave above the new Nyquist frequency does not fold back into the audible band.
std::vector<double> HalveRate(const std::vector<double> &in, size_t outFrames) {
    constexpr int halfTaps = 127;
    constexpr double cutoff = 10500.0 / renderRate;
    double taps[2 * halfTaps + 1];
    double sum = 0.0;
    for (int j = -halfTaps; j <= halfTaps; ++j) {
        const double x = pi * (j + halfTaps) / halfTaps;
        const double blackman = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        const double sinc = j == 0 ? 2.0 * cutoff : std::sin(2.0 * pi * cutoff * j) / (pi * j);
        taps[j + halfTaps] = blackman * sinc;
        sum += taps[j + halfTaps];
    }
    for (double &tap : taps)
        tap /= sum; // exactly unity gain at 0 Hz
    std::vector<double> out(outFrames, 0.0);
    for (size_t k = 0; k < outFrames; ++k) {
        for (int j = -halfTaps; j <= halfTaps; ++j) {
            const long at = 2 * static_cast<long>(k) + j;
            if (at >= 0 && at < static_cast<long>(in.size()))
                out[k] += taps[j + halfTaps] * in[static_cast<size_t>(at)];
        }
    }
    return out;
}

// The key whose recording plays each note from C4 to B5, raised or lowered to it as the font
// itself does between its recordings. Where a key's own recording dies away much sooner or
// later than its neighbours', or starts slowly, a recording one or two keys away that matches
// them better plays it instead: D#4 from E4, A#4 from A4, B4 from C5, D5 from D#5, and F#5 to
// A5 from the recording for G#5, the quietest in the font but even in its decay.
constexpr int firstNote = 60;
constexpr int recordedKeys[] = {60, 61, 62, 64, 64, 65, 66, 67, 68, 69, 69, 72,
                                72, 73, 75, 75, 76, 77, 80, 80, 80, 81, 82, 83};

int RecordedKey(int midiNote) {
    const int index = midiNote - firstNote;
    return index >= 0 && index < static_cast<int>(std::size(recordedKeys)) ? recordedKeys[index]
                                                                           : midiNote;
}

// One key: down at the start, up a third of a second before the end. Only the right channel is
// kept: the font's two channels differ in phase, and mixed they cancel a partial here and there
// (the second of C5 to D5 by 10 dB), leaving notes that sound hollow beside their neighbours.
std::vector<double> PlayKey(fluid_synth_t *synth, int midiNote) {
    const size_t frames = 2 * NoteFrames(midiNote);
    const size_t keyUp = frames - static_cast<size_t>(releaseSeconds * renderRate);
    const int key = RecordedKey(midiNote);
    std::vector<float> left(frames), right(frames);
    // With the wheel's range at four semitones, each semitone is exactly 2048 steps.
    fluid_synth_pitch_wheel_sens(synth, 0, 4);
    fluid_synth_pitch_bend(synth, 0, 8192 + 2048 * (midiNote - key));
    fluid_synth_noteon(synth, 0, key, velocity);
    fluid_synth_write_float(synth, static_cast<int>(keyUp), left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_noteoff(synth, 0, key);
    fluid_synth_write_float(synth, static_cast<int>(frames - keyUp), left.data(),
                            static_cast<int>(keyUp), 1, right.data(), static_cast<int>(keyUp), 1);
    fluid_synth_all_sounds_off(synth, 0);
    std::vector<double> note =
        HalveRate(std::vector<double>(right.begin(), right.end()), NoteFrames(midiNote));
    // The recording's rumble below 20 Hz goes, and with it any offset: a first-order high-pass.
    const double pole = std::exp(-2.0 * pi * 20.0 / sampleRate);
    double previousIn = 0.0, previousOut = 0.0;
    for (double &value : note) {
        const double in = value;
        value = in - previousIn + pole * previousOut;
        previousIn = in;
        previousOut = value;
    }
    return note;
}

// Renders every note at the program's rate, before any gain.
bool RenderKeys(const char *fontPath, const std::vector<int> &midiNotes,
                std::vector<std::vector<double>> &notes) {
    fluid_settings_t *settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", renderRate);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    // Only the piano's samples are decoded, not the whole font's.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    fluid_synth_t *synth = new_fluid_synth(settings);
    const int font = synth ? fluid_synth_sfload(synth, fontPath, 1) : FLUID_FAILED;
    const bool loaded = font != FLUID_FAILED;
    if (loaded) {
        fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_HIGHEST);
        fluid_synth_program_select(synth, 0, font, 0, 0); // bank 0, preset 0: the grand piano
        for (int midiNote : midiNotes)
            notes.push_back(PlayKey(synth, midiNote));
    }
    if (synth)
        delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return loaded;
}

// The level of a note's strike, in dB: its first fifth of a second.
double StrikeLevel(const std::vector<double> &sound) {
    const size_t frames = std::min(sound.size(), static_cast<size_t>(0.2 * sampleRate));
    double sum = 0.0;
    for (size_t i = 0; i < frames; ++i)
        sum += sound[i] * sound[i];
    return 10.0 * std::log10(sum / frames);
}

// Brings every note's strike onto the straight line that best fits them all by pitch, so that
// the recordings' own differences in level (the one for G#5 lies 10 dB under its neighbours)
// do not show as a loud or a quiet key, while the keyboard keeps its overall slope.
void TrimToLine(const std::vector<int> &midiNotes, std::vector<std::vector<double>> &sounds) {
    const size_t count = sounds.size();
    std::vector<double> levels(count);
    double meanNote = 0.0, meanLevel = 0.0;
    for (size_t i = 0; i < count; ++i) {
        levels[i] = StrikeLevel(sounds[i]);
        meanNote += midiNotes[i] / static_cast<double>(count);
        meanLevel += levels[i] / count;
    }
    double covariance = 0.0, variance = 0.0;
    for (size_t i = 0; i < count; ++i) {
        covariance += (midiNotes[i] - meanNote) * (levels[i] - meanLevel);
        variance += (midiNotes[i] - meanNote) * (midiNotes[i] - meanNote);
    }
    const double slope = variance > 0.0 ? covariance / variance : 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double wanted = meanLevel + slope * (midiNotes[i] - meanNote);
        const double factor = std::pow(10.0, (wanted - levels[i]) / 20.0);
        for (double &value : sounds[i])
            value *= factor;
    }
}

} // namespace

bool RenderPianoNotes(const char *fontPath, const std::vector<int> &midiNotes,
                      std::vector<std::vector<int16_t>> &notes) {
    std::vector<std::vector<double>> sounds;
    if (!RenderKeys(fontPath, midiNotes, sounds)) {
        fprintf(stderr,
                "cannot load the piano SoundFont %s (Debian package "
                "musescore-general-soundfont-small)\n",
                fontPath);
        return false;
    }
    TrimToLine(midiNotes, sounds);
    // One gain for all: the loudest note peaks at -1 dBFS, the rest keep the piano's balance.
    double peak = 0.0;
    for (const std::vector<double> &sound : sounds) {
        for (double value : sound)
            peak = std::max(peak, std::fabs(value));
    }
    const double gain = 32767.0 * std::pow(10.0, -1.0 / 20.0) / peak;
    const size_t fadeFrames = static_cast<size_t>(fadeSeconds * sampleRate);
    notes.clear();
    for (const std::vector<double> &sound : sounds) {
        std::vector<int16_t> samples(sound.size());
        for (size_t i = 0; i < sound.size(); ++i) {
            const size_t left = sound.size() - 1 - i; // 0 at the last value
            const double fade =
                left >= fadeFrames ? 1.0 : 0.5 - 0.5 * std::cos(pi * left / fadeFrames);
            samples[i] = static_cast<int16_t>(std::lround(sound[i] * gain * fade));
        }
        notes.push_back(std::move(samples));
    }
    return true;
}
