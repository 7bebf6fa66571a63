#include "audio/mixing.h"

#include "audio/voices.h"
#include "platform/platform.h"

std::atomic<uint8_t> stopRequested;
std::atomic<uint8_t> threadFinished;

static constexpr int blockValues = audioBlockBytes / 2;

// A healthy device hands a buffer back within two buffer periods (about 46 ms); these bounds
// only matter when it has stalled, and then end the waits instead of hanging the program.
// How long the thread still waits for a buffer once a stop is requested.
static constexpr uint32_t stopWaitMilliseconds = 200;
// How long CloseAudio waits for the thread to play out and finish.
static constexpr uint32_t finishWaitMilliseconds = 1000;

// Fixed arrays rather than heap blocks: the engine opens once, and they cannot fail.
alignas(16) static int16_t mixBufferData[2][blockValues];
alignas(16) static int16_t stagingBuffers[2][blockValues];
static WaveBuffer mixBuffers[2];

// True while the buffer is back from the device.
static bool IsBufferDone(const WaveBuffer &buffer) {
    return (buffer.flags.load(std::memory_order_acquire) & waveBufferDone) != 0;
}

// Waits for the device to hand a buffer back, serving it at each look; false if, after a stop
// was requested, it has not done so within the bound.
static bool WaitForBuffer(const WaveBuffer &buffer) {
    uint32_t waitedSinceStop = 0;
    for (;;) {
        ServeWaveOutput();
        if (IsBufferDone(buffer))
            return true;
        if (stopRequested.load(std::memory_order_acquire) &&
            waitedSinceStop++ >= stopWaitMilliseconds)
            return false;
        SleepMilliseconds(1);
    }
}

// Fills a returned buffer with the block staged for it and queues it again at once.
static void RequeueBuffer(WaveBuffer &buffer, const int16_t *staged) {
    buffer.flags.fetch_and(~waveBufferDone, std::memory_order_relaxed);
    CopyAudioBlock(buffer.data, staged);
    QueueWaveBuffer(&buffer);
}

// Mixes the voices' next block into a cleared staging buffer.
static void MixBlock(int16_t *staging) {
    ClearAudioBlock(staging);
    MixVoices(staging, audioBlockBytes);
}

// Fades a block linearly to silence, so that the sound stops without a click.
static void FadeOutBlock(int16_t *block) {
    for (int index = 0; index < blockValues; ++index)
        block[index] =
            static_cast<int16_t>(block[index] * (blockValues - 1 - index) / (blockValues - 1));
}

// Keeps both buffers queued until a stop is requested; false if the device stalled.
static bool RunMixingCycles() {
    do {
        if (!WaitForBuffer(mixBuffers[0]))
            return false;
        RequeueBuffer(mixBuffers[0], stagingBuffers[0]);
        MixBlock(stagingBuffers[1]);
        if (!WaitForBuffer(mixBuffers[1]))
            return false;
        RequeueBuffer(mixBuffers[1], stagingBuffers[1]);
        MixBlock(stagingBuffers[0]);
    } while (!stopRequested.load(std::memory_order_acquire));
    return true;
}

void AudioThread(void *) {
    ClearAudioBlock(stagingBuffers[0]);
    ClearAudioBlock(stagingBuffers[1]);
    mixBuffers[0].flags.fetch_or(waveBufferDone, std::memory_order_relaxed);
    mixBuffers[1].flags.fetch_or(waveBufferDone, std::memory_order_relaxed);
    // Notes still ringing at a stop would end abruptly with the last block queued, which is
    // heard as a click: the block that follows it goes out faded to silence, and is the last.
    // The device is closed once both buffers have played out.
    if (!stopRequested.load(std::memory_order_acquire) && RunMixingCycles() &&
        WaitForBuffer(mixBuffers[0])) {
        FadeOutBlock(stagingBuffers[0]);
        RequeueBuffer(mixBuffers[0], stagingBuffers[0]);
        if (WaitForBuffer(mixBuffers[1]))
            WaitForBuffer(mixBuffers[0]);
    }
    threadFinished.store(1, std::memory_order_release);
}

// Releases both buffers and closes the device.
static void CloseDevice() {
    ReleaseWaveBuffer(&mixBuffers[0]);
    ReleaseWaveBuffer(&mixBuffers[1]);
    CloseWaveOutput();
}

int OpenAudio(uint16_t channels, uint32_t samplesPerSecond, uint32_t bufferBytes) {
    // The blocks are fixed arrays, and the copy and the mixer's pacing assume this size.
    if (bufferBytes != audioBlockBytes)
        return 0;
    if (OpenWaveOutput(channels, samplesPerSecond) != 0)
        return 0;
    for (int index = 0; index < 2; ++index) {
        WaveBuffer &buffer = mixBuffers[index];
        ClearAudioBlock(mixBufferData[index]);
        buffer.data = mixBufferData[index];
        buffer.length = bufferBytes;
        buffer.flags.store(waveBufferDone, std::memory_order_relaxed);
        if (PrepareWaveBuffer(&buffer) != 0) {
            CloseDevice();
            return 0;
        }
    }
    SilenceVoices();
    if (!StartTimeCriticalThread(AudioThread, nullptr)) {
        CloseDevice();
        return 0;
    }
    return 1;
}

// Polls a condition every millisecond, at most about the given time; true if it came about.
static bool WaitUntil(bool (*condition)(), uint32_t milliseconds) {
    for (uint32_t waited = 0; !condition(); ++waited) {
        if (waited >= milliseconds)
            return false;
        SleepMilliseconds(1);
    }
    return true;
}

// True once the mixing thread has made its last store.
static bool IsThreadFinished() {
    return threadFinished.load(std::memory_order_acquire) != 0;
}

void CloseAudio() {
    stopRequested.store(1, std::memory_order_release);
    // A thread not finished by then is held inside a stalled device, which only it may touch:
    // both are left to the end of the process.
    if (!WaitUntil(IsThreadFinished, finishWaitMilliseconds))
        return;
    // Only now: the thread fades out what is still ringing rather than cutting it off.
    SilenceVoices();
    CloseDevice();
}
