// A minute of heavy playing while other processes keep both cores busy: the sound must never
// break up. Once with the engine in this process, where the wave layer's own underrun count
// can be read, and once with the real program played by the pen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "assets/assets.h"
#include "audio/mixing.h"
#include "audio/voices.h"
#include "fault_stage.h"
#include "harness.h"
#include "platform/platform.h"
#include "sdl/sdl_api.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int playingSeconds = 60;
constexpr milliseconds notePeriod(30);
// Steps through the 24 keys so that each note is on another key than the one before.
constexpr int keyStride = 7;

// A gap is a run of exact silence at least this long: plenty of notes always sound.
constexpr size_t gapSamples = recordingRate / 200; // 5 ms

// The harness's sound server runs without shared memory, so every block a client plays passes
// through its main thread, which runs under the normal policy and so waits its turn behind the
// load; a server with shared memory hands the blocks straight to its real-time thread. Made
// real-time as a whole, the server keeps up, and what is measured is the program's engine.
bool KeepSoundServerUp(const SoundServer &sound) {
    return MakeRealtime(sound.ServerPid(), 40);
}

// Where a recording index lies, in seconds from the first note.
double SecondsIntoPlaying(const SoundServer &sound, int64_t playingStart, size_t index) {
    return double(index) / recordingRate - (playingStart - sound.RecordingStart()) / 1e9;
}

// Says how the threads of a process are scheduled, for the report.
std::string DescribeScheduling(pid_t pid) {
    int realtime = 0, total = 0;
    CountRealtimeThreads(pid, &realtime, &total);
    return std::to_string(realtime) + " of " + std::to_string(total) + " threads real-time";
}

TEST(Load, EngineNeverRunsDryWithBothCoresBusy) {
    // The program's own loader reads the samples, through the real SDL library.
    ASSERT_EQ(BindSdl(), 0u);
    SetBaseDirectoryFromPath(VELMORA_EXECUTABLE);
    LoadSamples();
    for (int slot = 0; slot < sampleCount; ++slot)
        ASSERT_GT(sampleBankLength[slot], 22050u) << sampleNames[slot];

    SoundServer sound;
    std::string error;
    ASSERT_TRUE(sound.Start(&error)) << error;
    EXPECT_TRUE(KeepSoundServerUp(sound)) << "the sound server cannot be made real-time";
    for (const std::string &assignment : sound.Environment()) {
        size_t equals = assignment.find('=');
        setenv(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str(), 1);
    }
    CpuLoad load(2);
    stopRequested.store(0);
    threadFinished.store(0);
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    std::string scheduling = DescribeScheduling(getpid());
    std::string serverScheduling = DescribeScheduling(sound.ServerPid());

    int64_t playingStart = MonotonicNanoseconds();
    int notes = 0, replacements = 0, key = 0;
    uint32_t underruns = 0;
    std::string underrunTimes; // milliseconds into the playing
    Clock::time_point next = Clock::now();
    const Clock::time_point end = next + std::chrono::seconds(playingSeconds);
    while (next < end) {
        bool allBusy = true;
        for (int voice = 0; voice < voiceCount; ++voice)
            allBusy = allBusy && !IsVoiceIdle(voice);
        replacements += allBusy;
        if (CountWaveUnderruns() != underruns) {
            underruns = CountWaveUnderruns();
            underrunTimes +=
                " " + std::to_string((MonotonicNanoseconds() - playingStart) / 1000000);
        }
        StartVoice(sampleBankData[key], sampleBankLength[key]);
        ++notes;
        key = (key + keyStride) % sampleCount;
        next += notePeriod;
        std::this_thread::sleep_until(next);
    }
    int64_t playingEnd = MonotonicNanoseconds();
    underruns = CountWaveUnderruns();
    bool loaded = load.Running();
    CloseAudio();
    ASSERT_TRUE(sound.FinishRecording(ArtifactPath("load-engine.wav")));

    std::vector<int16_t> recording = sound.ReadRecording();
    size_t from = RecordingIndexAt(sound, playingStart + 300000000, recording.size());
    size_t to = RecordingIndexAt(sound, playingEnd, recording.size());
    ASSERT_GT(to, from + size_t(recordingRate) * (playingSeconds - 2)) << "the recording is short";
    size_t silenceStart = 0;
    size_t silence = LongestSilence(recording, from, to, &silenceStart);

    EXPECT_TRUE(loaded) << "the load did not last";
    EXPECT_GT(replacements, notes / 2) << "all eight voices should be busy most of the time";
    EXPECT_EQ(underruns, 0u) << "seen at (ms into the playing):" << underrunTimes;
    EXPECT_LT(silence, gapSamples)
        << "a gap in the recording, " << SecondsIntoPlaying(sound, playingStart, silenceStart)
        << " s into the playing; see " << ArtifactPath("load-engine.wav");
    std::printf("  %-44s %d notes in %d s, %d with all eight voices busy; %u underruns; "
                "longest silence %zu samples (%.2f ms); engine %s, sound server %s\n",
                "engine in-process, both cores loaded", notes, playingSeconds, replacements,
                underruns, silence, silence * 1000.0 / recordingRate, scheduling.c_str(),
                serverScheduling.c_str());
    RecordProperty("underruns", std::to_string(underruns));
    RecordProperty("longest_silence_samples", std::to_string(silence));
}

TEST(Load, ProgramPlayedByThePenNeverFallsSilent) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    EXPECT_TRUE(KeepSoundServerUp(stage.sound)) << "the sound server cannot be made real-time";
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(WaitForKeyboard(stage.screen)) << stage.program.Errors();
    CpuLoad load(2);
    std::string scheduling = DescribeScheduling(stage.program.Pid());

    // Each note: the pen goes down on a key other than the last and comes up again.
    int64_t playingStart = MonotonicNanoseconds();
    int notes = 0, late = 0, key = 0;
    Clock::time_point next = Clock::now();
    const Clock::time_point end = next + std::chrono::seconds(playingSeconds);
    while (next < end) {
        const KeyPoint &point = keyPoints[size_t(key)];
        stage.screen.PenDown(point.x, point.y);
        std::this_thread::sleep_until(next + notePeriod / 2);
        stage.screen.PenUp(point.x, point.y);
        ++notes;
        key = (key + keyStride) % sampleCount;
        next += notePeriod;
        // A test starved by the load catches up rather than crowd the notes together.
        if (Clock::now() > next) {
            ++late;
            next = Clock::now();
        }
        std::this_thread::sleep_until(next);
    }
    int64_t playingEnd = MonotonicNanoseconds();
    bool loaded = load.Running();
    ASSERT_TRUE(stage.program.Running()) << DescribeExit(stage.program.WaitForExit(0)) << "\n"
                                         << stage.program.Errors();

    int requests = 0;
    ExitStatus status = EndWithQuitRequests(stage.program, &requests);
    EXPECT_EQ(JudgeEnding(status, stage.program), "");
    ASSERT_TRUE(stage.sound.FinishRecording(ArtifactPath("load-program.wav")));

    // From shortly after the first touch to the last, the music must never fall silent.
    std::vector<int16_t> recording = stage.sound.ReadRecording();
    size_t from = RecordingIndexAt(stage.sound, playingStart + 300000000, recording.size());
    size_t to = RecordingIndexAt(stage.sound, playingEnd, recording.size());
    ASSERT_GT(to, from + size_t(recordingRate) * (playingSeconds - 2)) << "the recording is short";
    size_t silence = LongestSilence(recording, from, to);
    EXPECT_TRUE(loaded) << "the load did not last";
    EXPECT_LT(silence, gapSamples)
        << "a gap in the recording; see " << ArtifactPath("load-program.wav");
    std::printf("  %-44s %d notes in %d s (%d late ticks); longest silence %zu samples "
                "(%.2f ms); program %s; %s\n",
                "program played by the pen, both cores loaded", notes, playingSeconds, late,
                silence, silence * 1000.0 / recordingRate, scheduling.c_str(),
                DescribeExit(status).c_str());
    RecordProperty("longest_silence_samples", std::to_string(silence));
}

} // namespace
