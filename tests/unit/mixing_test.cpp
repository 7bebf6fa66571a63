// The mixing thread on the fake sound device, which hands a buffer back only when told to.
// Every wait here is for a state the device or the thread reaches.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "audio/mixing.h"
#include "audio/voices.h"
#include "wave_fake.h"

namespace {

using Block = std::vector<int16_t>;

// The note the device hook starts as the first block is queued, just before the next pass.
std::vector<uint8_t> firstNote;

void StartFirstNote(int index) {
    if (index == 0)
        StartVoice(firstNote.data(), uint32_t(firstNote.size()));
}

// Hands buffers back as the device would play them until count blocks have been queued.
void PlayUntilQueued(int count) {
    while (fakeWave.queued.load() < count)
        if (!CompleteFakeWaveBuffer())
            std::this_thread::yield();
}

// Closes the audio while the device keeps playing whatever it is given.
void CloseWhilePlaying() {
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        CloseAudio();
        closed = true;
    });
    while (!closed)
        if (!CompleteFakeWaveBuffer())
            std::this_thread::yield();
    closer.join();
}

bool HoldsRamp(int index, int first) {
    for (int value = 0; value < 512; ++value)
        if (fakeWave.blocks[index][value] != first + value)
            return false;
    return true;
}

class MixingThread : public testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWave();
        fakeWave.onQueued = StartFirstNote;
        stopRequested = 0;
        threadFinished = 0;
    }
};

TEST_F(MixingThread, NoteStartedBeforeAPassGoesOutInTheNextBlockQueued) {
    // Values 4k: at quarter gain, value k of the note.
    firstNote.clear();
    for (int value = 0; value < 2048; ++value)
        firstNote.insert(firstNote.end(), {uint8_t(4 * value), uint8_t((4 * value) >> 8)});
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    PlayUntilQueued(4);
    EXPECT_EQ(Block(fakeWave.blocks[0], fakeWave.blocks[0] + 512), Block(512, 0));
    EXPECT_TRUE(HoldsRamp(1, 0)) << "from its first value, in the first B block";
    EXPECT_TRUE(HoldsRamp(2, 512));
    EXPECT_TRUE(HoldsRamp(3, 1024));
    EXPECT_NE(fakeWave.buffers[0], fakeWave.buffers[1]);
    EXPECT_EQ(fakeWave.buffers[0], fakeWave.buffers[2]);
    EXPECT_EQ(fakeWave.buffers[1], fakeWave.buffers[3]);
    CloseWhilePlaying();
    EXPECT_FALSE(fakeWave.open);
    EXPECT_EQ(fakeWave.prepared, 0);
}

TEST_F(MixingThread, CloseLetsMixedBlocksOutFadesTheLastAndWaitsForThePlayOut) {
    // A level of 40, heard as 10.
    firstNote.assign(200 * 1024, 0);
    for (size_t index = 0; index < firstNote.size(); index += 2)
        firstNote[index] = 40;
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    PlayUntilQueued(3);
    CloseWhilePlaying();
    EXPECT_FALSE(CompleteFakeWaveBuffer()) << "closed while the device still held a buffer";
    int last = fakeWave.queued - 1;
    ASSERT_GE(last, 3);
    for (int index = 1; index < last; ++index)
        EXPECT_EQ(Block(fakeWave.blocks[index], fakeWave.blocks[index] + 512), Block(512, 10));
    // Ringing notes end in one block faded to silence rather than stop dead.
    EXPECT_EQ(fakeWave.blocks[last][0], 10);
    EXPECT_EQ(fakeWave.blocks[last][511], 0);
    for (int value = 1; value < 512; ++value)
        EXPECT_LE(fakeWave.blocks[last][value], fakeWave.blocks[last][value - 1]);
    EXPECT_EQ(threadFinished, 1);
    EXPECT_FALSE(fakeWave.open);
    EXPECT_EQ(fakeWave.prepared, 0);
}

TEST_F(MixingThread, StopRequestedBeforeTheThreadRunsQueuesNothing) {
    stopRequested = 1;
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    while (!threadFinished)
        std::this_thread::yield();
    EXPECT_EQ(fakeWave.queued, 0);
    CloseAudio();
    EXPECT_FALSE(fakeWave.open);
}

TEST_F(MixingThread, CloseReturnsWhenTheDeviceNeverHandsABufferBack) {
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    while (fakeWave.queued < 2)
        std::this_thread::yield();
    CloseAudio();
    EXPECT_EQ(fakeWave.queued, 2);
    EXPECT_EQ(threadFinished, 1);
    EXPECT_FALSE(fakeWave.open);
    EXPECT_EQ(fakeWave.prepared, 0);
}

TEST_F(MixingThread, FailedOpenLeavesNothingOpenAndStartsNoThread) {
    const struct {
        const char *what;
        bool failOpen;
        int failPrepareCall;
        uint32_t bufferBytes;
    } rows[] = {
        {"no device", true, 0, 1024},
        {"first buffer refused", false, 1, 1024},
        {"second buffer refused", false, 2, 1024},
        {"a buffer size the blocks do not have", false, 0, 2048},
    };
    auto threads = [] {
        auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        ResetFakeWave();
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
