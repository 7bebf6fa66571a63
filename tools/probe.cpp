// Listens to a recording of the program, as a person checking it would: where its sound breaks
// off, and which of its notes it played. Recordings and samples are read by SDL's own loader.
//
//   velmora_probe gaps RECORDING.wav [UNTIL]
//       every stretch of digital silence longer than 5 ms from the first sound to the last, or
//       to UNTIL seconds into the recording where sound is owed until then (silence that runs
//       on to it counts), then "gaps over 5 ms: N" and "longest gap: X ms"
//   velmora_probe notes RECORDING.wav PROGRAM_DIRECTORY
//       one line per note heard: its time, the sample it is (by name, "1" to "16d") and how
//       well it matches (normalised correlation, 1 is exact)
//   velmora_probe steal
//       every 10 ms until stopped, a line with the time (seconds since 1970, as the shell's
//       EPOCHREALTIME) and each processor's time taken by the host so far, in clock ticks
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "sdl/sdl_api.h"

static constexpr double rate = 22050;
// Quieter than any note's audible part, louder than rounding noise.
static constexpr int soundLevel = 64;
static constexpr int silenceLevel = 1;
static constexpr int shortestGap = 110;
// Onsets are found in frames this long; a note is matched on this many values from its start.
static constexpr int frameValues = 128;
static constexpr int matchValues = 2048;
static constexpr int matchSlack = 2 * frameValues;

static std::vector<double> LoadValues(const std::string &path) {
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (!sdl.SDL_LoadWAV_RW(sdl.SDL_RWFromFile(path.c_str(), "rb"), 1, &spec, &data, &length)) {
        fprintf(stderr, "velmora_probe: cannot read %s: %s\n", path.c_str(), sdl.SDL_GetError());
        return {};
    }
    std::vector<double> values(length / 2);
    for (size_t index = 0; index < values.size(); ++index) {
        int16_t value;
        memcpy(&value, data + 2 * index, 2);
        values[index] = value;
    }
    return values;
}

static int PrintGaps(const std::vector<double> &values, const char *until) {
    size_t first = 0, last = values.size();
    while (first < last && std::fabs(values[first]) < soundLevel)
        ++first;
    if (until)
        last = std::min(last, size_t(std::max(0.0, atof(until)) * rate));
    else
        while (last > first && std::fabs(values[last - 1]) < soundLevel)
            --last;
    first = std::min(first, last);
    int count = 0;
    double longest = 0;
    for (size_t index = first; index < last;) {
        size_t end = index;
        while (end < last && std::fabs(values[end]) <= silenceLevel)
            ++end;
        if (end - index > shortestGap) {
            double milliseconds = (end - index) * 1000 / rate;
            printf("gap at %.3f s: %.1f ms\n", index / rate, milliseconds);
            ++count;
            longest = std::max(longest, milliseconds);
        }
        index = end + 1;
    }
    // Owed sound that never came at all.
    if (first == last && last > 0) {
        printf("gap at 0.000 s: %.1f ms\n", last * 1000 / rate);
        count = 1;
        longest = last * 1000 / rate;
    }
    printf("gaps over 5 ms: %d\nlongest gap: %.1f ms\n", count, longest);
    return 0;
}

static double FrameEnergy(const std::vector<double> &values, size_t frame) {
    double energy = 0;
    // Two frames: a low note's period would otherwise make single frames swell and shrink.
    for (size_t index = frame * frameValues; index < (frame + 2) * frameValues; ++index)
        energy += values[index] * values[index];
    return energy;
}

// Frames where the sound grows abruptly: a note's attack over whatever still rings. Several
// notes ringing out together beat against each other, swelling by a decibel or two; an attack
// must also reach within 20 dB of the loudest moment, which those late swells never do.
static std::vector<size_t> FindOnsets(const std::vector<double> &values) {
    size_t frames = values.size() / frameValues - 1;
    double loudest = 0;
    for (size_t frame = 0; frame < frames; ++frame)
        loudest = std::max(loudest, FrameEnergy(values, frame));
    const double floor = std::max(2.0 * soundLevel * soundLevel * frameValues, loudest / 100);
    std::vector<size_t> onsets;
    for (size_t frame = 4; frame < frames; ++frame) {
        double before = std::max({FrameEnergy(values, frame - 2), FrameEnergy(values, frame - 3),
                                  FrameEnergy(values, frame - 4)});
        double now = FrameEnergy(values, frame);
        bool spaced = onsets.empty() || frame - onsets.back() >= 8;
        if (now > floor && now > 1.3 * before + floor && spaced)
            onsets.push_back(frame);
    }
    return onsets;
}

// Normalised correlation of a sample's start with the recording at a position.
static double Match(const std::vector<double> &values, size_t at, const std::vector<double> &note) {
    double product = 0, recorded = 0, played = 0;
    for (int index = 0; index < matchValues && at + index < values.size(); ++index) {
        double value = index < int(note.size()) ? note[index] : 0;
        product += values[at + index] * value;
        recorded += values[at + index] * values[at + index];
        played += value * value;
    }
    return recorded > 0 && played > 0 ? product / std::sqrt(recorded * played) : 0;
}

static int PrintNotes(const std::vector<double> &values, const std::string &directory) {
    std::vector<std::vector<double>> notes;
    for (const char *name : sampleNames) {
        notes.push_back(LoadValues(directory + "/" + name));
        if (notes.back().empty())
            return 1;
    }
    std::vector<std::pair<size_t, int>> heard;
    for (size_t frame : FindOnsets(values)) {
        size_t centre = frame * frameValues;
        double best = 0;
        int bestNote = 0;
        size_t bestAt = centre;
        for (int note = 0; note < sampleCount; ++note)
            for (size_t at = centre > matchSlack ? centre - matchSlack : 0;
                 at < centre + matchSlack; at += 2) {
                double score = Match(values, at, notes[note]);
                if (score > best) {
                    best = score;
                    bestNote = note;
                    bestAt = at;
                }
            }
        // An attack that swells over several frames is found more than once.
        bool repeated = false;
        for (auto [at, note] : heard)
            repeated |= note == bestNote && bestAt < at + rate * 0.15;
        if (repeated)
            continue;
        heard.push_back({bestAt, bestNote});
        std::string name = sampleNames[bestNote];
        name = name.substr(name.find('/') + 1);
        name = name.substr(0, name.find('.'));
        size_t loudFor = notes[bestNote].size();
        while (loudFor > 0 && std::fabs(notes[bestNote][loudFor - 1]) < 4 * soundLevel)
            --loudFor;
        printf("%.3f %s %.2f %.3f\n", bestAt / rate, name.c_str(), best, (bestAt + loudFor) / rate);
    }
    return 0;
}

static int PrintSteal() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    for (;;) {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        printf("%ld.%06ld", long(now.tv_sec), now.tv_nsec / 1000);
        FILE *stat = fopen("/proc/stat", "r");
        char line[512];
        unsigned long long steal;
        while (stat && fgets(line, sizeof line, stat))
            if (isdigit(line[3]) &&
                sscanf(line, "cpu%*u %*u %*u %*u %*u %*u %*u %*u %llu", &steal) == 1)
                printf(" %llu", steal);
        if (stat)
            fclose(stat);
        printf("\n");
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

int main(int argc, char **argv) {
    if (argc == 2 && std::string(argv[1]) == "steal")
        return PrintSteal();
    if (BindSdl() != 0) {
        fprintf(stderr, "velmora_probe: cannot load %s\n", sdlLibraryName);
        return 1;
    }
    std::string mode = argc > 2 ? argv[1] : "";
    if ((mode != "gaps" || argc > 4) && (mode != "notes" || argc != 4)) {
        fprintf(stderr, "usage: velmora_probe gaps RECORDING.wav [UNTIL]\n"
                        "       velmora_probe notes RECORDING.wav PROGRAM_DIRECTORY\n"
                        "       velmora_probe steal\n");
        return 2;
    }
    std::vector<double> values = LoadValues(argv[2]);
    if (values.empty())
        return 1;
    return mode == "gaps" ? PrintGaps(values, argc == 4 ? argv[3] : nullptr)
                          : PrintNotes(values, argv[3]);
}
