#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/assets.h"
#include "audio/voices.h"
#include "keyboard/keys.h"
#include "keyboard/touch.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"
#include "test_screen.h"

namespace {

SDL_Event Button(Uint8 type, Uint8 state, int x, int y) {
    SDL_Event event{};
    event.button.type = type;
    event.button.state = state;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.x = static_cast<Uint16>(x);
    event.button.y = static_cast<Uint16>(y);
    return event;
}

SDL_Event Down(int x, int y) {
    return Button(SDL_MOUSEBUTTONDOWN, SDL_PRESSED, x, y);
}

SDL_Event Up(int x, int y) {
    return Button(SDL_MOUSEBUTTONUP, SDL_RELEASED, x, y);
}

SDL_Event Move(int x, int y, Uint8 buttons = SDL_BUTTON(1)) {
    SDL_Event event{};
    event.motion.type = SDL_MOUSEMOTION;
    event.motion.state = buttons;
    event.motion.x = static_cast<Uint16>(x);
    event.motion.y = static_cast<Uint16>(y);
    return event;
}

SDL_Event Quit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    return event;
}

// Keys redrawn, in order, found by the first rectangle of each screen update.
std::vector<int> redrawn;
decltype(sdl.SDL_UpdateRect) realUpdateRect;
decltype(sdl.SDL_UpdateRects) realUpdateRects;

int KeyAtRect(int x, int y) {
    for (int i = 0; i < keyTable.count; ++i)
        if (keyTable.keys[i].x == x && keyTable.keys[i].y == y)
            return i;
    return -1;
}

void RecordUpdateRect(SDL_Surface *screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    redrawn.push_back(KeyAtRect(x, y));
    realUpdateRect(screen, x, y, w, h);
}

void RecordUpdateRects(SDL_Surface *screen, int count, SDL_Rect *rects) {
    redrawn.push_back(KeyAtRect(rects[0].x, rects[0].y));
    realUpdateRects(screen, count, rects);
}

// The sample slots started since the voices were silenced, in order of starting.
std::vector<int> StartedSlots() {
    std::vector<int> slots;
    for (int v = 0; v < voiceCount && !IsVoiceIdle(v); ++v) {
        const uint8_t *sample = voiceTable[v].sample.load();
        int slot = -1;
        for (int s = 0; s < sampleCount; ++s)
            if (sampleBankData[s] == sample)
                slot = s;
        slots.push_back(slot);
    }
    return slots;
}

std::vector<int> PressedKeys() {
    std::vector<int> pressed;
    for (int i = 0; i < keyTable.count; ++i)
        if (keyTable.keys[i].isPressed)
            pressed.push_back(i);
    return pressed;
}

struct TouchCase {
    std::string what;
    std::vector<SDL_Event> events;
    std::vector<int> started; // sample slots, in order
    std::vector<int> pressed; // keys held at the end
    std::vector<int> redrawn; // keys redrawn, in order; unchecked when empty
    std::vector<int> passed;  // filter results, one per event; unchecked when empty
    int32_t exit;             // whether the program is to end
};

// Points on the layout: the middle of the right column's lowest keys, away from black keys.
const int lowC = 297, lowD = 252, lowE = 207, column = 200;

TEST(Touch, EventSequences) {
    StartTestScreen();
    const std::vector<TouchCase> cases = {
        {"tap", {Down(column, lowC), Up(column, lowC)}, {0}, {}, {0, 0}, {0, 0}, 0},
        {"tap the same key twice",
         {Down(column, lowC), Up(column, lowC), Down(column, lowC), Up(column, lowC)},
         {0, 0},
         {},
         {0, 0, 0, 0},
         {},
         0},
        {"hold still",
         {Down(column, lowC), Move(column, lowC), Move(column, lowC)},
         {0},
         {0},
         {0},
         {0, 0, 0},
         0},
        {"move within a key",
         {Down(130, 310), Move(230, 278), Move(125, 318)},
         {0},
         {0},
         {0},
         {},
         0},
        {"drag across several keys",
         {Down(column, lowC), Move(column, lowD), Move(column, lowE), Up(column, lowE)},
         {0, 1, 2},
         {},
         {0, 1, 0, 2, 1, 2},
         {},
         0},
        {"drag out and back",
         {Down(column, lowC), Move(column, lowD), Move(column, lowC)},
         {0, 1, 0},
         {0},
         {0, 1, 0, 0, 1},
         {},
         0},
        {"drag onto a black key's margin rows",
         {Down(130, 312), Move(130, 300)},
         {0, 7},
         {14},
         {0, 14, 0},
         {},
         0},
        {"motion with no button held",
         {Move(column, lowC, 0), Move(column, lowD, 0), Move(100, lowC, 0)},
         {0, 1, 12},
         {7},
         {},
         {0, 0, 0},
         0},
        {"press above the keys",
         {Down(column, lowC), Down(column, 2), Down(235, 4)},
         {0},
         {},
         {0, 0},
         {0, 0, 0},
         0},
        {"press a key, lift on the exit button",
         {Down(column, lowC), Up(235, 2)},
         {0},
         {},
         {0, 0},
         {0, 1},
         1},
        {"press the exit button, lift elsewhere",
         {Down(235, 2), Up(column, lowC)},
         {},
         {},
         {},
         {0, 0},
         0},
        {"a release outside the screen",
         {Down(column, lowC), Up(300, 400)},
         {0},
         {},
         {0, 0},
         {0, 0},
         0},
        {"first and second quit request", {Quit(), Quit(), Quit()}, {}, {}, {}, {0, 1, 1}, 0},
        {"other events are dropped",
         {SDL_Event{SDL_KEYDOWN}, SDL_Event{SDL_ACTIVEEVENT}},
         {},
         {},
         {},
         {0, 0},
         0},
    };
    realUpdateRect = sdl.SDL_UpdateRect;
    realUpdateRects = sdl.SDL_UpdateRects;
    sdl.SDL_UpdateRect = RecordUpdateRect;
    sdl.SDL_UpdateRects = RecordUpdateRects;
    for (const TouchCase &c : cases) {
        SCOPED_TRACE(c.what);
        ResetTestKeys();
        DrawKeyboard();
        SilenceVoices();
        quitRequested = 0;
        exitRequested = 0;
        redrawn.clear();
        std::vector<int> passed;
        for (const SDL_Event &event : c.events)
            passed.push_back(EventFilter(&event));
        EXPECT_EQ(StartedSlots(), c.started);
        EXPECT_EQ(PressedKeys(), c.pressed);
        if (!c.redrawn.empty()) {
            EXPECT_EQ(redrawn, c.redrawn);
        }
        if (!c.passed.empty()) {
            EXPECT_EQ(passed, c.passed);
        }
        EXPECT_EQ(exitRequested, c.exit);
    }
    sdl.SDL_UpdateRect = realUpdateRect;
    sdl.SDL_UpdateRects = realUpdateRects;
    SilenceVoices();
}

} // namespace
