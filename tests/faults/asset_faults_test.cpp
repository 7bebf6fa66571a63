// Damaged pictures and samples beside the program, loaded through the real SDL library and then
// drawn, touched and mixed. Run under AddressSanitizer, a read or write past any buffer fails.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    std::string said = ""; // what the program says of it, if anything
};

// Writes little-endian 32-bit values into a file at an offset: patch OFFSET FILE VALUE...
const std::string patch =
    "patch() { perl -e '($o, $f, @v) = @ARGV; open F, \"+<\", $f; seek F, $o, 0; "
    "print F pack(\"V*\", @v)' \"$@\"; }; ";

std::vector<Damage> Damages() {
    const std::string sine = " synth 0.5 sine 440";
    std::vector<Damage> rows = {
        {"echo not a picture >$D/Gfx/whitekey.bmp", false, "Gfx/whitekey.bmp: not a bitmap"},
        {": >$D/Gfx/blackkey2p.bmp", false, "Gfx/blackkey2p.bmp: not a bitmap"},
        {"convert -size 4000x4000 xc:gray BMP3:- | head -c 5000 >$D/Gfx/exitbutton.bmp", false,
         "Gfx/exitbutton.bmp: cut short"},
        {"rm $D/Gfx/whitekeyp.bmp && mkdir $D/Gfx/whitekeyp.bmp", false,
         "picture Gfx/whitekeyp.bmp: not a regular file"},
        {"chmod 000 $D/Gfx/blackkey3.bmp", false, "picture Gfx/blackkey3.bmp: permission denied"},
        {patch + "patch 18 $D/Gfx/exitbutton.bmp 63512 131081", false,
         "picture Gfx/exitbutton.bmp: 63512 x 131081 is larger than 4096 x 4096"},
        {"convert -size 1x1 xc:white BMP3:$D/Gfx/whitekey.bmp", true},
        {"convert -size 1x1 xc:black BMP3:$D/Gfx/blackkey1.bmp", true},
        {"convert -size 4000x4000 xc:white BMP3:$D/Gfx/whitekey.bmp", true},
        {"convert -size 4000x4000 xc:gray20 BMP3:$D/Gfx/blackkey1p.bmp", true},
        {"rm $D/Samples/1.wav && mkfifo $D/Samples/1.wav", true,
         "velmora: sample Samples/1.wav: not a regular file (key C4 will be silent)\n"},
        {"chmod 000 $D/Samples/7.wav", true,
         "sample Samples/7.wav: permission denied (key B4 will be silent)"},
        {patch + "patch 40 $D/Samples/4.wav 2147483648", true,
         "sample Samples/4.wav: 48695 s of sound is longer than 30 s (key F4 will be silent)"},
        {"truncate -s 2G $D/Samples/6.wav", true, "sample Samples/6.wav: 2147483648 bytes is"},
        {patch + "patch 16 $D/Samples/16.wav 2147483648", true,
         "sample Samples/16.wav: not a WAV file (key A5 will be silent)"},
        {"rm $D/Samples/1.wav", true, "sample Samples/1.wav: no such file or directory"},
        {"truncate -s 30 $D/Samples/2.wav", true},
        {"truncate -s 20001 $D/Samples/3.wav", true},
        {"sox -n -b 8 -r 22050 -c 1 $D/Samples/5.wav" + sine, true},
        {"sox -n -b 16 -r 22050 -c 2 $D/Samples/1d.wav" + sine, true},
        {"sox -n -b 16 -r 44100 -c 1 $D/Samples/2d.wav" + sine, true},
        {": >$D/Samples/11.wav", true, "sample Samples/11.wav: not a WAV file"},
        {"sox -n -b 16 -r 22050 -c 1 $D/Samples/12.wav trim 0 0", true},
    };
    for (const char *name : imageNames)
        rows.push_back({std::string("rm $D/") + name, false,
                        std::string("picture ") + name + ": no such file or directory"});
    return rows;
}

// A line of this process's status in kB, such as VmHWM, its peak resident memory.
long ReadStatusKilobytes(const std::string &name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

// Loads as the program's user would: root reads files whatever their permissions, so it
// loads as nobody. Gives what went to standard error, and the picture's problem if any.
std::string LoadAsUser(const std::string &directory, bool *picturesLoad) {
    const bool isRoot = geteuid() == 0;
    EXPECT_TRUE(!isRoot || seteuid(65534) == 0);
    testing::internal::CaptureStderr();
    *picturesLoad = LoadAssetsFrom(directory);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!isRoot || seteuid(0) == 0);
    return *picturesLoad ? said : said + GetAssetProblem();
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
        // Peak memory from here on: a refused file takes next to none.
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = ReadStatusKilobytes("VmRSS");
        bool picturesLoad = false;
        const std::string said = LoadAsUser(copy + "/", &picturesLoad);
        ASSERT_EQ(picturesLoad, row.picturesLoad) << said;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        if (!row.said.empty()) {
            EXPECT_LT(ReadStatusKilobytes("VmHWM") - before, 50 * 1024);
        }
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
