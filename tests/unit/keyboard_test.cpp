#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "assets/assets.h"
#include "keyboard/keys.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"
#include "test_screen.h"

namespace {

class Keyboard : public testing::Test {
  protected:
    void SetUp() override {
        StartTestScreen();
        ResetTestKeys();
    }
};

int IndexOf(const Key *key) {
    return key ? static_cast<int>(key - keyTable.keys) : -1;
}

struct ExpectedKey {
    int x, y;
    KeyKind kind;
    int slot;
};

TEST_F(Keyboard, TableHoldsTheTwoOctaveLayout) {
    const ExpectedKey expected[24] = {
        {120, 275, KeyKind::white, 0},  {120, 230, KeyKind::white, 1},
        {120, 185, KeyKind::white, 2},  {120, 140, KeyKind::white, 3},
        {120, 95, KeyKind::white, 4},   {120, 50, KeyKind::white, 5},
        {120, 5, KeyKind::white, 6},    {0, 275, KeyKind::white, 12},
        {0, 230, KeyKind::white, 13},   {0, 185, KeyKind::white, 14},
        {0, 140, KeyKind::white, 15},   {0, 95, KeyKind::white, 16},
        {0, 50, KeyKind::white, 17},    {0, 5, KeyKind::white, 18},
        {120, 266, KeyKind::black1, 7}, {120, 212, KeyKind::black3, 8},
        {120, 131, KeyKind::black1, 9}, {120, 82, KeyKind::black2, 10},
        {120, 32, KeyKind::black3, 11}, {0, 266, KeyKind::black1, 19},
        {0, 212, KeyKind::black3, 20},  {0, 131, KeyKind::black1, 21},
        {0, 82, KeyKind::black2, 22},   {0, 32, KeyKind::black3, 23},
    };
    // Released picture, pressed picture and touch margin of each kind.
    const struct {
        ImageIndex image, pressed;
        int margin;
    } kinds[] = {{},
                 {imageWhite, imageWhitePressed, 0},
                 {imageBlack1, imageBlack1Pressed, 13},
                 {imageBlack2, imageBlack2Pressed, 10},
                 {imageBlack3, imageBlack3Pressed, 13}};
    ASSERT_EQ(keyTable.count, 24);
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE("key " + std::to_string(i));
        const Key &key = keyTable.keys[i];
        const auto &kind = kinds[static_cast<int>(expected[i].kind)];
        EXPECT_EQ(key.x, expected[i].x);
        EXPECT_EQ(key.y, expected[i].y);
        EXPECT_EQ(key.image, keyImages[kind.image]);
        EXPECT_EQ(key.pressedImage, keyImages[kind.pressed]);
        EXPECT_EQ(key.w, keyImages[kind.image]->w);
        EXPECT_EQ(key.h, keyImages[kind.image]->h);
        EXPECT_EQ(key.hitMargin, kind.margin);
        EXPECT_EQ(key.isBlack, expected[i].kind == KeyKind::white ? 0 : 1);
        EXPECT_EQ(key.isPressed, 0);
        EXPECT_EQ(key.sampleData, sampleBankData[expected[i].slot]);
        EXPECT_EQ(key.sampleLength, sampleBankLength[expected[i].slot]);
        EXPECT_NE(key.sampleData, nullptr);
    }
}

TEST_F(Keyboard, TableRefusesKeysBeyondItsPlaces) {
    for (int i = keyTable.count; i < keyTableSize; ++i)
        EXPECT_TRUE(AddKey(0, 0, KeyKind::white, 0, 0));
    const Key last = keyTable.keys[keyTableSize - 1];
    EXPECT_FALSE(AddKey(5, 5, KeyKind::black1, 1, 3));
    EXPECT_EQ(keyTable.count, keyTableSize);
    EXPECT_EQ(memcmp(&last, &keyTable.keys[keyTableSize - 1], sizeof last), 0);
}

// The white key of the layout whose picture covers a point.
int WhiteKeyAt(int x, int y) {
    for (int i = 0; i < 14; ++i) {
        const Key &key = keyTable.keys[i];
        if (x >= key.x && x < key.x + key.w && y >= key.y && y < key.y + key.h)
            return i;
    }
    return -1;
}

TEST_F(Keyboard, HitMapNamesTheKeyUnderEveryPoint) {
    struct Probe {
        std::string what;
        int x, y, expected;
    };
    std::vector<Probe> probes;
    for (int x : {0, 60, 119, 120, 200, 239})
        for (int y = 0; y < 5; ++y)
            probes.push_back({"above the keys", x, y, -1});
    for (int i = 0; i < 14; ++i) {
        const Key &key = keyTable.keys[i];
        probes.push_back({"white middle", key.x + key.w - 10, key.y + key.h / 2, i});
    }
    // Where the touch areas of neighbouring black keys meet, the later key owns the row.
    auto owner = [](int key, const std::string &what, int otherwise) {
        int shift = key < 19 ? 0 : 5; // the left column's black keys are five places on
        if (key - shift == 16 && (what == "margin above" || what == "past margin above"))
            return 17 + shift;
        if (key - shift == 17 && what == "past margin above")
            return 18 + shift;
        if (key - shift == 17 && what == "past margin below")
            return 16 + shift;
        if (key - shift == 18 && what == "past margin below")
            return 17 + shift;
        return otherwise;
    };
    for (int i = 14; i < 24; ++i) {
        const Key &key = keyTable.keys[i];
        int top = key.y, bottom = key.y + key.h - 1, margin = key.hitMargin;
        int inside = key.x + 1, right = key.x + key.w, middle = top + key.h / 2;
        const std::vector<std::pair<std::string, int>> rows = {
            {"black picture", middle},         {"one row above", top - 1},
            {"margin above", top - margin},    {"one row below", bottom + 1},
            {"margin below", bottom + margin},
        };
        for (const auto &[what, row] : rows)
            probes.push_back({what, inside, row, owner(i, what, i)});
        for (int row : {top - margin - 1, bottom + margin + 1}) {
            std::string what = row < top ? "past margin above" : "past margin below";
            probes.push_back({what, inside, row, owner(i, what, WhiteKeyAt(inside, row))});
        }
        probes.push_back({"right of picture", right, middle, WhiteKeyAt(right, middle)});
        probes.push_back({"last black column", right - 1, top + 1, i});
    }
    // The top white keys' bottom corners: the black key at row 32 reaches the left one.
    probes.push_back({"top right white, bottom left corner", 120, 49, 18});
    probes.push_back({"top left white, bottom left corner", 0, 49, 23});
    probes.push_back({"top right white, bottom right corner", 239, 49, 6});
    probes.push_back({"off screen left", -1, 100, -1});
    probes.push_back({"off screen below", 100, 320, -1});
    probes.push_back({"off screen right", 240, 100, -1});
    for (const Probe &probe : probes) {
        SCOPED_TRACE(probe.what + " at " + std::to_string(probe.x) + "," + std::to_string(probe.y));
        EXPECT_EQ(IndexOf(FindKeyAt(probe.x, probe.y)), probe.expected);
    }
}

TEST_F(Keyboard, HitMapFillsOnlyTheOnScreenPartOfAPicture) {
    keyTable = KeyTable{};
    ASSERT_TRUE(AddKey(200, 300, KeyKind::white, 0, 0)); // reaches past the right and bottom
    ASSERT_TRUE(AddKey(-50, 2, KeyKind::black1, 1, 7));  // margin above row 0, left of column 0
    FillHitMap();
    int blackEnd = keyImages[imageBlack1]->w - 50;
    EXPECT_EQ(IndexOf(FindKeyAt(239, 319)), 0);
    EXPECT_EQ(IndexOf(FindKeyAt(200, 300)), 0);
    EXPECT_EQ(IndexOf(FindKeyAt(199, 310)), -1);
    EXPECT_EQ(IndexOf(FindKeyAt(0, 0)), 1);
    EXPECT_EQ(IndexOf(FindKeyAt(blackEnd - 1, 2 + 27 + 12)), 1);
    EXPECT_EQ(IndexOf(FindKeyAt(blackEnd, 10)), -1);
}

// The screen as the pictures say it should look: the exit button, then every key in order.
std::vector<Uint16> ExpectedScreen() {
    std::vector<Uint16> screen(screenWidth * screenHeight, 0);
    auto paint = [&](SDL_Surface *picture, int left, int top) {
        SDL_PixelFormat *format = picture->format;
        for (int y = 0; y < picture->h; ++y)
            for (int x = 0; x < picture->w; ++x) {
                int sx = left + x, sy = top + y;
                if (sx < 0 || sy < 0 || sx >= screenWidth || sy >= screenHeight)
                    continue;
                const Uint8 *at = static_cast<Uint8 *>(picture->pixels) + y * picture->pitch +
                                  x * format->BytesPerPixel;
                Uint32 pixel = 0;
                memcpy(&pixel, at, format->BytesPerPixel);
                Uint8 r, g, b;
                sdl.SDL_GetRGB(pixel, format, &r, &g, &b);
                screen[sy * screenWidth + sx] =
                    static_cast<Uint16>(sdl.SDL_MapRGB(screenSurface->format, r, g, b));
            }
    };
    paint(ExitButtonImage, screenWidth - ExitButtonImage->w, 0);
    for (int i = 0; i < keyTable.count; ++i) {
        const Key &key = keyTable.keys[i];
        paint(key.isPressed ? key.pressedImage : key.image, key.x, key.y);
    }
    return screen;
}

std::vector<Uint16> ActualScreen() {
    std::vector<Uint16> screen(screenWidth * screenHeight);
    for (int y = 0; y < screenHeight; ++y)
        memcpy(&screen[y * screenWidth],
               static_cast<Uint8 *>(screenSurface->pixels) + y * screenSurface->pitch,
               screenWidth * 2);
    return screen;
}

// Counts the pixels where two screens differ, reporting the first.
int CountDifferences(const std::vector<Uint16> &actual, const std::vector<Uint16> &expected) {
    int differences = 0;
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i] && differences++ == 0)
            ADD_FAILURE() << "first difference at " << i % screenWidth << "," << i / screenWidth;
    return differences;
}

struct UpdateCall {
    std::vector<SDL_Rect> rects;
    bool single; // SDL_UpdateRect rather than SDL_UpdateRects
};
std::vector<UpdateCall> updateCalls;
decltype(sdl.SDL_UpdateRect) realUpdateRect;
decltype(sdl.SDL_UpdateRects) realUpdateRects;

void RecordUpdateRect(SDL_Surface *screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    updateCalls.push_back({{SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y),
                                     static_cast<Uint16>(w), static_cast<Uint16>(h)}},
                           true});
    realUpdateRect(screen, x, y, w, h);
}

void RecordUpdateRects(SDL_Surface *screen, int count, SDL_Rect *rects) {
    updateCalls.push_back({std::vector<SDL_Rect>(rects, rects + count), false});
    realUpdateRects(screen, count, rects);
}

bool SameRect(const SDL_Rect &a, const Key &key) {
    return a.x == key.x && a.y == key.y && a.w == key.w && a.h == key.h;
}

TEST_F(Keyboard, DrawingMatchesThePicturesAndUpdatesOnlyWhatChanged) {
    DrawKeyboard();
    EXPECT_EQ(CountDifferences(ActualScreen(), ExpectedScreen()), 0);

    realUpdateRect = sdl.SDL_UpdateRect;
    realUpdateRects = sdl.SDL_UpdateRects;
    sdl.SDL_UpdateRect = RecordUpdateRect;
    sdl.SDL_UpdateRects = RecordUpdateRects;
    struct Step {
        const char *what;
        int key;
        std::vector<int> listed; // keys in the update list, in order; empty for a black key
    };
    const Step steps[] = {
        {"black key pressed alone", 15, {}},
        {"white key beside a pressed black key", 1, {1, 15, 14}},
        {"white key at the top of a column", 13, {13, 23}},
        {"white key with no black key at its top", 2, {2, 15}},
        {"black key released", 15, {}},
        {"white key with black keys at both ends", 8, {8, 20, 19}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        Key &key = keyTable.keys[step.key];
        key.isPressed = !key.isPressed;
        std::vector<Uint16> before = ActualScreen();
        updateCalls.clear();
        DrawKey(&key);
        std::vector<Uint16> after = ActualScreen();
        EXPECT_EQ(CountDifferences(after, ExpectedScreen()), 0);
        ASSERT_EQ(updateCalls.size(), 1u);
        const UpdateCall &call = updateCalls[0];
        if (key.isBlack) {
            EXPECT_TRUE(call.single);
            ASSERT_EQ(call.rects.size(), 1u);
            EXPECT_TRUE(SameRect(call.rects[0], key));
            for (int y = 0; y < screenHeight; ++y) {
                for (int x = 0; x < screenWidth; ++x) {
                    bool inside =
                        x >= key.x && x < key.x + key.w && y >= key.y && y < key.y + key.h;
                    if (!inside) {
                        ASSERT_EQ(before[y * screenWidth + x], after[y * screenWidth + x])
                            << "changed outside the black key at " << x << "," << y;
                    }
                }
            }
        } else {
            EXPECT_FALSE(call.single);
            ASSERT_EQ(call.rects.size(), step.listed.size());
            for (size_t i = 0; i < step.listed.size(); ++i)
                EXPECT_TRUE(SameRect(call.rects[i], keyTable.keys[step.listed[i]])) << i;
        }
    }
    sdl.SDL_UpdateRect = realUpdateRect;
    sdl.SDL_UpdateRects = realUpdateRects;
}

} // namespace
