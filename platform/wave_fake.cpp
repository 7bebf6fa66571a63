#include "platform/wave_fake.h"

#include <cstring>

// One queued block as the device received it.
struct FakeWaveEntry {
    WaveBuffer *buffer;
    int16_t values[fakeWaveBlockValues];
};

// The queueing thread writes the log and then publishes the count; the test reads the count
// first, so the entries it then reads are whole.
static std::atomic<bool> fakeOpen;
static bool failOpen;
static int failPrepareCall;
static int prepareCalls;
static std::atomic<int> preparedCount;
static std::atomic<bool> autoComplete;
static std::atomic<void (*)(const int16_t *, int)> queueHook;
static FakeWaveEntry queueLog[fakeWaveLogSize];
static std::atomic<int> queuedCount;
static int completedCount;

void ResetFakeWave() {
    fakeOpen.store(false);
    failOpen = false;
    failPrepareCall = 0;
    prepareCalls = 0;
    preparedCount.store(0);
    autoComplete.store(false);
    queueHook.store(nullptr);
    queuedCount.store(0);
    completedCount = 0;
}

void FailFakeWaveOpen() {
    failOpen = true;
}

void FailFakeWavePrepare(int call) {
    failPrepareCall = call;
}

void SetFakeWaveAutoComplete(bool on) {
    autoComplete.store(on);
}

void SetFakeWaveQueueHook(void (*hook)(const int16_t *values, int count)) {
    queueHook.store(hook);
}

int CountFakeWaveQueued() {
    return queuedCount.load(std::memory_order_acquire);
}

bool ReadFakeWaveBlock(int index, int16_t values[fakeWaveBlockValues]) {
    if (index < 0 || index >= CountFakeWaveQueued() ||
        index < CountFakeWaveQueued() - fakeWaveLogSize)
        return false;
    std::memcpy(values, queueLog[index % fakeWaveLogSize].values, sizeof queueLog[0].values);
    return true;
}

const WaveBuffer *FindFakeWaveQueued(int index) {
    if (index < 0 || index >= CountFakeWaveQueued())
        return nullptr;
    return queueLog[index % fakeWaveLogSize].buffer;
}

bool CompleteFakeWaveBuffer() {
    if (completedCount >= CountFakeWaveQueued())
        return false;
    queueLog[completedCount % fakeWaveLogSize].buffer->flags.fetch_or(waveBufferDone,
                                                                      std::memory_order_release);
    ++completedCount;
    return true;
}

bool IsFakeWaveOpen() {
    return fakeOpen.load();
}

int CountFakeWavePrepared() {
    return preparedCount.load();
}

const char *GetWaveOutputError() {
    return failOpen ? "the test made opening fail" : "";
}

int OpenWaveOutput(uint16_t, uint32_t) {
    if (failOpen || fakeOpen.load())
        return 1;
    prepareCalls = 0;
    queuedCount.store(0);
    completedCount = 0;
    fakeOpen.store(true);
    return 0;
}

int PrepareWaveBuffer(WaveBuffer *buffer) {
    if (!fakeOpen.load() || ++prepareCalls == failPrepareCall)
        return 1;
    buffer->flags.fetch_or(waveBufferPrepared, std::memory_order_relaxed);
    preparedCount.fetch_add(1);
    return 0;
}

int QueueWaveBuffer(WaveBuffer *buffer) {
    if (!fakeOpen.load() || !(buffer->flags.load() & waveBufferPrepared))
        return 1;
    int index = queuedCount.load(std::memory_order_relaxed);
    FakeWaveEntry &entry = queueLog[index % fakeWaveLogSize];
    entry.buffer = buffer;
    std::memset(entry.values, 0, sizeof entry.values);
    uint32_t bytes = buffer->length < sizeof entry.values ? buffer->length : sizeof entry.values;
    std::memcpy(entry.values, buffer->data, bytes);
    if (void (*hook)(const int16_t *, int) = queueHook.load())
        hook(entry.values, static_cast<int>(bytes / 2));
    queuedCount.store(index + 1, std::memory_order_release);
    if (autoComplete.load())
        buffer->flags.fetch_or(waveBufferDone, std::memory_order_release);
    return 0;
}

void ReleaseWaveBuffer(WaveBuffer *buffer) {
    if (buffer->flags.fetch_and(~waveBufferPrepared) & waveBufferPrepared)
        preparedCount.fetch_sub(1);
}

void CloseWaveOutput() {
    fakeOpen.store(false);
}

uint32_t CountWaveUnderruns() {
    return 0;
}
