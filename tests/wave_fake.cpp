#include "wave_fake.h"

#include <cstring>
#include <memory>

FakeWave fakeWave;

void ResetFakeWave() {
    std::destroy_at(&fakeWave);
    std::construct_at(&fakeWave); // every field zero
}

bool CompleteFakeWaveBuffer() {
    int index = fakeWave.completed;
    if (index >= fakeWave.queued.load(std::memory_order_acquire) || index >= fakeWaveLogSize)
        return false;
    const_cast<WaveBuffer *>(fakeWave.buffers[index])->flags.fetch_or(waveBufferDone);
    ++fakeWave.completed;
    return true;
}

const char *GetWaveOutputError() {
    return fakeWave.failOpen ? "the test made opening fail" : "";
}

int OpenWaveOutput(uint16_t, uint32_t) {
    if (fakeWave.failOpen)
        return 1;
    fakeWave.open = true;
    return 0;
}

int PrepareWaveBuffer(WaveBuffer *buffer) {
    if (--fakeWave.failPrepareCall == 0)
        return 1;
    buffer->flags.fetch_or(waveBufferPrepared);
    ++fakeWave.prepared;
    return 0;
}

int QueueWaveBuffer(WaveBuffer *buffer) {
    int index = fakeWave.queued.load(std::memory_order_relaxed);
    if (index < fakeWaveLogSize) {
        fakeWave.buffers[index] = buffer;
        std::memcpy(fakeWave.blocks[index], buffer->data, sizeof fakeWave.blocks[index]);
    }
    if (fakeWave.onQueued)
        fakeWave.onQueued(index);
    fakeWave.queued.store(index + 1, std::memory_order_release);
    return 0;
}

void ReleaseWaveBuffer(WaveBuffer *buffer) {
    if (buffer->flags.fetch_and(~waveBufferPrepared) & waveBufferPrepared)
        --fakeWave.prepared;
}

void CloseWaveOutput() {
    fakeWave.open = false;
}

void ServeWaveOutput() {}
