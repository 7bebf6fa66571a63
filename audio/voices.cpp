#include "audio/voices.h"

#include <climits>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

Voice voiceTable[voiceCount];

// The pending sequence each voice's pair was last taken at: the mixer's own memory, so that
// it never has to write the main thread's fields back.
static uint32_t takenSequence[voiceCount];

// The first idle voice in index order, or -1 when all eight sound.
static int FindIdleVoice() {
    for (int index = 0; index < voiceCount; ++index) {
        if (IsVoiceIdle(index))
            return index;
    }
    return -1;
}

// Starts a sample on a voice that is idle; the mixer sees all of it from its next pass on.
static void StartIdleVoice(int index, const uint8_t *sample, int32_t length) {
    Voice &voice = voiceTable[index];
    // Only this thread writes an idle voice, so the word cannot change under us here.
    uint32_t handOver = voice.handOver.load(std::memory_order_relaxed);
    // A pair handed over just before the voice last ended was never taken. An empty pair under
    // a new sequence replaces it, and the mixer takes that without swapping anything in.
    voice.pendingLength.store(0, std::memory_order_relaxed);
    voice.pendingSample.store(nullptr, std::memory_order_relaxed);
    voice.sample.store(sample, std::memory_order_relaxed);
    voice.length.store(length, std::memory_order_relaxed);
    voice.position.store(0, std::memory_order_relaxed);
    uint32_t sequence = (handOver & ~voiceIdleBit) + 2 * voiceSequenceStep;
    voice.handOver.store(sequence, std::memory_order_release);
}

// The sounding voice with the fewest bytes still to play, the lowest index among equals.
static int ChooseVoiceToReplace() {
    int chosen = 0;
    int32_t fewest = INT32_MAX;
    for (int index = 0; index < voiceCount; ++index) {
        // A pass running meanwhile can make these two disagree for a moment; that only
        // sways the choice, it cannot hurt the hand-over.
        int32_t left = voiceTable[index].length.load(std::memory_order_relaxed) -
                       voiceTable[index].position.load(std::memory_order_relaxed);
        if (left < fewest) {
            fewest = left;
            chosen = index;
        }
    }
    return chosen;
}

// Hands a replacement to a sounding voice; false if the voice ended before it could take it.
static bool HandOverReplacement(Voice &voice, const uint8_t *sample, int32_t length) {
    voice.handOver.fetch_add(voiceSequenceStep, std::memory_order_relaxed);
    // Release keeps the odd sequence ahead of the pair: a mixer that sees either new value
    // also sees that a write was under way.
    voice.pendingLength.store(length, std::memory_order_release);
    voice.pendingSample.store(sample, std::memory_order_release);
    uint32_t before = voice.handOver.fetch_add(voiceSequenceStep, std::memory_order_release);
    // The mixer ends a voice only if the word is unchanged since its pass began, so an idle
    // bit here means it went idle before the pair was whole and will never look at it.
    return (before & voiceIdleBit) == 0;
}

void StartVoice(const uint8_t *sample, uint32_t length) {
    int32_t bytes = 0;
    if (sample)
        bytes = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
    int index = FindIdleVoice();
    if (index >= 0) {
        StartIdleVoice(index, sample, bytes);
        return;
    }
    if (HandOverReplacement(voiceTable[ChooseVoiceToReplace()], sample, bytes))
        return;
    // The chosen voice is idle now and only this thread starts voices, so one is found.
    index = FindIdleVoice();
    if (index >= 0)
        StartIdleVoice(index, sample, bytes);
}

// Takes a voice's pending pair if a whole one arrived since the last take, and swaps it in.
static void TakePendingPair(int index, uint32_t handOver) {
    Voice &voice = voiceTable[index];
    uint32_t sequence = handOver & ~voiceIdleBit;
    if (sequence == takenSequence[index] || (sequence & voiceSequenceStep) != 0)
        return;
    const uint8_t *pendingSample = voice.pendingSample.load(std::memory_order_acquire);
    int32_t pendingLength = voice.pendingLength.load(std::memory_order_acquire);
    // Rewritten while we read: the pair may be mixed from two writes, so it waits a pass.
    if ((voice.handOver.load(std::memory_order_relaxed) & ~voiceIdleBit) != sequence)
        return;
    takenSequence[index] = sequence;
    // An empty pair cancels a replacement: the current sample plays on.
    if (!pendingSample)
        return;
    voice.sample.store(pendingSample, std::memory_order_relaxed);
    voice.length.store(pendingLength, std::memory_order_relaxed);
    voice.position.store(0, std::memory_order_relaxed);
}

// Adds one value at quarter gain, rounded toward zero, saturating to 16 bits.
static inline int16_t AddQuarter(int16_t destination, int16_t value) {
    int32_t quarter = (value + ((value >> 15) & 3)) >> 2;
    int32_t sum = destination + quarter;
    if (sum > INT16_MAX)
        return INT16_MAX;
    if (sum < INT16_MIN)
        return INT16_MIN;
    return static_cast<int16_t>(sum);
}

// A quarter of each of eight values, rounded toward zero: negative ones get 3 added first.
// Sixteen-bit lanes hold the quarter exactly, and a saturating add then clips as the plain
// rule does, so several values at a time give the same bits.
#if defined(__SSE2__)
static inline __m128i QuarterValues(__m128i values) {
    __m128i bias = _mm_srli_epi16(_mm_srai_epi16(values, 15), 14);
    return _mm_srai_epi16(_mm_add_epi16(values, bias), 2);
}
#endif

// Adds count little-endian values from source (any alignment) into buffer, from index on.
static void AddValuesFrom(int16_t *buffer, const uint8_t *source, int32_t index, int32_t count) {
#if defined(__SSE2__)
    for (; index + 8 <= count; index += 8) {
        __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + 2 * index));
        __m128i *target = reinterpret_cast<__m128i *>(buffer + index);
        _mm_storeu_si128(target, _mm_adds_epi16(_mm_loadu_si128(target), QuarterValues(value)));
    }
#endif
    for (; index < count; ++index) {
        int16_t value = static_cast<int16_t>(source[2 * index] | source[2 * index + 1] << 8);
        buffer[index] = AddQuarter(buffer[index], value);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same sixteen values at a time, on processors that have the wider lanes.
__attribute__((target("avx2"))) static void AddWideValues(int16_t *buffer, const uint8_t *source,
                                                          int32_t count) {
    int32_t index = 0;
    for (; index + 16 <= count; index += 16) {
        __m256i value = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(source + 2 * index));
        __m256i bias = _mm256_srli_epi16(_mm256_srai_epi16(value, 15), 14);
        __m256i quarter = _mm256_srai_epi16(_mm256_add_epi16(value, bias), 2);
        __m256i *target = reinterpret_cast<__m256i *>(buffer + index);
        _mm256_storeu_si256(target, _mm256_adds_epi16(_mm256_loadu_si256(target), quarter));
    }
    AddValuesFrom(buffer, source, index, count);
}
#endif

// Adds count little-endian values from source (any alignment) into buffer.
static void AddVoiceValues(int16_t *buffer, const uint8_t *source, int32_t count) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) {
        AddWideValues(buffer, source, count);
        return;
    }
#endif
    AddValuesFrom(buffer, source, 0, count);
}

void MixVoices(int16_t *buffer, int32_t bytes) {
    for (int index = 0; index < voiceCount; ++index) {
        Voice &voice = voiceTable[index];
        uint32_t handOver = voice.handOver.load(std::memory_order_acquire);
        if (handOver & voiceIdleBit)
            continue;
        TakePendingPair(index, handOver);
        const uint8_t *sample = voice.sample.load(std::memory_order_relaxed);
        int32_t length = voice.length.load(std::memory_order_relaxed);
        int32_t position = voice.position.load(std::memory_order_relaxed);
        int32_t left = length - position;
        if (bytes < left) {
            AddVoiceValues(buffer, sample + position, bytes / 2);
            voice.position.store(position + bytes, std::memory_order_relaxed);
            continue;
        }
        // An empty voice may have no sample at all.
        if (left >= 2)
            AddVoiceValues(buffer, sample + position, left / 2);
        voice.position.store(length, std::memory_order_relaxed);
        // Ends the voice unless the main thread touched the word during this pass: then a
        // replacement is (being) handed over, and the voice waits for it at its end.
        voice.handOver.compare_exchange_strong(handOver, handOver | voiceIdleBit,
                                               std::memory_order_release,
                                               std::memory_order_relaxed);
    }
}

void SilenceVoices() {
    for (Voice &voice : voiceTable)
        voice.handOver.fetch_or(voiceIdleBit, std::memory_order_release);
}

void CopyAudioBlock(void *destination, const void *source) {
    std::memcpy(destination, source, audioBlockBytes);
}

void ClearAudioBlock(void *buffer) {
    std::memset(buffer, 0, audioBlockBytes);
}
