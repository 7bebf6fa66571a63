// Playing the piano with the pen, as a user does: real pen events on the program's window,
// what it shows on the screen, and what it plays into the recorded sound server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "assets/assets.h"
#include "harness.h"
#include "platform/platform.h"
#include "recording.h"
#include "screens.h"

namespace {

using std::chrono::milliseconds;

// One key of the keyboard as a user sees it: the note it plays, where its picture lies, and
// how many rows its touch area reaches beyond the picture, above and below.
struct PianoKey {
    const char *name;
    int midiNote;
    int x, y;
    ImageIndex picture; // its released picture; the pressed one follows it
    int margin;
};

constexpr int whiteWidth = 120, whiteHeight = 45, blackWidth = 72, blackHeight = 27;

// Whites first, then blacks: where touch areas overlap, the later key owns the point. The
// right column is the lower octave; each column runs from the bottom up.
const PianoKey pianoKeys[] = {
    {"C4", 60, 120, 275, imageWhite, 0},    {"D4", 62, 120, 230, imageWhite, 0},
    {"E4", 64, 120, 185, imageWhite, 0},    {"F4", 65, 120, 140, imageWhite, 0},
    {"G4", 67, 120, 95, imageWhite, 0},     {"A4", 69, 120, 50, imageWhite, 0},
    {"B4", 71, 120, 5, imageWhite, 0},      {"C5", 72, 0, 275, imageWhite, 0},
    {"D5", 74, 0, 230, imageWhite, 0},      {"E5", 76, 0, 185, imageWhite, 0},
    {"F5", 77, 0, 140, imageWhite, 0},      {"G5", 79, 0, 95, imageWhite, 0},
    {"A5", 81, 0, 50, imageWhite, 0},       {"B5", 83, 0, 5, imageWhite, 0},
    {"C#4", 61, 120, 266, imageBlack1, 13}, {"D#4", 63, 120, 212, imageBlack3, 13},
    {"F#4", 66, 120, 131, imageBlack1, 13}, {"G#4", 68, 120, 82, imageBlack2, 10},
    {"A#4", 70, 120, 32, imageBlack3, 13},  {"C#5", 73, 0, 266, imageBlack1, 13},
    {"D#5", 75, 0, 212, imageBlack3, 13},   {"F#5", 78, 0, 131, imageBlack1, 13},
    {"G#5", 80, 0, 82, imageBlack2, 10},    {"A#5", 82, 0, 32, imageBlack3, 13},
};

bool IsBlack(const PianoKey &key) {
    return key.picture != imageWhite;
}

int KeyWidth(const PianoKey &key) {
    return IsBlack(key) ? blackWidth : whiteWidth;
}

int KeyHeight(const PianoKey &key) {
    return IsBlack(key) ? blackHeight : whiteHeight;
}

const PianoKey &KeyOfNote(int midiNote) {
    for (const PianoKey &key : pianoKeys) {
        if (key.midiNote == midiNote)
            return key;
    }
    return pianoKeys[0];
}

// The key whose touch area holds the point, by the layout; null where there is none.
const PianoKey *KeyAt(int x, int y) {
    const PianoKey *found = nullptr;
    for (const PianoKey &key : pianoKeys) {
        if (x >= key.x && x < key.x + KeyWidth(key) && y >= key.y - key.margin &&
            y < key.y + KeyHeight(key) + key.margin)
            found = &key;
    }
    return found;
}

// The middle of what shows of the key: a white key's right part, which no black key covers
// and no black key's touch area reaches.
void TouchPoint(const PianoKey &key, int *x, int *y) {
    *x = IsBlack(key) ? key.x + blackWidth / 2 : key.x + (blackWidth + whiteWidth) / 2;
    *y = key.y + KeyHeight(key) / 2;
}

// Above the top keys and left of the exit button: the pen can rest here without playing.
constexpr int restX = 60, restY = 2;
// Inside the exit button in the top-right corner.
constexpr int exitX = 225, exitY = 2;

// A picture as the program loads it from beside itself.
struct Picture {
    int width = 0, height = 0;
    std::vector<Pixel> pixels; // rows top to bottom
    Pixel At(int x, int y) const {
        return pixels[size_t(y) * width + x];
    }
};

uint32_t LittleEndian(const std::string &bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

// Reads an uncompressed 24-bit BMP, the kind the asset generator writes; empty when it is not.
Picture ReadBmp(const std::string &path) {
    std::string bytes = ReadFile(path);
    Picture picture;
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0 || LittleEndian(bytes, 28, 2) != 24 ||
        LittleEndian(bytes, 30, 4) != 0)
        return picture;
    const uint32_t offset = LittleEndian(bytes, 10, 4);
    const int width = int(LittleEndian(bytes, 18, 4));
    const int storedHeight = int(LittleEndian(bytes, 22, 4));
    const int height = std::abs(storedHeight);
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    if (width <= 0 || offset + rowBytes * height > bytes.size())
        return picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y) {
        // A positive height means the rows are stored bottom up.
        size_t row = offset + rowBytes * size_t(storedHeight > 0 ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            size_t at = row + size_t(x) * 3;
            picture.pixels.push_back(
                Pixel{uint8_t(bytes[at + 2]), uint8_t(bytes[at + 1]), uint8_t(bytes[at])});
        }
    }
    return picture;
}

bool SameColour(Pixel a, Pixel b) {
    return std::abs(a.red - b.red) <= channelTolerance &&
           std::abs(a.green - b.green) <= channelTolerance &&
           std::abs(a.blue - b.blue) <= channelTolerance;
}

// The part of a key the tests look at: all of a black key, and the part of a white key that
// no black key covers.
void VisiblePart(const PianoKey &key, int *left, int *right) {
    *left = IsBlack(key) ? key.x : key.x + blackWidth;
    *right = key.x + KeyWidth(key);
}

// Says which keys do not show the picture they should (the pressed one for the key given,
// the released one for every other); empty when all do.
std::string CheckKeys(const Screenshot &shot, const std::vector<Picture> &pictures,
                      const PianoKey *pressed) {
    std::string wrong;
    for (const PianoKey &key : pianoKeys) {
        const Picture &want = pictures[key.picture + (&key == pressed ? 1 : 0)];
        int left, right, mismatches = 0;
        VisiblePart(key, &left, &right);
        for (int y = key.y; y < key.y + KeyHeight(key); ++y) {
            for (int x = left; x < right; ++x)
                mismatches += !SameColour(shot.At(x, y), want.At(x - key.x, y - key.y));
        }
        if (mismatches > 0) {
            wrong += std::string(key.name) + " differs from its " +
                     (&key == pressed ? "pressed" : "released") + " picture in " +
                     std::to_string(mismatches) + " pixels; ";
        }
    }
    return wrong;
}

// Starts the program on a fresh stage and waits until its keyboard answers the pen.
void StartPiano(Stage &stage) {
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(stage.Launch());
    ASSERT_TRUE(WaitForSplashToGo(stage.screen, 15000)) << stage.program.Errors();
    // The event filter goes in right after the keyboard is shown.
    std::this_thread::sleep_for(milliseconds(50));
    stage.screen.PenMove(restX, restY);
}

// Puts the pen down on a key, holds it there and lifts it; gives the moment it went down.
int64_t Tap(XScreen &screen, const PianoKey &key, int holdMilliseconds) {
    int x, y;
    TouchPoint(key, &x, &y);
    int64_t down = MonotonicNanoseconds();
    screen.PenDown(x, y);
    std::this_thread::sleep_for(milliseconds(holdMilliseconds));
    screen.PenUp(x, y);
    return down;
}

// Sleeps until a moment on the monotonic clock.
void SleepUntil(int64_t moment) {
    int64_t left = moment - MonotonicNanoseconds();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

// Waits until the recording reaches a moment on the monotonic clock.
bool WaitForRecording(const SoundServer &sound, int64_t moment) {
    return WaitUntil(
        [&] {
            return int64_t(sound.ReadRecording().size()) * 1000000000 / recordingRate >=
                   moment - sound.RecordingStart();
        },
        10000);
}

// Where in the recording, on the monotonic clock, a sample was played.
int64_t RecordedMoment(const SoundServer &sound, size_t sample) {
    return sound.RecordingStart() + int64_t(sample) * 1000000000 / recordingRate;
}

// Checks that the notes were heard in the order given, each at its pitch.
void ExpectNotes(const std::vector<int16_t> &recording, const std::vector<int> &notes,
                 HeardNotes *heardOut = nullptr) {
    HeardNotes heard = ListNotes(recording);
    if (heardOut)
        *heardOut = heard;
    if (heard.dropouts > 0)
        std::printf("the recording has dropouts:\n%s", DescribeNotes(heard).c_str());
    ASSERT_EQ(heard.onsets.size(), notes.size()) << DescribeNotes(heard);
    for (size_t i = 0; i < notes.size(); ++i) {
        EXPECT_NEAR(CentsBetween(heard.pitches[i], NoteFrequency(notes[i])), 0.0, 30.0)
            << "note " << i + 1 << " should be " << KeyOfNote(notes[i]).name << "\n"
            << DescribeNotes(heard);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Writes measured figures to the test log and beside the other artifacts.
void ReportFigures(const std::string &artifact, const std::string &text) {
    std::printf("%s", text.c_str());
    std::ofstream(ArtifactPath(artifact)) << text;
}

TEST(Touch, EveryKeyTappedOnceIsHeardAtItsPitch) {
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(StartPiano(stage));
    // Right and left columns in turn, each walking by fifths, so whites and blacks mix and no
    // note is near the pitch of the ones still ringing.
    std::vector<int> order;
    for (int step = 0; step < 12; ++step) {
        order.push_back(60 + step * 7 % 12);
        order.push_back(72 + (step * 7 + 4) % 12);
    }
    std::vector<int64_t> downs;
    int64_t next = MonotonicNanoseconds();
    for (int note : order) {
        SleepUntil(next);
        downs.push_back(Tap(stage.screen, KeyOfNote(note), 80));
        next = downs.back() + 380000000;
    }
    stage.screen.PenMove(restX, restY);
    ASSERT_TRUE(WaitForRecording(stage.sound, next + 300000000));
    ASSERT_TRUE(stage.sound.FinishRecording(ArtifactPath("touch_every_key.wav")));
    std::vector<int16_t> recording = stage.sound.ReadRecording();
    HeardNotes heard;
    ASSERT_NO_FATAL_FAILURE(ExpectNotes(recording, order, &heard));
    const std::vector<size_t> &onsets = heard.onsets;

    // Pen down to note heard: a measurement, bounded here only against a hang.
    std::vector<double> latencies;
    for (size_t i = 0; i < onsets.size(); ++i) {
        latencies.push_back((RecordedMoment(stage.sound, onsets[i]) - downs[i]) / 1e6);
        EXPECT_GT(latencies.back(), 0.0) << "note " << i + 1 << " before its touch";
        EXPECT_LT(latencies.back(), 500.0) << "note " << i + 1;
    }
    double worst = *std::max_element(latencies.begin(), latencies.end());
    double best = *std::min_element(latencies.begin(), latencies.end());
    char text[256];
    std::snprintf(text, sizeof text,
                  "pen down to note heard over %zu taps: median %.1f ms, best %.1f ms, "
                  "worst %.1f ms (recording start known to +-%.2f ms)\n",
                  latencies.size(), Median(latencies), best, worst,
                  stage.sound.RecordingStartUncertainty() / 1e6);
    std::string figures = text;
    for (double latency : latencies)
        figures += std::to_string(latency) + "\n";
    ReportFigures("touch_latency.txt", figures);
    RecordProperty("median_ms", std::to_string(Median(latencies)));
    RecordProperty("worst_ms", std::to_string(worst));
}

TEST(Touch, HeldKeyShowsPressedUntilTheLift) {
    std::vector<Picture> pictures;
    for (int image = 0; image < imageCount; ++image)
        pictures.push_back(ReadBmp(ProgramDirectory() + imageNames[image]));
    ASSERT_EQ(pictures[imageWhite].width, whiteWidth);
    ASSERT_EQ(pictures[imageWhite].height, whiteHeight);
    for (int image : {imageBlack1, imageBlack2, imageBlack3}) {
        ASSERT_EQ(pictures[image].width, blackWidth);
        ASSERT_EQ(pictures[image].height, blackHeight);
    }
    // The check means something only where pressed and released look different.
    for (int image : {imageWhite, imageBlack1, imageBlack2, imageBlack3}) {
        int differing = 0;
        for (int y = 0; y < pictures[image].height; ++y) {
            for (int x = image == imageWhite ? blackWidth : 0; x < pictures[image].width; ++x)
                differing += !SameColour(pictures[image].At(x, y), pictures[image + 1].At(x, y));
        }
        EXPECT_GT(differing, 100) << imageNames[image];
    }
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(StartPiano(stage));
    Screenshot shot;
    auto shows = [&](const PianoKey *pressed, std::string *wrong) {
        return WaitUntil(
            [&] {
                shot = stage.screen.TakeScreenshot();
                *wrong = CheckKeys(shot, pictures, pressed);
                return wrong->empty();
            },
            3000);
    };
    std::string wrong;
    EXPECT_TRUE(shows(nullptr, &wrong)) << "before any touch: " << wrong;
    shot.SavePng(ArtifactPath("touch_released.png"));
    // A white key with black keys at both its corners, a black key, and the top white key.
    for (int note : {62, 78, 83}) {
        const PianoKey &key = KeyOfNote(note);
        SCOPED_TRACE(key.name);
        int x, y;
        TouchPoint(key, &x, &y);
        stage.screen.PenDown(x, y);
        EXPECT_TRUE(shows(&key, &wrong)) << "while held: " << wrong;
        shot.SavePng(ArtifactPath(std::string("touch_held_") + key.name + ".png"));
        stage.screen.PenUp(x, y);
        EXPECT_TRUE(shows(nullptr, &wrong)) << "after the lift: " << wrong;
    }
}

TEST(Touch, SlowDragUpAColumnPlaysEachKeyItCrossesOnce) {
    // Inside the black keys' width, where black and white keys take turns under the pen.
    const int column = 130, firstRow = 316, lastRow = 8, rowStep = 4;
    std::vector<int> crossed;
    for (int row = firstRow; row >= lastRow; row -= rowStep) {
        const PianoKey *key = KeyAt(column, row);
        ASSERT_NE(key, nullptr) << "row " << row;
        if (crossed.empty() || crossed.back() != key->midiNote)
            crossed.push_back(key->midiNote);
    }
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(StartPiano(stage));
    stage.screen.PenDown(column, firstRow);
    // Slow enough that a key the pen crosses in one step still sounds apart from the next.
    for (int row = firstRow - rowStep; row >= lastRow; row -= rowStep) {
        std::this_thread::sleep_for(milliseconds(150));
        stage.screen.PenMove(column, row);
    }
    stage.screen.PenUp(column, lastRow);
    int64_t end = MonotonicNanoseconds();
    stage.screen.PenMove(restX, restY);
    ASSERT_TRUE(WaitForRecording(stage.sound, end + 400000000));
    ASSERT_TRUE(stage.sound.FinishRecording(ArtifactPath("touch_drag.wav")));
    ExpectNotes(stage.sound.ReadRecording(), crossed);
}

TEST(Touch, LiftOnTheExitButtonEndsTheProgramAfterTheRingingNote) {
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(StartPiano(stage));
    const PianoKey &key = KeyOfNote(69);
    int x, y;
    TouchPoint(key, &x, &y);
    int64_t down = MonotonicNanoseconds();
    stage.screen.PenDown(x, y);
    std::this_thread::sleep_for(milliseconds(150));
    // The pen slides off the key to the exit button and is lifted there.
    int64_t lift = MonotonicNanoseconds();
    stage.screen.PenUp(exitX, exitY);
    ExitStatus status = stage.program.WaitForExit(10000);
    double endedMs = (MonotonicNanoseconds() - lift) / 1e6;
    ASSERT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status) << "\n"
                                                                   << stage.program.Errors();
    EXPECT_LT(endedMs, 3000.0) << "the program should end promptly";

    ASSERT_TRUE(WaitForRecording(stage.sound, MonotonicNanoseconds() + 300000000));
    ASSERT_TRUE(stage.sound.FinishRecording(ArtifactPath("touch_exit.wav")));
    std::vector<int16_t> recording = stage.sound.ReadRecording();
    HeardNotes heard;
    ASSERT_NO_FATAL_FAILURE(ExpectNotes(recording, {key.midiNote}, &heard));
    const std::vector<size_t> &onsets = heard.onsets;
    // The note sounds without a break from its start to where the program stopped playing,
    // which is no earlier than the lift.
    size_t last = recording.size();
    while (last > onsets[0] && recording[last - 1] == 0)
        --last;
    size_t quiet = 0, longestQuiet = 0;
    for (size_t i = onsets[0]; i < last; ++i) {
        quiet = std::abs(recording[i]) <= 8 ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    EXPECT_LT(longestQuiet, size_t(recordingRate / 200)) << "a gap in the note";
    double heardFromMs = (RecordedMoment(stage.sound, onsets[0]) - down) / 1e6;
    double heardUntilMs = (RecordedMoment(stage.sound, last) - lift) / 1e6;
    EXPECT_GT(heardUntilMs, 0.0) << "the note stopped before the pen was lifted";
    std::printf("note heard from %.1f ms after the touch until %.1f ms after the lift; "
                "the program ended %.1f ms after the lift\n",
                heardFromMs, heardUntilMs, endedMs);
}

TEST(Touch, FirstQuitRequestIsIgnoredAndTheSecondEndsTheProgram) {
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(StartPiano(stage));
    ASSERT_TRUE(stage.program.Signal(SIGTERM));
    ExitStatus status = stage.program.WaitForExit(1000);
    ASSERT_FALSE(status.ended) << "the first request ended it: " << DescribeExit(status);
    // Still playing, not merely still there.
    int64_t down = Tap(stage.screen, KeyOfNote(76), 80);
    ASSERT_TRUE(WaitForRecording(stage.sound, down + 600000000));
    ExpectNotes(stage.sound.ReadRecording(), {76});
    ASSERT_TRUE(stage.program.Signal(SIGTERM));
    status = stage.program.WaitForExit(10000);
    EXPECT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status) << "\n"
                                                                   << stage.program.Errors();
}

TEST(Touch, WithoutSoundDeviceTheSplashShowsAndTheProgramEndsAtOnce) {
    XScreen screen;
    std::string error;
    ASSERT_TRUE(screen.Start(&error)) << error;
    // No sound server at all, and ALSA's default device sent to one, whatever the machine's
    // own configuration says; no server is started on demand either.
    TempDirectory home("velmora-nosound");
    std::ofstream(home.Path() + "/.asoundrc") << "pcm.!default { type pulse }\n"
                                                 "ctl.!default { type pulse }\n";
    std::filesystem::create_directories(home.Path() + "/.config/pulse");
    std::ofstream(home.Path() + "/.config/pulse/client.conf") << "autospawn = no\n";
    Program program;
    ASSERT_TRUE(program.Launch(ProgramEnvironment(
        &screen, nullptr,
        {"HOME=" + home.Path(), "XDG_RUNTIME_DIR=" + home.Path(),
         "PULSE_RUNTIME_PATH=" + home.Path(), "PULSE_SERVER=unix:" + home.Path() + "/none"})));
    // Watched until the end: the splash shows only while the samples load, for a few
    // milliseconds on an idle machine.
    int64_t firstSeen = 0, lastSeen = 0, ended = 0;
    const int64_t deadline = program.LaunchTime() + 10000000000;
    Screenshot splash;
    while (program.Running() && MonotonicNanoseconds() < deadline) {
        Screenshot shot = screen.TakeScreenshot();
        if (CountSplashMismatches(shot) == 0) {
            lastSeen = MonotonicNanoseconds();
            if (firstSeen == 0) {
                firstSeen = lastSeen;
                splash = shot;
            }
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    ended = MonotonicNanoseconds();
    ExitStatus status = program.WaitForExit(0);
    ASSERT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status) << "\n"
                                                                   << program.Errors();
    EXPECT_EQ(program.Output(), "Velmora starting...\n");
    ASSERT_NE(firstSeen, 0) << "the splash was not seen";
    splash.SavePng(ArtifactPath("touch_no_sound_splash.png"));
    // Well before the keyboard's three-second pause after the splash would have ended.
    double splashToEndMs = (ended - firstSeen) / 1e6;
    EXPECT_LT(splashToEndMs, 2500.0);
    std::printf("without a sound device the program ended %.1f ms after launch and %.1f ms "
                "after the splash appeared; the splash was seen for %.1f ms\n",
                (ended - program.LaunchTime()) / 1e6, splashToEndMs, (lastSeen - firstSeen) / 1e6);
}

// The share of the sound server in the touch's latency: a click written to a freshly opened
// ALSA default device with nothing queued before it, until it is in the recording.
TEST(Touch, SoundServerShareOfTheLatency) {
    SoundServer sound;
    std::string error;
    ASSERT_TRUE(sound.Start(&error)) << error;
    for (const std::string &assignment : sound.Environment()) {
        size_t equals = assignment.find('=');
        setenv(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str(), 1);
    }
    std::vector<int16_t> click(512, 0);
    std::fill(click.begin(), click.begin() + 16, int16_t(16000));
    std::vector<int64_t> written;
    for (int round = 0; round < 10; ++round) {
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_EQ(OpenWaveOutput(1, recordingRate), 0);
        WaveBuffer buffer{click.data(), uint32_t(click.size() * 2), {0}};
        ASSERT_EQ(PrepareWaveBuffer(&buffer), 0);
        written.push_back(MonotonicNanoseconds());
        ASSERT_EQ(QueueWaveBuffer(&buffer), 0);
        WaitUntil([&] { return (buffer.flags.load() & waveBufferDone) != 0; }, 1000);
        CloseWaveOutput();
    }
    ASSERT_TRUE(WaitForRecording(sound, MonotonicNanoseconds() + 300000000));
    ASSERT_TRUE(sound.FinishRecording(ArtifactPath("touch_server_clicks.wav")));
    std::vector<int16_t> recording = sound.ReadRecording();
    std::vector<double> latencies;
    size_t from = 0;
    for (int64_t moment : written) {
        while (from < recording.size() && std::abs(recording[from]) < 1000)
            ++from;
        ASSERT_LT(from, recording.size()) << "click " << latencies.size() + 1 << " is missing";
        latencies.push_back((RecordedMoment(sound, from) - moment) / 1e6);
        EXPECT_GT(latencies.back(),
                  -(recordingBlockMilliseconds + sound.RecordingStartUncertainty() / 1e6));
        EXPECT_LT(latencies.back(), 500.0);
        from += click.size();
    }
    // The recording's clock reads up to one of the sink's blocks early, as it does for the
    // touches: the difference of the two medians is the program's own share.
    char text[200];
    std::snprintf(text, sizeof text,
                  "sound server alone, click written to heard over %zu clicks: median %.1f ms, "
                  "worst %.1f ms on the recording's clock\n",
                  latencies.size(), Median(latencies),
                  *std::max_element(latencies.begin(), latencies.end()));
    ReportFigures("touch_server_latency.txt", text);
}

} // namespace
