#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/voices.h"
#include "tests/reference_mixer.h"

namespace {

using Samples = std::vector<int16_t>;
using Block = std::vector<int16_t>;

// A sample as the SampleBank holds it: little-endian bytes.
std::vector<uint8_t> MakeSample(const Samples &values) {
    std::vector<uint8_t> bytes(values.size() * 2);
    for (size_t index = 0; index < values.size(); ++index) {
        bytes[2 * index] = static_cast<uint8_t>(values[index] & 0xff);
        bytes[2 * index + 1] = static_cast<uint8_t>((values[index] >> 8) & 0xff);
    }
    return bytes;
}

// A sample of count equal values.
std::vector<uint8_t> ConstantSample(int16_t value, size_t count) {
    return MakeSample(Samples(count, value));
}

// One mixer pass onto a silent block.
Block MixBlock() {
    Block block(audioBlockBytes / 2, 0);
    MixVoices(block.data(), audioBlockBytes);
    return block;
}

void Start(const std::vector<uint8_t> &sample) {
    StartVoice(sample.data(), static_cast<uint32_t>(sample.size()));
}

class Voices : public testing::Test {
  protected:
    void SetUp() override {
        SilenceVoices();
    }
    void TearDown() override {
        SilenceVoices();
    }
};

struct GainCase {
    const char *what;
    std::vector<int16_t> voiceValues; // one constant sample per voice, started in this order
    int16_t expected;
};

TEST_F(Voices, QuarterGainAndSaturationPerVoice) {
    const std::vector<GainCase> cases = {
        {"-1 adds nothing", {-1}, 0},
        {"-2 adds nothing", {-2}, 0},
        {"-3 adds nothing", {-3}, 0},
        {"-4 adds -1", {-4}, -1},
        {"3 adds nothing", {3}, 0},
        {"5 adds 1", {5}, 1},
        {"-5 adds -1", {-5}, -1},
        {"lowest value", {-32768}, -8192},
        {"highest value", {32767}, 8191},
        {"four lowest reach full scale", {-32768, -32768, -32768, -32768}, -32768},
        {"five highest clip", {32767, 32767, 32767, 32767, 32767}, 32767},
        {"clipped before the sixth is added", {32767, 32767, 32767, 32767, 32767, -32768}, 24575},
        {"eight voices", {100, 100, 100, 100, 100, 100, 100, 100}, 200},
    };
    for (const GainCase &c : cases) {
        SCOPED_TRACE(c.what);
        SilenceVoices();
        std::vector<std::vector<uint8_t>> samples;
        for (int16_t value : c.voiceValues)
            samples.push_back(ConstantSample(value, 512));
        for (const auto &sample : samples)
            Start(sample);
        Block block = MixBlock();
        EXPECT_EQ(block[0], c.expected);
        EXPECT_EQ(block[511], c.expected);
    }
}

TEST_F(Voices, IdleVoicesAreTakenInIndexOrder) {
    std::vector<std::vector<uint8_t>> samples;
    for (int index = 0; index < voiceCount; ++index)
        samples.push_back(ConstantSample(static_cast<int16_t>(4 * (index + 1)), 2048));
    for (int index = 0; index < voiceCount; ++index) {
        Start(samples[index]);
        EXPECT_EQ(voiceTable[index].sample.load(), samples[index].data()) << "note " << index;
        EXPECT_FALSE(IsVoiceIdle(index));
    }

    // Voices 0 to 4 sound, and voice 2 ends first: the next note takes 2, not 5.
    SilenceVoices();
    std::vector<uint8_t> shortSample = ConstantSample(8, 100);
    std::vector<uint8_t> next = ConstantSample(12, 100);
    Start(samples[0]);
    Start(samples[1]);
    Start(shortSample);
    Start(samples[3]);
    Start(samples[4]);
    MixBlock();
    EXPECT_TRUE(IsVoiceIdle(2));
    Start(next);
    EXPECT_EQ(voiceTable[2].sample.load(), next.data());
    EXPECT_TRUE(IsVoiceIdle(5));
}

// Each note's value is a power of two after the quarter, so a mixed value tells which notes
// it holds.
std::vector<std::vector<uint8_t>> PowerNotes(const std::vector<int> &valueCounts) {
    std::vector<std::vector<uint8_t>> notes;
    for (size_t index = 0; index < valueCounts.size(); ++index)
        notes.push_back(ConstantSample(static_cast<int16_t>(4 << index), valueCounts[index]));
    return notes;
}

struct ReplaceCase {
    const char *what;
    std::vector<int> valueCounts; // the eight sounding notes' lengths in values
    int passesFirst;              // mixer passes before the notes from lateFrom on start
    int lateFrom;
    int expectedVoice;
};

TEST_F(Voices, ReplacementTakesTheVoiceNearestItsEnd) {
    const std::vector<ReplaceCase> cases = {
        {"fewest bytes left", {3000, 3000, 3000, 900, 3000, 3000, 3000, 3000}, 0, 8, 3},
        {"ties go to the lowest index", {3000, 3000, 3000, 900, 3000, 900, 3000, 3000}, 0, 8, 3},
        {"all equal", {3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000}, 1, 8, 0},
        {"counted from where each note is", {1100, 700, 700, 700, 700, 700, 700, 700}, 1, 1, 0},
    };
    for (const ReplaceCase &c : cases) {
        SCOPED_TRACE(c.what);
        SilenceVoices();
        auto notes = PowerNotes(c.valueCounts);
        for (int index = 0; index < c.lateFrom; ++index)
            Start(notes[index]);
        for (int pass = 0; pass < c.passesFirst; ++pass)
            MixBlock();
        for (int index = c.lateFrom; index < voiceCount; ++index)
            Start(notes[index]);
        std::vector<uint8_t> ninth = ConstantSample(4 << 9, 2000);
        Start(ninth);
        // The old note sounds until the next pass, which starts the new one from its first byte.
        EXPECT_EQ(voiceTable[c.expectedVoice].sample.load(), notes[c.expectedVoice].data());
        Block block = MixBlock();
        EXPECT_EQ(voiceTable[c.expectedVoice].sample.load(), ninth.data());
        EXPECT_EQ(voiceTable[c.expectedVoice].position.load(), audioBlockBytes);
        int expected = 1 << 9;
        for (int index = 0; index < voiceCount; ++index) {
            if (index != c.expectedVoice)
                expected |= 1 << index;
        }
        EXPECT_EQ(block[0], expected);
    }
}

TEST_F(Voices, PendingReplacements) {
    auto notes = PowerNotes({3000, 3000, 3000, 3000, 900, 3000, 3000, 3000});
    for (const auto &note : notes)
        Start(note);
    const int allButFour = 0xff & ~(1 << 4);

    // Two replacements before one pass go to the same voice; only the second is heard.
    std::vector<uint8_t> first = ConstantSample(4 << 9, 3000);
    std::vector<uint8_t> second = ConstantSample(4 << 10, 3000);
    Start(first);
    Start(second);
    EXPECT_EQ(MixBlock()[0], allButFour | 1 << 10);
    EXPECT_EQ(voiceTable[4].sample.load(), second.data());

    // Now every voice has the same bytes left, so the next replacement goes to voice 0, and an
    // empty sample right after it cancels it there: voice 0 plays on.
    std::vector<uint8_t> third = ConstantSample(4 << 11, 3000);
    Start(third);
    EXPECT_EQ(voiceTable[0].pendingSample.load(), third.data());
    StartVoice(nullptr, 0);
    EXPECT_EQ(MixBlock()[0], allButFour | 1 << 10);
    EXPECT_EQ(voiceTable[0].sample.load(), notes[0].data());
    EXPECT_FALSE(IsVoiceIdle(0));
}

TEST_F(Voices, PairLeftFromBeforeSilenceIsNotCarriedIntoTheNextStart) {
    auto notes = PowerNotes({3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000});
    for (const auto &note : notes)
        Start(note);
    std::vector<uint8_t> stale = ConstantSample(4 << 9, 3000);
    Start(stale);
    EXPECT_EQ(voiceTable[0].pendingSample.load(), stale.data());
    SilenceVoices();
    std::vector<uint8_t> fresh = ConstantSample(4 << 10, 3000);
    Start(fresh);
    EXPECT_EQ(MixBlock()[0], 1 << 10);
    EXPECT_EQ(voiceTable[0].sample.load(), fresh.data());
}

TEST_F(Voices, PairCaughtHalfWrittenWaitsForTheNextPass) {
    auto notes = PowerNotes({3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000});
    for (const auto &note : notes)
        Start(note);
    // The main thread stopped between the two steps of its sequence, pair already written.
    std::vector<uint8_t> next = ConstantSample(4 << 9, 3000);
    Voice &voice = voiceTable[0];
    voice.handOver.fetch_add(voiceSequenceStep);
    voice.pendingLength.store(6000);
    voice.pendingSample.store(next.data());
    EXPECT_EQ(MixBlock()[0], 0xff);
    voice.handOver.fetch_add(voiceSequenceStep);
    EXPECT_EQ(MixBlock()[0], 0xfe | 1 << 9);
    EXPECT_EQ(voice.length.load(), 6000);
}

struct LengthCase {
    const char *what;
    int32_t bytes;
    std::vector<int> valuesPerPass; // values heard in each pass
};

TEST_F(Voices, SampleLengthsAndEnds) {
    const std::vector<LengthCase> cases = {
        {"empty", 0, {0}},
        {"one byte is never played", 1, {0}},
        {"odd length drops its last byte", 7, {3}},
        {"ends inside the block", 200, {100}},
        {"exactly one block", 1024, {512}},
        {"exactly two blocks", 2048, {512, 512}},
        {"one byte past a block", 1025, {512, 0}},
        {"a block and a half", 1536, {512, 256}},
    };
    for (const LengthCase &c : cases) {
        SCOPED_TRACE(c.what);
        SilenceVoices();
        std::vector<uint8_t> sample = ConstantSample(400, (c.bytes + 1) / 2);
        StartVoice(sample.data(), static_cast<uint32_t>(c.bytes));
        for (size_t pass = 0; pass < c.valuesPerPass.size(); ++pass) {
            EXPECT_FALSE(IsVoiceIdle(0)) << "before pass " << pass;
            Block block = MixBlock();
            int heard = c.valuesPerPass[pass];
            for (int index = 0; index < 512; ++index)
                ASSERT_EQ(block[index], index < heard ? 100 : 0) << "pass " << pass;
        }
        EXPECT_TRUE(IsVoiceIdle(0));
        EXPECT_EQ(voiceTable[0].position.load(), c.bytes);
    }
}

TEST_F(Voices, EmptySlotHoldsAVoiceForOnePass) {
    StartVoice(nullptr, 0);
    EXPECT_FALSE(IsVoiceIdle(0));
    Block block = MixBlock();
    EXPECT_EQ(block, Block(512, 0));
    EXPECT_TRUE(IsVoiceIdle(0));
}

TEST_F(Voices, SameSampleOnTwoVoices) {
    Samples ramp(1536);
    for (size_t index = 0; index < ramp.size(); ++index)
        ramp[index] = static_cast<int16_t>(4 * index);
    std::vector<uint8_t> sample = MakeSample(ramp);
    Start(sample);
    MixBlock();
    Start(sample);
    EXPECT_EQ(voiceTable[1].sample.load(), sample.data());
    Block block = MixBlock();
    for (int index = 0; index < 512; ++index)
        ASSERT_EQ(block[index], (512 + index) + index) << index;
    block = MixBlock();
    for (int index = 0; index < 512; ++index)
        ASSERT_EQ(block[index], (1024 + index) + (512 + index)) << index;
    EXPECT_TRUE(IsVoiceIdle(0));
    EXPECT_FALSE(IsVoiceIdle(1));
}

TEST_F(Voices, SilenceKeepsEveryOtherField) {
    std::vector<uint8_t> sample = ConstantSample(40, 2000);
    Start(sample);
    MixBlock();
    SilenceVoices();
    EXPECT_TRUE(IsVoiceIdle(0));
    EXPECT_EQ(voiceTable[0].sample.load(), sample.data());
    EXPECT_EQ(voiceTable[0].position.load(), audioBlockBytes);
    EXPECT_EQ(MixBlock(), Block(512, 0));
}

// Random values with the extremes well represented.
int16_t RandomValue(std::mt19937 &random) {
    switch (random() % 8) {
    case 0:
        return -32768;
    case 1:
        return 32767;
    case 2:
        return static_cast<int16_t>(static_cast<int>(random() % 9) - 4);
    default:
        return static_cast<int16_t>(random());
    }
}

TEST_F(Voices, FastMixerMatchesThePlainRule) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        SilenceVoices();
        std::mt19937 random(seed);
        int voices = static_cast<int>(random() % (voiceCount + 1));
        // One byte of offset in the pool makes some samples start at odd addresses.
        std::vector<std::vector<uint8_t>> pools(voices);
        ReferenceVoice reference[voiceCount] = {};
        for (int index = 0; index < voices; ++index) {
            int32_t length = static_cast<int32_t>(random() % 4000);
            int32_t offset = static_cast<int32_t>(random() % 2);
            pools[index].resize(static_cast<size_t>(length + offset));
            for (uint8_t &byte : pools[index])
                byte = static_cast<uint8_t>(random());
            if (random() % 4 == 0) {
                for (int32_t at = offset; at + 1 < length + offset; at += 2) {
                    int16_t value = RandomValue(random);
                    std::memcpy(&pools[index][at], &value, 2);
                }
            }
            const uint8_t *sample = pools[index].data() + offset;
            StartVoice(sample, static_cast<uint32_t>(length));
            reference[index] = {sample, length, 0, false};
        }
        for (int pass = 0; pass < 5; ++pass) {
            int32_t bytes =
                random() % 3 == 0 ? static_cast<int32_t>(random() % 1100) : audioBlockBytes;
            Block fast(600), plain(600);
            for (size_t index = 0; index < fast.size(); ++index)
                fast[index] = plain[index] = RandomValue(random);
            MixVoices(fast.data(), bytes);
            ReferenceMix(plain.data(), bytes, reference, voiceCount);
            ASSERT_EQ(fast, plain) << "pass " << pass << " of " << bytes << " bytes";
            for (int index = 0; index < voices; ++index) {
                ASSERT_EQ(voiceTable[index].position.load(), reference[index].position);
                ASSERT_EQ(IsVoiceIdle(index), reference[index].idle);
            }
        }
    }
}

} // namespace
