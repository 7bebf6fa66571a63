// Listens to a recording of the program, as a person checking it would: where its sound breaks
// off, which of its notes it played, and how it ends. Recordings and samples are read by SDL's
// own loader.
//
//   velmora_probe gaps RECORDING.wav [UNTIL]
//       every stretch of digital silence longer than 5 ms from the first sound to the last, or
//       to UNTIL seconds into the recording where sound is owed until then (silence that runs
//       on to it counts), then "gaps over 5 ms: N" and "longest gap: X ms"
//   velmora_probe notes RECORDING.wav PROGRAM_DIRECTORY
//       one line per note heard: its time, the sample it is (by name, "1" to "16d") and how
//       well it matches (normalised correlation, 1 is exact)
//   velmora_probe fade RECORDING.wav
//       fails unless the sound ends faded out: its peak over the last 2 ms before the silence
//       at most a quarter of its peak 15 to 20 ms before, where a note still rings (512 or
//       more). A sound cut off keeps its level to the end, whatever the phase it stops at; the
//       program's fade over its last block leaves a tenth of it.
//   velmora_probe delays RECORDING.wav PROGRAM_DIRECTORY
//       one line per click of velmora_marker: its time and the milliseconds from it to the
//       next note heard ("none" if no note follows before the next click)
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
#include "tools/recording.h"

static constexpr double rate = 22050;
// Quieter than any note's audible part, louder than rounding noise.
static constexpr int soundLevel = 64;
static constexpr int silenceLevel = 1;
static constexpr int shortestGap = 110;
// Onsets are found in frames this long; a note is matched on this many values from its start.
static constexpr int frameValues = 128;
static constexpr int matchValues = 2048;
static constexpr int matchSlack = 2 * frameValues;

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

struct Heard {
    size_t at;
    int note;
    double match;
    // Where the note's sample falls below a clearly audible level.
    size_t end;
};

// The notes heard in a recording, in order; false if a sample cannot be read.
static bool HearNotes(const std::vector<double> &values, const std::string &directory,
                      std::vector<Heard> &heard) {
    std::vector<std::vector<double>> notes;
    for (const char *name : sampleNames) {
        notes.push_back(LoadRecording(directory + "/" + name));
        if (notes.back().empty())
            return false;
    }
    for (size_t frame : FindOnsets(values)) {
        size_t centre = frame * frameValues;
        Heard best{centre, 0, 0, 0};
        for (int note = 0; note < sampleCount; ++note)
            for (size_t at = centre > matchSlack ? centre - matchSlack : 0;
                 at < centre + matchSlack; at += 2) {
                double score = Match(values, at, notes[note]);
                if (score > best.match)
                    best = {at, note, score, 0};
            }
        // An attack that swells over several frames is found more than once.
        bool repeated = false;
        for (const Heard &earlier : heard)
            repeated |= earlier.note == best.note && best.at < earlier.at + rate * 0.15;
        if (repeated)
            continue;
        size_t loudFor = notes[best.note].size();
        while (loudFor > 0 && std::fabs(notes[best.note][loudFor - 1]) < 4 * soundLevel)
            --loudFor;
        best.end = best.at + loudFor;
        heard.push_back(best);
    }
    return true;
}

static int PrintNotes(const std::vector<double> &values, const std::string &directory) {
    std::vector<Heard> heard;
    if (!HearNotes(values, directory, heard))
        return 1;
    for (const Heard &note : heard) {
        std::string name = sampleNames[note.note];
        name = name.substr(name.find('/') + 1);
        name = name.substr(0, name.find('.'));
        printf("%.3f %s %.2f %.3f\n", note.at / rate, name.c_str(), note.match, note.end / rate);
    }
    return 0;
}

// velmora_marker's clicks: a filter that keeps their band (a fourth difference, 13 times as
// strong there) finds them, and no single note, which gives less than a fifteenth as much there.
// The click is dated by the middle of its strength, which smoothing on the way through a server
// does not move, less half its length.
static constexpr double clickBand = 13.09 * clickLevel, clickFound = clickBand / 4;

// Finds the clicks and takes each out, where it and the resampling's ringing may lie, with a
// mean over five values: 8820 Hz repeats in five, so it vanishes while the notes stay.
static std::vector<size_t> TakeOutClicks(std::vector<double> &values) {
    const std::vector<double> heard = values;
    std::vector<double> band(values.size(), 0), strength(values.size(), 0);
    for (size_t index = 2; index + 2 < values.size(); ++index)
        band[index] = heard[index - 2] - 4 * heard[index - 1] + 6 * heard[index] -
                      4 * heard[index + 1] + heard[index + 2];
    for (size_t index = 2; index + 2 < values.size(); ++index)
        for (size_t near = index - 2; near <= index + 2; ++near)
            strength[index] += band[near] * band[near] / 5;
    std::vector<size_t> clicks;
    const double found = clickFound * clickFound / 2;
    for (size_t index = 0; index < values.size(); ++index) {
        if (strength[index] <= found)
            continue;
        size_t end = index;
        double sum = 0, weighted = 0;
        for (; end < values.size() && strength[end] > found; ++end) {
            sum += strength[end];
            weighted += strength[end] * end;
        }
        size_t middle = size_t(weighted / sum);
        clicks.push_back(middle > clickValues / 2 ? middle - clickValues / 2 : 0);
        size_t from = index > clickValues + 2 ? index - clickValues : 2;
        size_t to = std::min(end + clickValues, values.size() - 2);
        for (size_t at = from; at < to; ++at)
            values[at] =
                (heard[at - 2] + heard[at - 1] + heard[at] + heard[at + 1] + heard[at + 2]) / 5;
        index = to;
    }
    return clicks;
}

// The time from each of velmora_marker's clicks to the next note.
static int PrintDelays(std::vector<double> &values, const std::string &directory) {
    std::vector<size_t> clicks = TakeOutClicks(values);
    std::vector<Heard> heard;
    if (!HearNotes(values, directory, heard))
        return 1;
    for (size_t tap = 0; tap < clicks.size(); ++tap) {
        size_t click = clicks[tap];
        auto next = std::find_if(heard.begin(), heard.end(),
                                 [&](const Heard &note) { return note.at > click; });
        // A note after the next click answers that touch, not this one.
        if (next == heard.end() || (tap + 1 < clicks.size() && next->at > clicks[tap + 1]))
            printf("%.3f none\n", click / rate);
        else
            printf("%.3f %.1f\n", click / rate, (next->at - click) * 1000 / rate);
    }
    return 0;
}

static int CheckFade(const std::vector<double> &values) {
    size_t end = values.size();
    while (end > 0 && std::fabs(values[end - 1]) <= silenceLevel)
        --end;
    auto peak = [&](double fromMilliseconds, double toMilliseconds) {
        double highest = 0;
        for (size_t index = end - size_t(fromMilliseconds * rate / 1000);
             index < end - size_t(toMilliseconds * rate / 1000); ++index)
            highest = std::max(highest, std::fabs(values[index]));
        return highest;
    };
    if (end < rate / 50)
        return printf("no sound to end\n"), 1;
    double ringing = peak(20, 15), last = peak(2, 0);
    printf("peak 20 to 15 ms before the end: %.0f, over the last 2 ms: %.0f\n", ringing, last);
    return ringing >= 8 * soundLevel && last <= ringing / 4 ? 0 : 1;
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
    if (((mode != "gaps" || argc > 4) && (mode != "fade" || argc != 3)) &&
        ((mode != "notes" && mode != "delays") || argc != 4)) {
        fprintf(stderr, "usage: velmora_probe gaps RECORDING.wav [UNTIL]\n"
                        "       velmora_probe fade RECORDING.wav\n"
                        "       velmora_probe notes|delays RECORDING.wav PROGRAM_DIRECTORY\n"
                        "       velmora_probe steal\n");
        return 2;
    }
    std::vector<double> values = LoadRecording(argv[2]);
    if (values.empty())
        return 1;
    if (mode == "fade")
        return CheckFade(values);
    if (mode == "delays")
        return PrintDelays(values, argv[3]);
    return mode == "gaps" ? PrintGaps(values, argc == 4 ? argv[3] : nullptr)
                          : PrintNotes(values, argv[3]);
}
