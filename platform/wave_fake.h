// A sound device for tests, linked in place of the real one: it records every block queued
// on it and hands buffers back only when the test says so (or at once, when told to).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// How many of the latest queued blocks the device keeps.
inline constexpr int fakeWaveLogSize = 64;
inline constexpr int fakeWaveBlockValues = 512;

// Closes the device and forgets every block, failure and setting.
void ResetFakeWave();

// Makes the next OpenWaveOutput fail.
void FailFakeWaveOpen();

// Makes the given PrepareWaveBuffer call after opening fail (1 for the first).
void FailFakeWavePrepare(int call);

// With on, every queued buffer is handed back as soon as it is queued.
void SetFakeWaveAutoComplete(bool on);

// Called on the queueing thread with each block as it is queued (null for none).
void SetFakeWaveQueueHook(void (*hook)(const int16_t *values, int count));

// Blocks queued since the device was opened.
int CountFakeWaveQueued();

// Copies the index-th block queued (counted from 0) into values; false if not kept.
bool ReadFakeWaveBlock(int index, int16_t values[fakeWaveBlockValues]);

// The buffer that the index-th queueing handed over.
const WaveBuffer *FindFakeWaveQueued(int index);

// Hands back the oldest buffer still held; false if the device holds none.
bool CompleteFakeWaveBuffer();

// True between a successful open and the close.
bool IsFakeWaveOpen();

// Buffers prepared and not released.
int CountFakeWavePrepared();
