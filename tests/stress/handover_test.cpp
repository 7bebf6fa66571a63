// This thread starts notes as fast as it can while another mixes pass after pass, as the
// touch handling and the mixing thread do. After every pass each sounding voice must hold a
// whole note (its pointer's own length, a position within it), and a note given two passes
// must have been heard. Built with ThreadSanitizer, any unordered access fails too.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "audio/voices.h"

namespace {

constexpr int noteCount = 20000, flatOutStarts = 200000;

// Note k starts k bytes into one pool, so its pointer names it. From an even byte every value
// is 4, from an odd one 1024: small and positive either way.
struct Pool {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(noteCount + 64 * 1024 + 2, 0);
    std::vector<int32_t> lengths;
} pool;

struct Watch {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> passes{0};
    int torn = 0, badBlocks = 0;
    std::vector<char> heard = std::vector<char>(noteCount, 0);
};

void Mix(Watch &watch) {
    int16_t block[audioBlockBytes / 2];
    while (!watch.stop.load(std::memory_order_acquire)) {
        ClearAudioBlock(block);
        MixVoices(block, audioBlockBytes);
        // Every voice adds to a run of leading values, so the block never rises along its length.
        watch.badBlocks += block[0] > voiceCount * 256;
        for (int index = 1; index < audioBlockBytes / 2; ++index)
            watch.badBlocks += block[index] < 0 || block[index] > block[index - 1];
        for (int voice = 0; voice < voiceCount; ++voice) {
            bool idle = IsVoiceIdle(voice);
            const uint8_t *sample = voiceTable[voice].sample.load(std::memory_order_relaxed);
            int32_t length = voiceTable[voice].length.load(std::memory_order_relaxed);
            int32_t position = voiceTable[voice].position.load(std::memory_order_relaxed);
            long note = sample ? sample - pool.bytes.data() : -1;
            bool known = note >= 0 && note < noteCount;
            // A note can start and end within one pass; then it was played to its end.
            if (known && (!idle || (position == length && length == pool.lengths[note])))
                watch.heard[note] = 1;
            if (!idle && (known ? length != pool.lengths[note] || position < 0 || position > length
                                : sample != nullptr))
                ++watch.torn;
        }
        watch.passes.fetch_add(1, std::memory_order_release);
    }
}

// Starts note k, or the empty sample for -1.
void Start(int note) {
    StartVoice(note < 0 ? nullptr : pool.bytes.data() + note, note < 0 ? 0 : pool.lengths[note]);
}

TEST(Stress, HandOverStaysWholeAndLosesNoNote) {
    for (size_t index = 0; index < pool.bytes.size(); index += 2)
        pool.bytes[index] = 4;
    std::mt19937 random(7);
    for (int note = 0; note < noteCount; ++note) {
        int kind = random() % 4;
        pool.lengths.push_back(kind == 0   ? int32_t(1 + random() % 40) * audioBlockBytes
                               : kind == 1 ? int32_t(random() % 1100)
                                           : int32_t(random() % (64 * 1024)));
    }
    SilenceVoices();
    Watch watch;
    std::thread mixer(Mix, std::ref(watch));
    // Flat out: idle starts, replacements, replacements of replacements, empty samples.
    for (int start = 0; start < flatOutStarts; ++start)
        Start(random() % 16 == 0 ? -1 : int(random() % (noteCount / 2)));
    // Each of these notes gets two passes before the next, so none is overwritten unheard.
    std::vector<char> empty(noteCount, 0);
    for (int note = noteCount / 2; note < noteCount; ++note) {
        empty[note] = random() % 16 == 0;
        // A spin of random length lands the start anywhere in the pass under way.
        for (uint32_t spin = random() % 512; spin > 0; --spin)
            watch.passes.load(std::memory_order_relaxed);
        Start(empty[note] ? -1 : note);
        for (uint64_t until = watch.passes.load(std::memory_order_acquire) + 2;
             watch.passes.load(std::memory_order_acquire) < until;)
            std::this_thread::yield();
    }
    watch.stop.store(true, std::memory_order_release);
    mixer.join();
    SilenceVoices();
    EXPECT_EQ(watch.torn, 0);
    EXPECT_EQ(watch.badBlocks, 0);
    int lost = 0;
    for (int note = noteCount / 2; note < noteCount; ++note)
        lost += !empty[note] && !watch.heard[note];
    EXPECT_EQ(lost, 0);
}

} // namespace
