// The sound engine on a real ALSA device: the default PCM, routed to the harness's private
// sound server, whose recording must hold the note at its pitch and a stream without gaps.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/mixing.h"
#include "audio/voices.h"
#include "harness.h"
#include "platform/platform.h"

namespace {

using std::chrono::milliseconds;

// The build tree: this test runs as <build>/tests/e2e/velmora_e2e.
std::string BuildDirectory() {
    char path[4096];
    if (GetExecutablePath(path, sizeof path) == 0)
        return "";
    std::string directory = path;
    for (int level = 0; level < 3; ++level)
        directory.resize(directory.rfind('/'));
    return directory;
}

// The sample bytes of a 16-bit mono WAV file; empty when it cannot be read.
std::vector<uint8_t> ReadWaveSamples(const std::string &path) {
    std::string file = ReadFile(path);
    if (file.size() < 12 || file.compare(0, 4, "RIFF") != 0 || file.compare(8, 4, "WAVE") != 0)
        return {};
    size_t at = 12;
    while (at + 8 <= file.size()) {
        uint32_t size = uint32_t(uint8_t(file[at + 4])) | uint32_t(uint8_t(file[at + 5])) << 8 |
                        uint32_t(uint8_t(file[at + 6])) << 16 |
                        uint32_t(uint8_t(file[at + 7])) << 24;
        if (file.compare(at, 4, "data") == 0 && at + 8 + size <= file.size())
            return std::vector<uint8_t>(file.begin() + long(at + 8),
                                        file.begin() + long(at + 8 + size));
        at += 8 + size + (size & 1);
    }
    return {};
}

// A sine as sample bytes.
std::vector<uint8_t> SineSample(double hertz, double seconds, double amplitude) {
    std::vector<uint8_t> bytes(2 * size_t(seconds * recordingRate));
    for (size_t index = 0; index < bytes.size() / 2; ++index) {
        auto value =
            int16_t(amplitude * std::sin(2 * M_PI * hertz * double(index) / recordingRate));
        bytes[2 * index] = uint8_t(value & 0xff);
        bytes[2 * index + 1] = uint8_t((value >> 8) & 0xff);
    }
    return bytes;
}

// The pitch of a stretch of sound, from the first strong peak of its autocorrelation
// between 100 Hz and 2 kHz, refined between neighbouring lags.
double FindPitch(const std::vector<int16_t> &sound, size_t from, size_t count) {
    const int shortest = recordingRate / 2000, longest = recordingRate / 100;
    std::vector<double> correlation(longest + 2, 0.0);
    for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
        for (size_t index = from; index < from + count; ++index)
            correlation[lag] += double(sound[index]) * sound[index + lag];
    }
    double strongest = 0;
    for (int lag = shortest; lag <= longest; ++lag)
        strongest = std::max(strongest, correlation[lag]);
    for (int lag = shortest; lag <= longest; ++lag) {
        bool peak =
            correlation[lag] >= correlation[lag - 1] && correlation[lag] >= correlation[lag + 1];
        if (peak && correlation[lag] > 0.8 * strongest) {
            double left = correlation[lag - 1], middle = correlation[lag],
                   right = correlation[lag + 1];
            double offset = 0.5 * (left - right) / (left - 2 * middle + right);
            return recordingRate / (lag + offset);
        }
    }
    return 0;
}

// Where the sound first rises above the level, or the end.
size_t FindOnset(const std::vector<int16_t> &sound, size_t from, int level) {
    while (from < sound.size() && std::abs(sound[from]) < level)
        ++from;
    return from;
}

// Points this process's ALSA default device at the sound server.
void UseSoundServer(const SoundServer &sound) {
    for (const std::string &assignment : sound.Environment()) {
        size_t equals = assignment.find('=');
        setenv(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str(), 1);
    }
}

TEST(AudioDevice, NoteIsHeardAtItsPitchAndTheStreamNeverRunsDry) {
    std::vector<uint8_t> note = ReadWaveSamples(BuildDirectory() + "/Samples/6.wav");
    const double notePitch = 440.0; // A4, the sixth white key
    ASSERT_GT(note.size(), 22050u) << "the generated samples are missing";
    SoundServer sound;
    std::string error;
    ASSERT_TRUE(sound.Start(&error)) << error;
    UseSoundServer(sound);
    stopRequested.store(0);
    threadFinished.store(0);
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);

    // A little silence, then the note on its own.
    std::this_thread::sleep_for(milliseconds(300));
    int64_t started = MonotonicNanoseconds();
    StartVoice(note.data(), uint32_t(note.size()));
    std::this_thread::sleep_for(milliseconds(1500));

    // Twenty seconds of steady mixing: a quiet sine that never stops, and a note now and then
    // on top (replacing others once eight sound). Any gap in the stream shows in the sine.
    std::vector<uint8_t> sine = SineSample(1000.0, 20.0, 8000);
    int64_t sineStarted = MonotonicNanoseconds();
    StartVoice(sine.data(), uint32_t(sine.size()));
    for (int step = 0; step < 50; ++step) {
        std::this_thread::sleep_for(milliseconds(400));
        StartVoice(note.data(), uint32_t(note.size()));
    }
    std::this_thread::sleep_for(milliseconds(500));
    uint32_t underruns = CountWaveUnderruns();
    CloseAudio();
    ASSERT_TRUE(sound.FinishRecording(ArtifactPath("audio_device.wav")));
    std::vector<int16_t> recording = sound.ReadRecording();

    // The note: where it starts, how loud (a quarter of the sample's level), its pitch.
    size_t onset = FindOnset(recording, 0, 200);
    ASSERT_LT(onset + recordingRate, recording.size()) << "the note is missing";
    double latencyMs = (sound.RecordingStart() - started) / 1e6 + onset * 1000.0 / recordingRate;
    int peak = 0, notePeak = 0;
    for (size_t index = onset; index < onset + recordingRate; ++index)
        peak = std::max(peak, std::abs(int(recording[index])));
    for (size_t index = 0; index + 1 < note.size(); index += 2)
        notePeak = std::max(notePeak, std::abs(int(int16_t(note[index] | note[index + 1] << 8))));
    EXPECT_NEAR(peak, notePeak / 4, notePeak / 40);
    double pitch = FindPitch(recording, onset + recordingRate / 10, recordingRate / 4);
    EXPECT_NEAR(pitch, notePitch, notePitch * 0.01);

    // The stream: from the sine's start to its end, never 5 ms of silence.
    size_t sineOnset = size_t((sineStarted - sound.RecordingStart()) / 1e9 * recordingRate);
    size_t sineEnd = sineOnset + 19 * recordingRate;
    ASSERT_LT(sineEnd, recording.size());
    size_t quiet = 0, longestQuiet = 0;
    for (size_t index = sineOnset + recordingRate / 2; index < sineEnd; ++index) {
        quiet = std::abs(recording[index]) <= 8 ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    EXPECT_LT(longestQuiet, size_t(recordingRate / 200)) << "a gap in the stream";
    EXPECT_EQ(underruns, 0u);

    std::printf("note heard %.1f ms after StartVoice at %.2f Hz, peak %d of %d; "
                "%u underruns, longest quiet run %zu samples in 20 s\n",
                latencyMs, pitch, peak, notePeak, underruns, longestQuiet);
    RecordProperty("latency_ms", std::to_string(latencyMs));
    RecordProperty("underruns", std::to_string(underruns));
}

TEST(AudioDevice, OpeningWithoutAUsableDeviceFailsCleanly) {
    TempDirectory scratch("velmora-nosound");
    setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);
    setenv("PULSE_RUNTIME_PATH", scratch.Path().c_str(), 1);
    setenv("HOME", scratch.Path().c_str(), 1);
    // A thread started by mistake would end at once and say so.
    stopRequested.store(1);
    threadFinished.store(0);
    EXPECT_EQ(OpenAudio(1, 22050, 1024), 0);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(threadFinished.load(), 0);
    EXPECT_NE(OpenWaveOutput(1, 22050), 0) << "nothing was left open, and nothing opens";
}

} // namespace
