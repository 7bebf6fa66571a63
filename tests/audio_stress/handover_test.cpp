// The main thread starts notes as fast as it can while another thread mixes, and the mixer's
// view is checked after every pass: a voice must never pair one sample's pointer with another
// sample's length, nor stray outside its sample, and no note handed over may be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "audio/mixing.h"
#include "audio/voices.h"
#include "platform/wave_fake.h"

namespace {

// Half the notes are for starting flat out, half for the notes that must all be heard.
constexpr int noteCount = 8000;
constexpr int flatOutNotes = noteCount / 2;
constexpr int32_t longestNote = 64 * audioBlockBytes;

// Every note is a slice of one pool of equal values, starting one byte after the previous,
// so a note's pointer alone tells which it is and so how long it must be.
struct NotePool {
    std::vector<uint8_t> bytes;
    std::vector<int32_t> lengths;
};

NotePool MakeNotePool(uint32_t seed) {
    NotePool pool;
    pool.bytes.resize(noteCount + longestNote + 2);
    // Read from an even offset every value is 4, from an odd one 1024: a quarter of 1 or 256,
    // small and positive either way.
    for (size_t index = 0; index < pool.bytes.size(); ++index)
        pool.bytes[index] = index % 2 == 0 ? 4 : 0;
    std::mt19937 random(seed);
    for (int note = 0; note < noteCount; ++note) {
        int32_t length;
        switch (random() % 4) {
        case 0:
            length = static_cast<int32_t>(1 + random() % 40) * audioBlockBytes;
            break;
        case 1:
            length = static_cast<int32_t>(random() % 1100);
            break;
        default:
            length = static_cast<int32_t>(random() % longestNote);
        }
        pool.lengths.push_back(length);
    }
    return pool;
}

// Which note a voice's sample pointer is, or -1 for none of them.
int NoteOf(const NotePool &pool, const uint8_t *sample) {
    if (sample < pool.bytes.data() || sample >= pool.bytes.data() + noteCount)
        return -1;
    return static_cast<int>(sample - pool.bytes.data());
}

// A mixed block is a sum of voices that each add to a run of leading elements, every value
// small and positive: it can never rise along the block nor go below zero.
bool IsBlockPlausible(const int16_t *values, int count) {
    for (int index = 0; index < count; ++index) {
        if (values[index] < 0 || (index > 0 && values[index] > values[index - 1]))
            return false;
    }
    return true;
}

struct MixerWatch {
    const NotePool *pool;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> passes{0};
    int badBlocks = 0;
    int badVoices = 0;
    std::vector<char> heard;
};

// After a pass: every sounding voice plays a whole note within its bounds; every note that
// sits on a voice has been mixed.
void CheckVoices(MixerWatch &watch) {
    for (int index = 0; index < voiceCount; ++index) {
        Voice &voice = voiceTable[index];
        bool idle = IsVoiceIdle(index);
        const uint8_t *sample = voice.sample.load(std::memory_order_relaxed);
        int32_t length = voice.length.load(std::memory_order_relaxed);
        int32_t position = voice.position.load(std::memory_order_relaxed);
        int note = NoteOf(*watch.pool, sample);
        int32_t expected = note >= 0 ? watch.pool->lengths[note] : 0;
        // An idle voice's fields may be under the main thread's pen right now; one that holds
        // a note played to its end was mixed, though (a note can start and end in one pass).
        if (note >= 0 && (!idle || (position == length && length == expected)))
            watch.heard[note] = 1;
        if (idle)
            continue;
        if (position < 0 || position > length || length != expected ||
            (note < 0 && sample != nullptr))
            ++watch.badVoices;
    }
}

// The mixing side: passes back to back, each checked, until told to stop.
void RunMixer(MixerWatch &watch) {
    int16_t block[audioBlockBytes / 2];
    while (!watch.stop.load(std::memory_order_acquire)) {
        ClearAudioBlock(block);
        MixVoices(block, audioBlockBytes);
        if (!IsBlockPlausible(block, audioBlockBytes / 2) || block[0] > voiceCount * 256)
            ++watch.badBlocks;
        CheckVoices(watch);
        watch.passes.fetch_add(1, std::memory_order_release);
    }
}

// Starts note k of the pool, or the empty sample when k is negative.
void StartNote(const NotePool &pool, int note) {
    if (note < 0)
        StartVoice(nullptr, 0);
    else
        StartVoice(pool.bytes.data() + note, static_cast<uint32_t>(pool.lengths[note]));
}

TEST(AudioStress, HandOverStaysWholeAndLosesNoNote) {
    NotePool pool = MakeNotePool(7);
    MixerWatch watch;
    watch.pool = &pool;
    watch.heard.assign(noteCount, 0);
    SilenceVoices();
    std::thread mixer(RunMixer, std::ref(watch));
    std::mt19937 random(11);

    // Flat out: idle starts, replacements, replacements overwriting replacements, empties.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    uint64_t started = 0;
    while (std::chrono::steady_clock::now() < until) {
        for (int burst = 0; burst < 64; ++burst, ++started)
            StartNote(pool, random() % 16 == 0 ? -1 : static_cast<int>(random() % flatOutNotes));
    }

    // Every note given at least two passes, so none is overwritten before the mixer can take
    // it: then each must be heard, whether the mixer took it or its voice ended first.
    std::vector<char> emptyInstead(noteCount, 0);
    uint64_t passesBefore = watch.passes.load();
    for (int note = flatOutNotes; note < noteCount; ++note) {
        emptyInstead[note] = random() % 16 == 0;
        // A little wait of random length lands the start anywhere in the pass under way.
        for (uint32_t spin = random() % 512; spin > 0; --spin)
            watch.passes.load(std::memory_order_relaxed);
        StartNote(pool, emptyInstead[note] ? -1 : note);
        uint64_t after = watch.passes.load(std::memory_order_acquire) + 2;
        while (watch.passes.load(std::memory_order_acquire) < after)
            std::this_thread::yield();
    }
    watch.stop.store(true, std::memory_order_release);
    mixer.join();
    SilenceVoices();

    EXPECT_GT(started, 1000u);
    EXPECT_GE(watch.passes.load() - passesBefore, 2u * (noteCount - flatOutNotes));
    EXPECT_EQ(watch.badBlocks, 0);
    EXPECT_EQ(watch.badVoices, 0);
    int lost = 0;
    for (int note = flatOutNotes; note < noteCount; ++note) {
        if (!emptyInstead[note] && !watch.heard[note])
            ++lost;
    }
    EXPECT_EQ(lost, 0);
}

std::atomic<int> badQueuedBlocks;

// Runs on the mixing thread as each block is queued; the pause keeps this time-critical
// thread, fed by a device that returns buffers at once, from taking a whole processor.
void CheckQueuedBlock(const int16_t *values, int count) {
    if (!IsBlockPlausible(values, count) || values[0] > voiceCount * 256)
        badQueuedBlocks.fetch_add(1, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::microseconds(20));
}

TEST(AudioStress, MixingThreadWithNotesArrivingFlatOut) {
    NotePool pool = MakeNotePool(5);
    ResetFakeWave();
    SetFakeWaveAutoComplete(true);
    SetFakeWaveQueueHook(CheckQueuedBlock);
    stopRequested.store(0);
    threadFinished.store(0);
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    std::mt19937 random(3);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    while (std::chrono::steady_clock::now() < until)
        StartNote(pool, random() % 16 == 0 ? -1 : static_cast<int>(random() % noteCount));
    CloseAudio();
    EXPECT_EQ(threadFinished.load(), 1);
    EXPECT_FALSE(IsFakeWaveOpen());
    EXPECT_EQ(CountFakeWavePrepared(), 0);
    EXPECT_GT(CountFakeWaveQueued(), 100);
    EXPECT_EQ(badQueuedBlocks.load(), 0);
    SetFakeWaveQueueHook(nullptr);
}

} // namespace
