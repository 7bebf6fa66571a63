// The mixing thread on the fake sound device, which hands a buffer back only when told to.
// Every wait here is for a state the device or the thread reaches.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <thread>

#include "audio/mixing.h"
#include "audio/voices.h"
#include "wave_fake.h"

namespace {

using Block = std::vector<int16_t>;

// Started by the device as it takes the first block, just before the thread's next pass.
std::vector<uint8_t> firstNote;
void StartFirstNote(int index) {
    if (index == 0)
        StartVoice(firstNote.data(), uint32_t(firstNote.size()));
}

// The device plays whatever it holds until count blocks have been queued, or until close.
void PlayUntil(int count, const std::atomic<bool> *closed = nullptr) {
    while (fakeWave.queued < count && !(closed && *closed))
        if (!CompleteFakeWaveBuffer())
            std::this_thread::yield();
}
void CloseWhilePlaying() {
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        CloseAudio();
        closed = true;
    });
    PlayUntil(fakeWaveLogSize, &closed);
    closer.join();
    EXPECT_FALSE(CompleteFakeWaveBuffer()) << "closed while the device still held a buffer";
    EXPECT_EQ(threadFinished, 1);
    EXPECT_FALSE(fakeWave.open);
    EXPECT_EQ(fakeWave.prepared, 0);
}

Block Queued(int index) {
    return Block(fakeWave.blocks[index], fakeWave.blocks[index] + 512);
}

// Opens the sound output on a fresh device that starts firstNote as it takes the first block.
int OpenWithFirstNote() {
    ResetFakeWave();
    fakeWave.onQueued = StartFirstNote;
    stopRequested = threadFinished = 0;
    return OpenAudio(1, 22050, 1024);
}

TEST(MixingThread, NoteStartedBeforeAPassGoesOutInTheNextBlock) {
    // Values 4k: at quarter gain, value k of the note.
    for (int value = 0; value < 2048; ++value)
        firstNote.insert(firstNote.end(), {uint8_t(4 * value), uint8_t((4 * value) >> 8)});
    ASSERT_EQ(OpenWithFirstNote(), 1);
    PlayUntil(4);
    Block ramp(1536);
    std::iota(ramp.begin(), ramp.end(), 0);
    EXPECT_EQ(Queued(0), Block(512, 0));
    for (int index = 1; index < 4; ++index)
        EXPECT_EQ(Queued(index), Block(&ramp[512 * (index - 1)], &ramp[512 * index])) << index;
    // The device gets the two buffers in turn.
    EXPECT_NE(fakeWave.buffers[0], fakeWave.buffers[1]);
    EXPECT_EQ(fakeWave.buffers[0], fakeWave.buffers[2]);
    EXPECT_EQ(fakeWave.buffers[1], fakeWave.buffers[3]);
    CloseWhilePlaying();
}

TEST(MixingThread, CloseLetsTheMixedBlocksOutThenFadesToSilence) {
    const int16_t level = 8000; // a full-scale note, at quarter gain
    firstNote.assign(200 * 1024, 0);
    for (size_t index = 0; index < firstNote.size(); index += 2)
        firstNote[index + 1] = 4 * level >> 8;
    ASSERT_EQ(OpenWithFirstNote(), 1);
    PlayUntil(3);
    CloseWhilePlaying();
    int last = fakeWave.queued - 1;
    ASSERT_GE(last, 3);
    for (int index = 1; index < last; ++index)
        EXPECT_EQ(Queued(index), Block(512, level)) << index;
    // Ringing notes end in one block that falls evenly to silence rather than stop dead: from
    // the note's level to 0 in steps of at most two 512ths of it.
    Block fade = Queued(last);
    EXPECT_EQ(fade.back(), 0);
    fade.insert(fade.begin(), level);
    std::adjacent_difference(fade.begin(), fade.end(), fade.begin());
    for (int step : Block(fade.begin() + 1, fade.end()))
        ASSERT_TRUE(step <= 0 && step >= -2 * level / 512) << step;
}

TEST(MixingThread, FailedOpenLeavesNothingOpenAndStartsNoThread) {
    const struct {
        bool failOpen;
        int failPrepareCall;
        uint32_t bufferBytes;
    } rows[] = {{true, 0, 1024}, {false, 1, 1024}, {false, 2, 1024}, {false, 0, 2048}};
    auto threads = [] {
        auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(&row - rows);
        ResetFakeWave();
        stopRequested = threadFinished = 0; // a thread started wrongly would stay and be counted
        fakeWave.failOpen = row.failOpen;
        fakeWave.failPrepareCall = row.failPrepareCall;
        auto before = threads();
        EXPECT_EQ(OpenAudio(1, 22050, row.bufferBytes), 0);
        EXPECT_EQ(threads(), before);
        EXPECT_FALSE(fakeWave.open);
        EXPECT_EQ(fakeWave.prepared, 0);
    }
}

} // namespace
