// A demonstration for a machine without a display: the real piano on a virtual screen and a
// recorded sound server, played with real pen events. Leaves a picture of the splash, one of
// the keyboard with a key held, and the recording.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

struct Point {
    int x, y;
};

// Where to touch a note: right column C4..B4, left column C5..B5, from the bottom up.
Point NotePoint(const std::string &note) {
    static const char *const naturals[] = {"C", "D", "E", "F", "G", "A", "B"};
    static const int whiteTops[] = {275, 230, 185, 140, 95, 50, 5};
    static const struct {
        const char *name;
        int top;
    } sharps[] = {{"C#", 266}, {"D#", 212}, {"F#", 131}, {"G#", 82}, {"A#", 32}};
    int column = note.back() == '4' ? 120 : 0;
    std::string name = note.substr(0, note.size() - 1);
    for (int i = 0; i < 7; ++i)
        if (name == naturals[i])
            return {column + 100, whiteTops[i] + 22};
    for (const auto &sharp : sharps)
        if (name == sharp.name)
            return {column + 36, sharp.top + 13};
    return {column + 100, 297};
}

void Pause(int milliseconds) {
    WaitUntil([] { return false; }, milliseconds);
}

// One note: pen down, held for most of its length, lifted.
void Tap(XScreen &screen, const std::string &note, int milliseconds) {
    Point point = NotePoint(note);
    screen.PenDown(point.x, point.y);
    Pause(milliseconds * 2 / 3);
    screen.PenUp(point.x, point.y);
    Pause(milliseconds / 3);
}

// A slide up a column, from its lowest key to its highest, entering every key on the way.
void Glissando(XScreen &screen, int x) {
    screen.PenDown(x, 318);
    for (int y = 318; y >= 6; y -= 3) {
        screen.PenMove(x, y);
        Pause(12);
    }
    screen.PenUp(x, 6);
    Pause(400);
}

bool Fail(const std::string &message) {
    fprintf(stderr, "velmora demo: %s\n", message.c_str());
    return false;
}

bool RunDemo(const std::string &directory) {
    std::filesystem::create_directories(directory);
    Stage stage;
    std::string error;
    if (!stage.Start(&error))
        return Fail("the virtual display or sound server did not start: " + error);
    if (!stage.Launch())
        return Fail("the piano did not start");
    Screenshot splash;
    bool splashSeen = WaitUntil(
        [&] {
            splash = stage.screen.TakeScreenshot();
            return CountSplashMismatches(splash) == 0;
        },
        10000);
    if (!splashSeen)
        return Fail("the splash never appeared: " + stage.program.Errors());
    splash.SavePng(directory + "/splash.png");
    if (!WaitForSplashToGo(stage.screen, 15000))
        return Fail("the keyboard never appeared: " + stage.program.Errors());

    const std::vector<std::pair<std::string, int>> tune = {
        {"C4", 300},  {"E4", 300}, {"G4", 300},  {"C5", 600},  {"B4", 300}, {"G4", 300},
        {"D5", 600},  {"C5", 300}, {"A4", 300},  {"F4", 300},  {"A4", 300}, {"G4", 900},
        {"F#4", 300}, {"G4", 300}, {"A#4", 300}, {"C#5", 300}, {"E5", 300}, {"G5", 600},
    };
    for (const auto &[note, milliseconds] : tune)
        Tap(stage.screen, note, milliseconds);

    // Hold a chord-ending key long enough to be seen held on screen.
    Point held = NotePoint("C5");
    stage.screen.PenDown(held.x, held.y);
    Pause(150);
    stage.screen.TakeScreenshot().SavePng(directory + "/keyboard.png");
    Pause(900);
    stage.screen.PenUp(held.x, held.y);
    Pause(300);

    Glissando(stage.screen, 200);
    Pause(1500);

    // The exit button sits in the top-right corner, above the keys.
    stage.screen.PenDown(225, 2);
    stage.screen.PenUp(225, 2);
    ExitStatus status = stage.program.WaitForExit(10000);
    if (!status.ended) {
        stage.program.Signal(SIGKILL);
        return Fail("the piano did not end on the exit button");
    }
    Pause(300);
    if (!stage.sound.FinishRecording(directory + "/performance.wav"))
        return Fail("the recording could not be written");
    printf("velmora demo: the piano %s\n", DescribeExit(status).c_str());
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::string directory = argc > 1 ? argv[1] : "demo";
    if (!RunDemo(directory))
        return 1;
    printf("velmora demo: splash    %s/splash.png\n", directory.c_str());
    printf("velmora demo: keyboard  %s/keyboard.png (C5 held)\n", directory.c_str());
    printf("velmora demo: recording %s/performance.wav\n", directory.c_str());
    return 0;
}
