// The event filter fed SDL events directly: which keys sound, which stay pressed, what the
// screen shows, and the ways out.
#include <gtest/gtest.h>

#include <random>

#include "assets/assets.h"
#include "audio/voices.h"
#include "keyboard/touch.h"
#include "screen/draw.h"
#include "support.h"

namespace {

SDL_Event Button(Uint8 state, int x, int y) {
    SDL_Event event{};
    event.button = {Uint8(state ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP),
                    0,
                    SDL_BUTTON_LEFT,
                    state,
                    Uint16(x),
                    Uint16(y)};
    return event;
}
SDL_Event Down(int x, int y) {
    return Button(SDL_PRESSED, x, y);
}
SDL_Event Up(int x, int y) {
    return Button(SDL_RELEASED, x, y);
}
SDL_Event Move(int x, int y, Uint8 buttons = SDL_BUTTON(1)) {
    SDL_Event event{};
    event.motion = {SDL_MOUSEMOTION, 0, buttons, Uint16(x), Uint16(y), 0, 0};
    return event;
}
SDL_Event OfType(Uint8 type) {
    SDL_Event event{};
    event.type = type;
    return event;
}

int SlotOf(const uint8_t *sample) {
    for (int slot = 0; slot < sampleCount; ++slot)
        if (sample && sampleBankData[slot] == sample)
            return slot;
    return -1;
}

// The slots of the samples started since the voices were silenced, in order.
std::vector<int> StartedSlots() {
    std::vector<int> slots;
    for (int voice = 0; voice < voiceCount && !IsVoiceIdle(voice); ++voice)
        slots.push_back(SlotOf(voiceTable[voice].sample.load()));
    return slots;
}

// The slots of the pressed keys.
std::vector<int> PressedSlots() {
    std::vector<int> slots;
    for (int index = 0; index < keyTable.count; ++index)
        if (keyTable.keys[index].isPressed)
            slots.push_back(SlotOf(keyTable.keys[index].sampleData));
    return slots;
}

// Starts each case from a released keyboard on the screen and silent voices.
void ResetPiano() {
    ResetKeys();
    DrawKeyboard();
    updatedRects.clear();
    SilenceVoices();
    quitRequested = 0;
    exitRequested = 0;
}

// Points on the right column's lowest white keys (slots 0, 1, 2), away from black keys; the
// exit button is the 30 x 5 strip at the top right.
const int x = 200, lowC = 297, lowD = 252, lowE = 207;

TEST(Touch, EventSequences) {
    StartTestScreen();
    const struct {
        const char *what;
        std::vector<SDL_Event> events;
        std::vector<int> started; // sample slots, in order
        std::vector<int> pressed; // slots of the keys held at the end
        std::vector<int> passed;  // the filter's result for each event
        int32_t exit;
    } cases[] = {
        {"tap", {Down(x, lowC), Up(x, lowC)}, {0}, {}, {0, 0}, 0},
        {"tap the same key twice",
         {Down(x, lowC), Up(x, lowC), Down(x, lowC), Up(x, lowC)},
         {0, 0},
         {},
         {0, 0, 0, 0},
         0},
        {"hold still", {Down(x, lowC), Move(x, lowC), Move(x, lowC)}, {0}, {0}, {0, 0, 0}, 0},
        {"move within a key",
         {Down(130, 310), Move(230, 278), Move(125, 318)},
         {0},
         {0},
         {0, 0, 0},
         0},
        {"drag across keys",
         {Down(x, lowC), Move(x, lowD), Move(x, lowE), Up(x, lowE)},
         {0, 1, 2},
         {},
         {0, 0, 0, 0},
         0},
        {"drag out and back",
         {Down(x, lowC), Move(x, lowD), Move(x, lowC)},
         {0, 1, 0},
         {0},
         {0, 0, 0},
         0},
        {"drag onto a black key's margin rows",
         {Down(130, 312), Move(130, 300)},
         {0, 7},
         {7},
         {0, 0},
         0},
        {"motion with no button held",
         {Move(x, lowC, 0), Move(x, lowD, 0), Move(100, lowC, 0)},
         {0, 1, 12},
         {12},
         {0, 0, 0},
         0},
        {"press above the keys, on the exit button too",
         {Down(x, lowC), Down(x, 2), Down(235, 4)},
         {0},
         {},
         {0, 0, 0},
         0},
        {"lift on the exit button", {Down(x, lowC), Up(235, 2)}, {0}, {}, {0, 1}, 1},
        {"press the exit button, lift elsewhere", {Down(235, 2), Up(x, lowC)}, {}, {}, {0, 0}, 0},
        {"lift outside the screen", {Down(x, lowC), Up(300, 400)}, {0}, {}, {0, 0}, 0},
        {"quit requests",
         {OfType(SDL_QUIT), OfType(SDL_QUIT), OfType(SDL_QUIT)},
         {},
         {},
         {0, 1, 1},
         0},
        {"other events", {OfType(SDL_KEYDOWN), OfType(SDL_ACTIVEEVENT)}, {}, {}, {0, 0}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ResetPiano();
        std::vector<int> passed;
        for (const SDL_Event &event : c.events) {
            std::vector<Uint16> before = ScreenPixels();
            passed.push_back(EventFilter(&event));
            ASSERT_EQ(CheckAgainstFullRedraw(before), "") << "after event " << passed.size();
        }
        EXPECT_EQ(StartedSlots(), c.started);
        EXPECT_EQ(PressedSlots(), c.pressed);
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(exitRequested, c.exit);
    }
    SilenceVoices();
}

// A long random pen, held to the rule: the pen down or moving presses the key under it by
// the hit-map rule (or none), sounding it only when it was not already pressed; a lift
// releases all and ends the program on the exit button.
TEST(Touch, RandomPenFollowsTheRule) {
    StartTestScreen();
    ResetPiano();
    std::mt19937 random(9);
    Key *held = nullptr;
    for (int step = 0; step < 2000; ++step) {
        int px = random() % 260, py = random() % 340, kind = random() % 3;
        if (random() % 4 == 0) { // around the exit button's edges
            px = 200 + random() % 50;
            py = random() % 10;
        }
        SDL_Event event = kind == 0 ? Down(px, py) : kind == 1 ? Move(px, py, 0) : Up(px, py);
        Key *expected = kind == 2 ? nullptr : KeyByRule(px, py);
        bool sounds = expected && expected != held;
        bool exits = kind == 2 && px >= screenWidth - ExitButtonImage->w && px < screenWidth &&
                     py < ExitButtonImage->h;
        held = expected;
        SilenceVoices();
        exitRequested = 0;
        std::vector<Uint16> before = ScreenPixels();
        EventFilter(&event);
        SCOPED_TRACE("step " + std::to_string(step));
        ASSERT_EQ(CheckAgainstFullRedraw(before), "");
        ASSERT_EQ(PressedSlots(),
                  held ? std::vector<int>{SlotOf(held->sampleData)} : std::vector<int>{});
        ASSERT_EQ(StartedSlots(),
                  sounds ? std::vector<int>{SlotOf(held->sampleData)} : std::vector<int>{});
        ASSERT_EQ(exitRequested, exits);
    }
    SilenceVoices();
}

} // namespace
