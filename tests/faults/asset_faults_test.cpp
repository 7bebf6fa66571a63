// Damaged pictures and samples beside the program, loaded through the real SDL library and then
// drawn, touched and mixed. Run under AddressSanitizer, a read or write past any buffer fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "assets/assets.h"
#include "audio/voices.h"
#include "input/touch.h"
#include "screen/draw.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

struct Damage {
    std::string what; // a shell command on the copy in $D
    bool picturesLoad;
};

std::vector<Damage> Damages() {
    std::vector<Damage> rows;
    for (const char *name : imageNames)
        rows.push_back({std::string("rm $D/") + name, false});
    const std::string sine = " synth 0.5 sine 440";
    const std::vector<Damage> more = {
        {"echo not a picture >$D/Gfx/whitekey.bmp", false},
        {": >$D/Gfx/blackkey2p.bmp", false},
        {"convert -size 4000x4000 xc:gray BMP3:- | head -c 5000 >$D/Gfx/exitbutton.bmp", false},
        {"convert -size 1x1 xc:white BMP3:$D/Gfx/whitekey.bmp", true},
        {"convert -size 1x1 xc:black BMP3:$D/Gfx/blackkey1.bmp", true},
        {"convert -size 4000x4000 xc:white BMP3:$D/Gfx/whitekey.bmp", true},
        {"convert -size 4000x4000 xc:gray20 BMP3:$D/Gfx/blackkey1p.bmp", true},
        {"rm $D/Samples/1.wav", true},
        {"truncate -s 30 $D/Samples/2.wav", true},
        {"truncate -s 20001 $D/Samples/3.wav", true},
        {"sox -n -b 8 -r 22050 -c 1 $D/Samples/5.wav" + sine, true},
        {"sox -n -b 16 -r 22050 -c 2 $D/Samples/1d.wav" + sine, true},
        {"sox -n -b 16 -r 44100 -c 1 $D/Samples/2d.wav" + sine, true},
        {": >$D/Samples/11.wav", true},
        {"sox -n -b 16 -r 22050 -c 1 $D/Samples/12.wav trim 0 0", true},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

// Mixes until every voice has played its sample to the end.
void PlayOut() {
    int16_t block[audioBlockBytes / 2];
    for (int voice = 0; voice < voiceCount; ++voice)
        while (!IsVoiceIdle(voice))
            MixVoices(block, audioBlockBytes);
}

TEST(Faults, DamagedAssetsLoadDrawAndPlaySafely) {
    StartTestScreen();
    for (const Damage &row : Damages()) {
        SCOPED_TRACE(row.what);
        const std::string copy = fs::temp_directory_path() / "velmora-faults";
        const std::string build = VELMORA_BUILD_DIR;
        std::string damage = "D=" + copy + "; rm -rf $D && mkdir $D && cp -r " + build + "/Gfx " +
                             build + "/Samples $D && " + row.what;
        ASSERT_EQ(std::system(damage.c_str()), 0);
        ASSERT_EQ(LoadAssetsFrom(copy + "/"), row.picturesLoad);
        fs::remove_all(copy);
        int empty = 0;
        for (int slot = 0; slot < sampleCount; ++slot) {
            EXPECT_EQ(sampleBankData[slot] == nullptr, sampleBankLength[slot] == 0);
            empty += sampleBankData[slot] == nullptr;
        }
        EXPECT_LE(empty, 1) << "a damaged sample took others with it";
        if (!row.picturesLoad)
            continue;
        ResetKeys();
        DrawKeyboard();
        SilenceVoices();
        std::mt19937 random(3);
        for (int step = 0; step < 400; ++step) {
            SDL_Event event = MakeEvent("dhu"[random() % 3], random() % 260, random() % 340);
            EventFilter(&event);
            PlayOut();
        }
        exitRequested = 0;
        for (int index = 0; index < keyTable.count; ++index) {
            StartVoice(keyTable.keys[index].sampleData, keyTable.keys[index].sampleLength);
            PlayOut();
        }
    }
}

} // namespace
