// Reading a recording of the piano: where its notes start, and at what pitch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A note's frequency in equal temperament with A4 at 440 Hz; MIDI numbers, 60 is C4.
double NoteFrequency(int midiNote);

// How far a frequency lies above a reference, in cents (negative when below).
double CentsBetween(double frequency, double reference);

// A recording with the silences of its dropouts taken out: where the sound server ran dry
// and played zeros in the middle of a ringing note, before the rest of the stream came late.
struct Stream {
    std::vector<int16_t> sound;
    std::vector<size_t> origin; // the recording's index of each sample
    size_t dropouts = 0;
    size_t droppedSamples = 0;
};

Stream RemoveDropouts(const std::vector<int16_t> &recording);

// The sample indices where notes start, in order: a sudden rise of the sound's energy after
// near silence, or over what was already ringing.
std::vector<size_t> FindNoteOnsets(const std::vector<int16_t> &sound);

// The fundamental of the note that starts at onset, judged by what rose in the spectrum
// between just before the onset and the stretch after its attack, up to end; 0 when the
// stretch is too short or nothing rose.
double EstimateNotePitch(const std::vector<int16_t> &sound, size_t onset, size_t end);

// The pitches of the notes at the onsets, each judged up to the next onset.
std::vector<double> EstimateNotePitches(const std::vector<int16_t> &sound,
                                        const std::vector<size_t> &onsets);

// The notes heard in a recording: where each starts in it, and its pitch; and how much was
// lost to dropouts between them.
struct HeardNotes {
    std::vector<size_t> onsets;
    std::vector<double> pitches;
    size_t dropouts = 0;
    double droppedMilliseconds = 0;
};

HeardNotes ListNotes(const std::vector<int16_t> &recording);

// Lists the notes' onsets (in milliseconds) and pitches, for failure messages.
std::string DescribeNotes(const HeardNotes &notes);
