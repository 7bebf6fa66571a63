// The mixing rule written the plain way, one value at a time with a real division, for the
// tests and the benchmark to hold the fast mixer against.
#pragma once

#include <cstdint>

struct ReferenceVoice {
    const uint8_t *sample;
    int32_t length;
    int32_t position;
    bool idle;
};

// Adds one value at a quarter of its level, rounded toward zero, clipped to 16 bits.
inline int16_t ReferenceAddQuarter(int16_t destination, int16_t value) {
    int32_t sum = destination + value / 4;
    if (sum > 32767)
        return 32767;
    if (sum < -32768)
        return -32768;
    return static_cast<int16_t>(sum);
}

// Reads the index-th little-endian 16-bit value of a sample.
inline int16_t ReferenceValue(const uint8_t *sample, int32_t index) {
    return static_cast<int16_t>(sample[2 * index] | sample[2 * index + 1] << 8);
}

// One pass of the mixer over the given voices, in index order.
inline void ReferenceMix(int16_t *buffer, int32_t bytes, ReferenceVoice *voices, int count) {
    for (int index = 0; index < count; ++index) {
        ReferenceVoice &voice = voices[index];
        if (voice.idle)
            continue;
        int32_t left = voice.length - voice.position;
        int32_t values = bytes < left ? bytes / 2 : left / 2;
        for (int32_t value = 0; value < values; ++value) {
            int16_t sample = ReferenceValue(voice.sample + voice.position, value);
            buffer[value] = ReferenceAddQuarter(buffer[value], sample);
        }
        if (bytes < left) {
            voice.position += bytes;
        } else {
            voice.position = voice.length;
            voice.idle = true;
        }
    }
}
