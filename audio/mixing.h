// The mixing thread: keeps two 1024-byte buffers queued on the sound device, each filled with
// the block mixed one step earlier from the voices.
#pragma once

#include <atomic>
#include <cstdint>

// Set by CloseAudio; the mixing thread looks at it once per cycle of two buffers and while it
// waits for the device. Never reset by the program: the engine opens once per process.
extern std::atomic<uint8_t> stopRequested;

// The mixing thread's last store before it ends.
extern std::atomic<uint8_t> threadFinished;

// Opens the sound device, prepares both buffers and starts the mixing thread: 1 on success,
// 0 with nothing left open and no thread running. bufferBytes must be 1024.
int OpenAudio(uint16_t channels, uint32_t samplesPerSecond, uint32_t bufferBytes);

// The mixing thread's routine; its parameter is ignored.
void AudioThread(void *parameter);

// Stops the mixing thread, lets the device play out what was queued and closes it. Every wait
// is bounded, so a stalled device delays it but never holds it.
void CloseAudio();
