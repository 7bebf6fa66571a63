// Damaged pictures and samples beside the program: a missing or undecodable picture ends
// start-up quietly; a picture of any size, and a sample that is missing, cut short, empty,
// huge or in another format, must still give a keyboard that draws, plays and ends cleanly.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "assets/assets.h"
#include "fault_stage.h"
#include "harness.h"

namespace {

using std::chrono::milliseconds;

// One damage done to the copy, and what a user can still expect of the program.
struct AssetFault {
    std::string what;
    std::function<bool(const ProgramCopy &)> damage;
    bool startupEnds;             // no keyboard: the program ends during start-up
    std::vector<int> damagedKeys; // sample slots of the keys to touch besides an intact one
    // A key left intact, touched last: its note must be heard whatever else is damaged.
    int intactSlot = 5; // A4
};

// A file name for a case's screenshot.
std::string Slug(const std::string &what) {
    std::string slug = "fault-";
    for (char c : what)
        slug += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    return slug;
}

// The screen and the sound server every case of a test runs its copy on.
struct Servers {
    XScreen screen;
    SoundServer sound;
    bool Start(std::string *error) {
        return screen.Start(error) && sound.Start(error);
    }
};

// Runs the program copy once with the fault in place; returns what it did, for the table.
std::string RunWithFault(Servers &servers, const AssetFault &fault) {
    ProgramCopy copy;
    if (!copy.Ready()) {
        ADD_FAILURE() << "cannot copy the program and its assets";
        return "not run";
    }
    if (!fault.damage(copy)) {
        ADD_FAILURE() << "cannot damage the copy";
        return "not run";
    }
    Program program;
    if (!program.LaunchExecutable(copy.Executable(),
                                  ProgramEnvironment(&servers.screen, &servers.sound))) {
        ADD_FAILURE() << "cannot launch the copy";
        return "not run";
    }

    if (fault.startupEnds) {
        ExitStatus status = program.WaitForExit(startupBoundMilliseconds);
        std::string verdict = JudgeEnding(status, program);
        EXPECT_EQ(verdict, "");
        EXPECT_EQ(program.Output(), startupLine) << "start-up must end without a word more";
        return status.ended ? "start-up ended, " + DescribeExit(status) : "hung in start-up";
    }

    if (!WaitForKeyboard(servers.screen)) {
        ExitStatus status = program.WaitForExit(0);
        ADD_FAILURE() << "no keyboard; the program " << DescribeExit(status) << "\n"
                      << program.Errors();
        return "no keyboard, " + DescribeExit(status);
    }
    // Touches the damaged keys, then the intact one, which must be heard.
    for (int slot : fault.damagedKeys) {
        KeyPoint point = KeyPointOfSlot(slot);
        TapAt(servers.screen, point.x, point.y);
    }
    KeyPoint intact = KeyPointOfSlot(fault.intactSlot);
    int64_t intactTouched = MonotonicNanoseconds();
    TapAt(servers.screen, intact.x, intact.y);
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_TRUE(program.Running())
        << "ended after the touches: " << DescribeExit(program.WaitForExit(0)) << "\n"
        << program.Errors();
    servers.screen.TakeScreenshot().SavePng(ArtifactPath(Slug(fault.what) + ".png"));
    std::vector<int16_t> recording = servers.sound.ReadRecording();
    int peak =
        PeakLevel(recording, RecordingIndexAt(servers.sound, intactTouched, recording.size()),
                  recording.size());
    EXPECT_GT(peak, 1000) << "the intact key was not heard";

    ExitStatus status = EndWithExitButton(servers.screen, program);
    std::string verdict = JudgeEnding(status, program);
    EXPECT_EQ(verdict, "");
    EXPECT_EQ(program.Output(), startupLine);
    return "keyboard, keys played (peak " + std::to_string(peak) +
           "), exit button: " + DescribeExit(status);
}

// Runs every case of a table on one pair of servers, printing a line for each.
void RunFaultTable(const std::vector<AssetFault> &faults) {
    Servers servers;
    std::string error;
    ASSERT_TRUE(servers.Start(&error)) << error;
    for (const AssetFault &fault : faults) {
        SCOPED_TRACE(fault.what);
        std::string outcome = RunWithFault(servers, fault);
        std::printf("  %-44s %s\n", fault.what.c_str(), outcome.c_str());
        std::fflush(stdout);
    }
}

// Damage that removes a file.
std::function<bool(const ProgramCopy &)> Remove(const std::string &name) {
    return [name](const ProgramCopy &copy) { return std::filesystem::remove(copy.Asset(name)); };
}

TEST(AssetFaults, EachMissingPictureEndsStartUpQuietly) {
    std::vector<AssetFault> faults;
    for (const char *name : imageNames)
        faults.push_back({std::string(name) + " missing", Remove(name), true, {}});
    RunFaultTable(faults);
}

TEST(AssetFaults, UndecodablePictureEndsStartUpQuietly) {
    RunFaultTable({
        {"Gfx/whitekey.bmp is text",
         [](const ProgramCopy &copy) {
             return WriteBytes(copy.Asset("Gfx/whitekey.bmp"), "this is not a picture\n");
         },
         true,
         {}},
        {"Gfx/blackkey2p.bmp is empty",
         [](const ProgramCopy &copy) { return WriteBytes(copy.Asset("Gfx/blackkey2p.bmp"), ""); },
         true,
         {}},
        {"Gfx/exitbutton.bmp promises 4000x4000, cut",
         [](const ProgramCopy &copy) {
             const std::string path = copy.Asset("Gfx/exitbutton.bmp");
             return WriteSolidBmp(path, 4000, 4000, 0x808080) && TruncateFile(path, 5000);
         },
         true,
         {}},
    });
}

TEST(AssetFaults, KeyPicturesOfAnySizeStillDrawAndPlay) {
    auto resize = [](const char *name, int size, uint32_t colour) {
        return [=](const ProgramCopy &copy) {
            return WriteSolidBmp(copy.Asset(name), size, size, colour);
        };
    };
    RunFaultTable({
        // White keys shrink to a point: only the black keys are left to touch and hear.
        {"Gfx/whitekey.bmp 1x1", resize("Gfx/whitekey.bmp", 1, 0xffffff), false, {0, 7}, 11},
        {"Gfx/blackkey1.bmp 1x1", resize("Gfx/blackkey1.bmp", 1, 0x000000), false, {7, 9}},
        // A huge white picture covers the whole screen; touches must still find keys.
        {"Gfx/whitekey.bmp 4000x4000",
         resize("Gfx/whitekey.bmp", 4000, 0xffffff),
         false,
         {0, 12, 18, 7}},
        {"Gfx/blackkey1p.bmp 4000x4000",
         resize("Gfx/blackkey1p.bmp", 4000, 0x202020),
         false,
         {7, 9, 19}},
    });
}

TEST(AssetFaults, DamagedSamplesLeaveTheirKeysPlayable) {
    auto tone = [](const char *name, WaveShape shape, uint64_t bytes) {
        return
            [=](const ProgramCopy &copy) { return WriteToneWave(copy.Asset(name), shape, bytes); };
    };
    auto cut = [](const char *name, bool midHeader) {
        return [=](const ProgramCopy &copy) {
            const std::string path = copy.Asset(name);
            uint64_t size = std::filesystem::file_size(path);
            return TruncateFile(path, midHeader ? 30 : size / 2 + 1);
        };
    };
    RunFaultTable({
        {"Samples/1.wav missing", Remove("Samples/1.wav"), false, {0}},
        {"Samples/2.wav cut mid-header", cut("Samples/2.wav", true), false, {1}},
        {"Samples/3.wav cut mid-data", cut("Samples/3.wav", false), false, {2}},
        {"Samples/4.wav odd byte length", tone("Samples/4.wav", {}, 44101), false, {3}},
        {"Samples/5.wav 8-bit", tone("Samples/5.wav", {1, 22050, 8}, 22050), false, {4}},
        {"Samples/1d.wav stereo", tone("Samples/1d.wav", {2, 22050, 16}, 88200), false, {7}},
        {"Samples/2d.wav 44100 Hz", tone("Samples/2d.wav", {1, 44100, 16}, 88200), false, {8}},
        {"Samples/11.wav empty (zero bytes)",
         [](const ProgramCopy &copy) { return WriteBytes(copy.Asset("Samples/11.wav"), ""); },
         false,
         {12}},
        {"Samples/12.wav header, no data", tone("Samples/12.wav", {}, 0), false, {13}},
        {"Samples/16d.wav 100 MB", tone("Samples/16d.wav", {}, 100u << 20), false, {23, 23}},
    });
}

} // namespace
