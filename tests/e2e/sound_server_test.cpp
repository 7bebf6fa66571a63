// The harness's sound server on its own: what a client plays lands in the recording, whole,
// at the right rate, and where the recording's start time says it should.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

TEST(SoundServer, RecordsWhatAClientPlays) {
    SoundServer sound;
    std::string error;
    ASSERT_TRUE(sound.Start(&error)) << error;
    // No screen: the server must work for tests that never open a window.
    for (const std::string &assignment : sound.Environment())
        EXPECT_NE(assignment.rfind("DISPLAY=", 0), 0u);

    // A 200 ms tone of 1000 Hz at half scale, as raw samples in the recording's own format.
    const int toneSamples = recordingRate / 5;
    const double toneHz = 1000.0;
    TempDirectory scratch("velmora-tone");
    std::string tonePath = scratch.Path() + "/tone.raw";
    {
        std::ofstream tone(tonePath, std::ios::binary);
        for (int i = 0; i < toneSamples; ++i) {
            int16_t value = int16_t(16000 * std::sin(2 * M_PI * toneHz * i / recordingRate));
            tone.write(reinterpret_cast<const char *>(&value), 2);
        }
    }
    // Some silence first, so that the onset is measured inside the recording.
    ASSERT_TRUE(
        WaitUntil([&] { return sound.ReadRecording().size() >= recordingRate / 10; }, 5000));
    int64_t played = MonotonicNanoseconds();
    ASSERT_TRUE(
        RunTool({"pacat", "--raw", "--rate=22050", "--channels=1", "--format=s16le", tonePath},
                sound.Environment(), 10000));
    int64_t heardBy = MonotonicNanoseconds() + 300000000;
    ASSERT_TRUE(WaitUntil(
        [&] {
            return int64_t(sound.ReadRecording().size()) >=
                   (heardBy - sound.RecordingStart()) * recordingRate / 1000000000;
        },
        5000));
    ASSERT_TRUE(sound.FinishRecording(ArtifactPath("sound_server.wav")));
    std::vector<int16_t> samples = sound.ReadRecording();

    size_t onset = 0;
    while (onset < samples.size() && std::abs(samples[onset]) < 1000)
        ++onset;
    ASSERT_LT(onset, samples.size()) << "the tone is missing from the recording";
    size_t end = samples.size();
    while (end > onset && std::abs(samples[end - 1]) < 1000)
        --end;
    // The null sink adds nothing: exact silence before the tone.
    for (size_t i = 0; i + 2 < onset; ++i)
        ASSERT_EQ(samples[i], 0) << "at sample " << i;
    // Neither lost nor stretched: its length and pitch come back as played.
    EXPECT_NEAR(double(end - onset), toneSamples, 0.01 * toneSamples);
    int crossings = 0;
    for (size_t i = onset + 1; i < end; ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    EXPECT_NEAR(crossings / 2.0 * recordingRate / double(end - onset), toneHz, 0.01 * toneHz);

    // The tone cannot sound before it was played (but for the sink's block), and a client's
    // buffering stays well under half a second.
    double onsetMs = (sound.RecordingStart() - played) / 1e6 + onset * 1000.0 / recordingRate;
    double uncertaintyMs = sound.RecordingStartUncertainty() / 1e6;
    EXPECT_GE(onsetMs, -(uncertaintyMs + recordingBlockMilliseconds));
    EXPECT_LT(onsetMs, 500.0);
    RecordProperty("onset_after_play_ms", std::to_string(onsetMs));
    RecordProperty("start_uncertainty_ms", std::to_string(uncertaintyMs));
    std::printf("tone heard %.1f ms after pacat started; recording start known to +-%.2f ms\n",
                onsetMs, uncertaintyMs);
}

} // namespace
