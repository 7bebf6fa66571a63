#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "audio/mixing.h"
#include "audio/voices.h"
#include "platform/wave_fake.h"

namespace {

using Block = std::vector<int16_t>;
using std::chrono::milliseconds;

// Polls until the condition holds or a generous time has passed; true if it held.
template <typename Condition> bool Eventually(Condition condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

Block QueuedBlock(int index) {
    Block block(fakeWaveBlockValues);
    EXPECT_TRUE(ReadFakeWaveBlock(index, block.data())) << "block " << index;
    return block;
}

// Waits for the index-th block, then long enough for the thread's pass after it to be over.
void AwaitQueued(int index) {
    ASSERT_TRUE(Eventually([&] { return CountFakeWaveQueued() > index; })) << "block " << index;
    // The pass takes microseconds on a time-critical thread; this leaves a wide margin.
    std::this_thread::sleep_for(milliseconds(30));
}

class MixingThread : public testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWave();
        stopRequested.store(0);
        threadFinished.store(0);
    }
    void TearDown() override {
        ResetFakeWave();
    }
};

// A ramp of values 4k: at quarter gain, value k of the note.
std::vector<uint8_t> RampNote(int values) {
    std::vector<uint8_t> note(2 * values);
    for (int index = 0; index < values; ++index) {
        note[2 * index] = static_cast<uint8_t>((4 * index) & 0xff);
        note[2 * index + 1] = static_cast<uint8_t>((4 * index) >> 8);
    }
    return note;
}

// True if the block holds the ramp's values from first on.
bool HoldsRamp(const Block &block, int first) {
    for (int index = 0; index < 512; ++index) {
        if (block[index] != first + index)
            return false;
    }
    return true;
}

TEST_F(MixingThread, NoteIsHeardInTheSecondBufferQueuedAfterItsStart) {
    std::vector<uint8_t> note = RampNote(2048);
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    EXPECT_TRUE(IsFakeWaveOpen());
    EXPECT_EQ(CountFakeWavePrepared(), 2);
    // A note started at once still misses the first A block, which goes out silent. The
    // thread may be one or two passes ahead of the start, so the note begins in block 1, 2
    // or 3.
    StartVoice(note.data(), static_cast<uint32_t>(note.size()));
    AwaitQueued(1);
    EXPECT_NE(FindFakeWaveQueued(0), FindFakeWaveQueued(1));
    EXPECT_EQ(QueuedBlock(0), Block(512, 0));
    for (int next = 2; next <= 4; ++next) {
        ASSERT_TRUE(CompleteFakeWaveBuffer());
        AwaitQueued(next);
    }
    int first = 1;
    while (first < 3 && !HoldsRamp(QueuedBlock(first), 0))
        ++first;
    EXPECT_TRUE(HoldsRamp(QueuedBlock(first), 0));
    EXPECT_TRUE(HoldsRamp(QueuedBlock(first + 1), 512));

    // Started between passes, a note goes out in the second buffer queued after it.
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        // Let out what was mixed before the silence.
        SilenceVoices();
        int after = CountFakeWaveQueued();
        ASSERT_TRUE(CompleteFakeWaveBuffer());
        AwaitQueued(after);
        StartVoice(note.data(), static_cast<uint32_t>(note.size()));
        for (int next = after + 1; next <= after + 3; ++next) {
            ASSERT_TRUE(CompleteFakeWaveBuffer());
            AwaitQueued(next);
        }
        EXPECT_EQ(QueuedBlock(after + 1), Block(512, 0)) << "not yet in the first";
        EXPECT_TRUE(HoldsRamp(QueuedBlock(after + 2), 0)) << "from its first value";
        EXPECT_TRUE(HoldsRamp(QueuedBlock(after + 3), 512));
        // The device gets A and B in turn.
        EXPECT_EQ(FindFakeWaveQueued(after + 3), FindFakeWaveQueued(after + 1));
        EXPECT_NE(FindFakeWaveQueued(after + 3), FindFakeWaveQueued(after + 2));
    }
    CloseAudio();
    EXPECT_FALSE(IsFakeWaveOpen());
    EXPECT_EQ(CountFakeWavePrepared(), 0);
}

TEST_F(MixingThread, CloseLetsMixedBlocksOutAndWaitsForThePlayOut) {
    std::vector<uint8_t> note(200 * 1024, 0);
    for (size_t index = 0; index < note.size(); index += 2)
        note[index] = 40; // every value 40: 10 at quarter gain
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    AwaitQueued(1);
    StartVoice(note.data(), static_cast<uint32_t>(note.size()));
    for (int next = 2; next <= 4; ++next) {
        ASSERT_TRUE(CompleteFakeWaveBuffer());
        AwaitQueued(next);
    }
    // Between passes now: block 5 is already mixed with the note, in its staging buffer.
    auto closing = std::async(std::launch::async, CloseAudio);
    // The device plays a buffer every 30 ms meanwhile.
    int completed = 0;
    while (closing.wait_for(milliseconds(30)) != std::future_status::ready) {
        if (CompleteFakeWaveBuffer()) {
            ASSERT_LT(++completed, 10);
        }
    }
    // Nothing queued was still held by the device when CloseAudio returned.
    EXPECT_FALSE(CompleteFakeWaveBuffer());
    // The note plays on to the end of the thread's cycle, then fades out in one last block
    // instead of stopping dead, which would click.
    int queued = CountFakeWaveQueued();
    ASSERT_GE(queued, 7);
    EXPECT_EQ(QueuedBlock(4)[0], 10);
    for (int index = 5; index < queued - 1; ++index)
        EXPECT_EQ(QueuedBlock(index), Block(512, 10)) << "block " << index;
    Block last = QueuedBlock(queued - 1);
    EXPECT_EQ(last.front(), 10);
    EXPECT_EQ(last.back(), 0);
    for (int index = 1; index < 512; ++index)
        EXPECT_LE(last[index], last[index - 1]) << index;
    EXPECT_EQ(threadFinished.load(), 1);
    EXPECT_FALSE(IsFakeWaveOpen());
}

TEST_F(MixingThread, StopRequestedBeforeTheThreadRunsQueuesNothing) {
    stopRequested.store(1);
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    ASSERT_TRUE(Eventually([] { return threadFinished.load() == 1; }));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(CountFakeWaveQueued(), 0);
    CloseAudio();
    EXPECT_FALSE(IsFakeWaveOpen());
    EXPECT_EQ(CountFakeWavePrepared(), 0);
}

TEST_F(MixingThread, CloseReturnsWhenTheDeviceNeverHandsBuffersBack) {
    ASSERT_EQ(OpenAudio(1, 22050, 1024), 1);
    AwaitQueued(1);
    auto closing = std::async(std::launch::async, CloseAudio);
    // Its own bound is well under a second; this only tells a bounded wait from a hang.
    ASSERT_EQ(closing.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(CountFakeWaveQueued(), 2);
    EXPECT_EQ(threadFinished.load(), 1);
    EXPECT_FALSE(IsFakeWaveOpen());
    EXPECT_EQ(CountFakeWavePrepared(), 0);
}

struct OpenFailureCase {
    const char *what;
    void (*arrange)();
    uint32_t bufferBytes;
};

TEST_F(MixingThread, FailedOpenLeavesNothingOpenAndNoThread) {
    const std::vector<OpenFailureCase> cases = {
        {"no device", [] { FailFakeWaveOpen(); }, 1024},
        {"first buffer refused", [] { FailFakeWavePrepare(1); }, 1024},
        {"second buffer refused", [] { FailFakeWavePrepare(2); }, 1024},
        {"a buffer size the blocks do not have", [] {}, 2048},
    };
    for (const OpenFailureCase &c : cases) {
        SCOPED_TRACE(c.what);
        ResetFakeWave();
        // A thread started by mistake would end at once and say so.
        stopRequested.store(1);
        threadFinished.store(0);
        c.arrange();
        EXPECT_EQ(OpenAudio(1, 22050, c.bufferBytes), 0);
        EXPECT_FALSE(IsFakeWaveOpen());
        EXPECT_EQ(CountFakeWavePrepared(), 0);
        std::this_thread::sleep_for(milliseconds(50));
        EXPECT_EQ(threadFinished.load(), 0);
    }
}

} // namespace
