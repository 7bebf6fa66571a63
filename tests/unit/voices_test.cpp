// The eight voices and the mixer, driven one pass at a time on this thread.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "audio/voices.h"
#include "bench/plain_mixer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Block = std::vector<int16_t>;

// count values of one level, as little-endian bytes.
Bytes Constant(int16_t value, int count) {
    Bytes bytes;
    for (int index = 0; index < count; ++index)
        bytes.insert(bytes.end(), {uint8_t(value & 0xff), uint8_t((value >> 8) & 0xff)});
    return bytes;
}

Block Pass() {
    Block block(audioBlockBytes / 2, 0);
    MixVoices(block.data(), audioBlockBytes);
    return block;
}

// Scripts of starts and passes. Note k is a constant level 4 << k, heard as bit k of the mixed
// value, so each pass tells which notes sound.
TEST(Voices, HandOverScripts) {
    const int L = 3000, S = 900; // long and short notes, in values
    const struct {
        const char *what;
        std::vector<int> values; // length in values of notes a, b, c, ...
        const char *script;      // a letter starts a note, '0' the empty sample, '|' is a pass,
                                 // '-' silences every voice
        std::vector<int> heard;  // the mixed value of each pass
        const char *voices;      // the note on each voice at the end, '.' for idle
    } scripts[] = {
        // clang-format off
        {"an ended voice before an unused one",
         {L, L, 100, L, L, L}, "abcde|f|", {0x1f, 0x3b}, "abfde..."},
        {"a ninth note replaces the one with the fewest bytes left, among equals the lowest",
         {L, L, L, S, L, S, L, L, L}, "abcdefghi|", {0x1f7}, "abciefgh"},
        {"bytes left counted from each position",
         {1100, 700, 700, 700, 700, 700, 700, 700, 700}, "a|bcdefghi|", {0x1, 0x1fe}, "ibcdefgh"},
        {"two replacements before a pass: the second is heard",
         {L, L, L, L, S, L, L, L, L, L}, "abcdefghij|", {0x2ef}, "abcdjfgh"},
        {"an empty sample cancels a pending replacement",
         {L, L, L, L, L, L, L, L, L}, "abcdefgh|i0|", {0xff, 0xff}, "abcdefgh"},
        {"a pending pair does not outlive silence",
         {L, L, L, L, L, L, L, L, L, L}, "abcdefghi-j|", {0x200}, "j......."},
        {"the same note on two voices", {1536}, "a|a|", {0x1, 0x2}, "aa......"},
        {"an empty sample holds a voice for one pass", {L}, "0|a|", {0, 0x1}, "a......."},
        // clang-format on
    };
    for (const auto &script : scripts) {
        SCOPED_TRACE(script.what);
        SilenceVoices();
        std::vector<Bytes> notes;
        for (size_t k = 0; k < script.values.size(); ++k)
            notes.push_back(Constant(int16_t(4 << k), script.values[k]));
        std::vector<int> heard;
        for (const char *step = script.script; *step; ++step) {
            if (*step == '|')
                heard.push_back(Pass()[0]);
            else if (*step == '-')
                SilenceVoices();
            else if (*step == '0')
                StartVoice(nullptr, 0);
            else
                StartVoice(notes[*step - 'a'].data(), uint32_t(notes[*step - 'a'].size()));
        }
        EXPECT_EQ(heard, script.heard);
        std::string voices(voiceCount, '.');
        for (int voice = 0; voice < voiceCount; ++voice)
            for (size_t k = 0; k < notes.size(); ++k)
                if (!IsVoiceIdle(voice) && voiceTable[voice].sample.load() == notes[k].data())
                    voices[voice] = char('a' + k);
        EXPECT_EQ(voices, script.voices);
    }
    SilenceVoices();
}

// Random samples at odd and even addresses, values at the extremes, lengths odd, even and
// around whole blocks, onto random blocks of random sizes.
TEST(Mixer, FastMixerMatchesThePlainRule) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        SilenceVoices();
        std::mt19937 random(seed);
        auto value = [&] {
            int kind = random() % 4;
            return int16_t(kind == 0   ? -32768
                           : kind == 1 ? 32767
                           : kind == 2 ? random() % 9 - 4
                                       : random());
        };
        int voices = random() % (voiceCount + 1);
        std::vector<Bytes> pools(voices);
        ReferenceVoice reference[voiceCount] = {};
        for (int index = 0; index < voices; ++index) {
            int32_t length = random() % 4000, offset = random() % 2;
            if (random() % 2) // on and beside the ends of whole blocks
                length = 1024 * (1 + random() % 3) - 1 + random() % 3;
            for (int32_t at = 0; at <= length + offset; at += 2) {
                Bytes pair = Constant(value(), 1);
                pools[index].insert(pools[index].end(), pair.begin(), pair.end());
            }
            StartVoice(pools[index].data() + offset, uint32_t(length));
            reference[index] = {pools[index].data() + offset, length, 0, false};
        }
        for (int pass = 0; pass < 5; ++pass) {
            int32_t bytes = random() % 3 == 0 ? int32_t(random() % 1100) : audioBlockBytes;
            Block fast(600), plain(600);
            for (size_t index = 0; index < fast.size(); ++index)
                fast[index] = plain[index] = value();
            MixVoices(fast.data(), bytes);
            ReferenceMix(plain.data(), bytes, reference, voiceCount);
            ASSERT_EQ(fast, plain) << "pass " << pass << " of " << bytes << " bytes";
            for (int index = 0; index < voices; ++index)
                ASSERT_EQ(IsVoiceIdle(index), reference[index].idle);
        }
    }
    SilenceVoices();
}

} // namespace
