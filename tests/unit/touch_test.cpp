// The event filter fed SDL events directly: which keys sound, which stay pressed, what the
// screen shows, and the ways out.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "assets/assets.h"
#include "audio/voices.h"
#include "input/touch.h"
#include "screen/draw.h"
#include "support.h"

namespace {

// The SampleBank slot of a sample, or -1.
int SlotOf(const uint8_t *sample) {
    for (int slot = 0; slot < sampleCount; ++slot)
        if (sample && sampleBankData[slot] == sample)
            return slot;
    return -1;
}

// The slots of the samples started since the voices were silenced, and of the keys pressed.
std::vector<int> StartedSlots() {
    std::vector<int> slots;
    for (int voice = 0; voice < voiceCount && !IsVoiceIdle(voice); ++voice)
        slots.push_back(SlotOf(voiceTable[voice].sample.load()));
    return slots;
}
std::vector<int> PressedSlots() {
    std::vector<int> slots;
    for (int index = 0; index < keyTable.count; ++index)
        if (keyTable.keys[index].isPressed)
            slots.push_back(SlotOf(keyTable.keys[index].sampleData));
    return slots;
}

// A released keyboard on the screen, the pen up, silent voices, no quit or exit asked for.
void ResetPiano(ScreenMode mode = fullScreenMode) {
    SDL_Event lift = MakeEvent('u', screenWidth, screenHeight);
    screenMode = mode;
    ResetKeys();
    EventFilter(&lift);
    DrawKeyboard();
    updatedRects.clear();
    SilenceVoices();
    quitRequested = 0;
    exitRequested = 0;
}

// x = 200 lies right of every black key; lowC, lowD and lowE are the middle rows of the right
// column's lowest white keys (slots 0, 1, 2). The exit button is the 30 x 5 strip top right.
const int x = 200, lowC = 297, lowD = 252, lowE = 207;

TEST(Touch, EventSequences) {
    StartTestScreen();
    const struct {
        const char *what;
        std::vector<std::tuple<char, int, int>> events; // kind, x, y
        std::vector<int> started;                       // sample slots, in order
        std::vector<int> pressed;                       // slots of the keys held at the end
        std::vector<int> passed;                        // the filter's result for each event
        int32_t exit;
        ScreenMode mode = fullScreenMode;
    } cases[] = {
        // clang-format off
        {"hover with no button held", {{'h', x, lowC}, {'h', x, lowD}, {'h', 100, lowC}},
         {0, 1, 12}, {12}, {0, 0, 0}, 0},
        {"press above the keys and the exit button", {{'d', x, lowC}, {'d', x, 2}, {'d', 235, 4}},
         {0}, {}, {0, 0, 0}, 0},
        {"lift on the exit button", {{'d', x, lowC}, {'u', 235, 2}}, {0}, {}, {0, 1}, 1},
        {"press the exit button, lift elsewhere", {{'d', 235, 2}, {'u', x, lowC}}, {}, {}, {0, 0},
         0},
        {"quit requests: the second and later pass", {{'q', 0, 0}, {'q', 0, 0}, {'q', 0, 0}},
         {}, {}, {0, 1, 1}, 0},
        {"other events", {{'k', 0, 0}}, {}, {}, {0}, 0},
        // The pen is down from the press to the lift, whatever buttons a motion reports.
        {"window: hover plays nothing, a drag plays", {{'h', x, lowC}, {'m', x, lowC},
         {'d', x, lowD}, {'h', x, lowE}, {'u', x, lowE}, {'m', x, lowC}}, {1, 2}, {},
         {0, 0, 0, 0, 0, 0}, 0, windowMode},
        {"window: the first quit request passes", {{'q', 0, 0}}, {}, {}, {1}, 0, windowMode},
        {"window: the wheel plays nothing, nor ends", {{'w', x, lowC}, {'W', 235, 2}}, {}, {},
         {0, 0}, 0, windowMode},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ResetPiano(c.mode);
        std::vector<int> passed;
        for (const auto &[kind, px, py] : c.events) {
            std::vector<Uint16> before = ScreenPixels();
            SDL_Event event = MakeEvent(kind, px, py);
            passed.push_back(EventFilter(&event));
            ASSERT_EQ(CheckAgainstFullRedraw(before), "") << "after event " << passed.size();
        }
        EXPECT_EQ(StartedSlots(), c.started);
        EXPECT_EQ(PressedSlots(), c.pressed);
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(exitRequested, c.exit);
    }
}

// A long random pen, full screen, held to the rule: down or moving, button held or not, it
// presses the key under it by the hit-map rule (or none), sounding it only when it was not
// pressed already; a lift releases every key. Taps, drags, margins and the off-screen come up.
TEST(Touch, RandomPenFollowsTheRule) {
    StartTestScreen();
    ResetPiano();
    std::mt19937 random(9);
    Key *held = nullptr;
    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        int px = random() % 260, py = random() % 340, kind = random() % 4;
        Key *pressed = kind == 3 ? nullptr : KeyByRule(px, py);
        std::vector<int> sounds;
        if (pressed && pressed != held)
            sounds.push_back(SlotOf(pressed->sampleData));
        held = pressed;
        SilenceVoices();
        std::vector<Uint16> before = ScreenPixels();
        SDL_Event event = MakeEvent("dmhu"[kind], px, py);
        EventFilter(&event);
        ASSERT_EQ(CheckAgainstFullRedraw(before), "");
        ASSERT_EQ(PressedSlots(),
                  held ? std::vector<int>{SlotOf(held->sampleData)} : std::vector<int>{});
        ASSERT_EQ(StartedSlots(), sounds);
    }
}

// The exit button's picture, drawn alone, lights exactly the points where a lift ends the
// program (the picture has no black pixel of its own).
TEST(Touch, ExitButtonIsDrawnOverItsTouchArea) {
    StartTestScreen();
    keyTable = KeyTable{};
    DrawKeyboard();
    std::vector<Uint16> pixels = ScreenPixels();
    for (int index = 0; index < screenWidth * screenHeight; ++index) {
        exitRequested = 0;
        CheckExitButton(index % screenWidth, index / screenWidth);
        ASSERT_EQ(exitRequested, pixels[index] != 0)
            << "at " << index % screenWidth << "," << index / screenWidth;
    }
}

} // namespace
