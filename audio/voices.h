// Eight one-shot playback voices and the mixer that adds them, at a quarter of their level,
// into 16-bit blocks. The main thread starts notes; the mixing thread mixes. They share the
// VoiceTable without a lock: every shared field is atomic, and each side keeps to the fields
// and orders described beside the Voice record.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr int voiceCount = 8;
inline constexpr int audioBlockBytes = 1024;

// Bit 0 of Voice::handOver: the voice is free and is not mixed.
inline constexpr uint32_t voiceIdleBit = 1;
// The rest of handOver counts writes of the pending pair: odd while one is under way.
inline constexpr uint32_t voiceSequenceStep = 2;

// One playback slot.
//
// sample, length, position: written by the main thread only while the voice is idle, before
// it publishes the start by a release store of handOver; written by the mixer only while the
// voice sounds.
// pendingSample, pendingLength: written by the main thread only, between two steps of the
// sequence in handOver; the mixer takes the pair only when the sequence was even and unchanged
// around its reads, and remembers privately which sequence it took, so it never writes the
// pair back.
// handOver: the idle bit and the pending sequence in one word, so that the mixer can end a
// voice only if no replacement arrived during its pass (one compare-and-swap).
struct Voice {
    std::atomic<const uint8_t *> sample;
    std::atomic<int32_t> length;
    std::atomic<int32_t> position;
    std::atomic<const uint8_t *> pendingSample;
    std::atomic<int32_t> pendingLength;
    std::atomic<uint32_t> handOver;
};

extern Voice voiceTable[voiceCount];

// Plays a sample once from its first byte on the first idle voice, or, with all eight
// sounding, in place of the one nearest its end from the mixer's next pass. Main thread only.
void StartVoice(const uint8_t *sample, uint32_t length);

// Adds every sounding voice at quarter gain into buffer (bytes / 2 values), saturating after
// each voice, and advances the voices. Mixing thread only.
void MixVoices(int16_t *buffer, int32_t bytes);

// Marks all eight voices idle and changes nothing else. Only while no pass runs, or when no
// StartVoice follows until the mixer has stopped.
void SilenceVoices();

// True while the voice is free.
inline bool IsVoiceIdle(int index) {
    return (voiceTable[index].handOver.load(std::memory_order_acquire) & voiceIdleBit) != 0;
}

// Copies one 1024-byte audio block.
void CopyAudioBlock(void *destination, const void *source);

// Sets one 1024-byte audio block to silence.
void ClearAudioBlock(void *buffer);
