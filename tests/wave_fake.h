// A sound device for the tests, linked in place of the real one: it keeps every block queued on
// it and hands a buffer back only when the test says so.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

inline constexpr int fakeWaveLogSize = 64;

struct FakeWave {
    bool failOpen;
    int failPrepareCall;         // PrepareWaveBuffer calls to go until one fails; 0 for none
    void (*onQueued)(int index); // called on the queueing thread once a block is logged
    std::atomic<bool> open;
    std::atomic<int> prepared;
    std::atomic<int> queued; // published after the block is logged
    int completed;
    const WaveBuffer *buffers[fakeWaveLogSize];
    int16_t blocks[fakeWaveLogSize][512];
};

extern FakeWave fakeWave;

// Closes the device and forgets every block, failure and hook.
void ResetFakeWave();

// Hands back the oldest buffer the device still holds; false if it holds none.
bool CompleteFakeWaveBuffer();
