// The key table, the hit map and drawing, on the real SDL library with the generated pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "assets/assets.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"
#include "support.h"

namespace {

TEST(Keyboard, TableHoldsTwoChromaticOctaves) {
    StartTestScreen();
    ResetKeys();
    ASSERT_EQ(keyTable.count, 24);
    std::vector<const Key *> columns[2];
    for (int index = 0; index < 24; ++index) {
        const Key &key = keyTable.keys[index];
        SCOPED_TRACE(index);
        // White keys first, so that the black keys own the pixels where they overlap.
        EXPECT_EQ(key.isBlack, index >= 14);
        EXPECT_EQ(key.hitMargin > 0, key.isBlack == 1);
        // The right column is the lower octave.
        ASSERT_TRUE(key.x == 0 || key.x == 120);
        ASSERT_NE(SlotOf(key.sampleData), -1);
        EXPECT_EQ(SlotOf(key.sampleData) / 12, key.x == 0);
        columns[key.x == 0].push_back(&key);
    }
    // The semitone above C of each slot's note: the naturals C to B, then the five sharps.
    const int semitone[12] = {0, 2, 4, 5, 7, 9, 11, 1, 3, 6, 8, 10};
    for (auto &column : columns) {
        // From the bottom up, the notes rise a semitone a key: with the octave of each column,
        // every sample lies on exactly one key.
        ASSERT_EQ(column.size(), 12u);
        std::sort(column.begin(), column.end(),
                  [](const Key *a, const Key *b) { return a->y + a->h / 2 > b->y + b->h / 2; });
        for (int step = 0; step < 12; ++step)
            EXPECT_EQ(semitone[SlotOf(column[step]->sampleData) % 12], step);
        // The white keys tile the column from row 5 down; each black key lies across two.
        std::vector<int> whites(screenHeight, 0);
        for (const Key *key : column)
            for (int row = key->y; row < key->y + key->h && !key->isBlack; ++row)
                ++whites[row];
        for (int row = 0; row < screenHeight; ++row)
            EXPECT_EQ(whites[row], row >= 5) << "row " << row;
        for (const Key *black : column) {
            int across = 0;
            for (const Key *key : column)
                across +=
                    !key->isBlack && key->y < black->y + black->h && black->y < key->y + key->h;
            EXPECT_EQ(across, black->isBlack ? 2 : 1);
        }
    }
    // Nothing can be touched in rows 0 to 4, where the exit button lies.
    for (int x = 0; x < screenWidth; ++x)
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(KeyByRule(x, y), nullptr);
    EXPECT_LE(ExitButtonImage->h, 5);
    for (int count = keyTable.count; count < keyTableSize; ++count)
        EXPECT_TRUE(AddKey(0, 0, KeyKind::white, 0, 0));
    EXPECT_FALSE(AddKey(0, 0, KeyKind::white, 0, 0)) << "a 37th key";
}

TEST(Keyboard, HitMapNamesTheLastKeyWhoseAreaHoldsThePoint) {
    StartTestScreen();
    for (bool pastTheEdges : {false, true}) {
        ResetKeys();
        if (pastTheEdges) { // keys reaching past every edge of the screen
            keyTable.count = 0;
            AddKey(200, 300, KeyKind::white, 0, 0);
            AddKey(-50, 2, KeyKind::black1, 1, 7);
            AddKey(180, -20, KeyKind::black2, 1, 8);
            AddKey(100, 310, KeyKind::black3, 1, 9);
            FillHitMap();
        }
        for (int x = -1; x <= screenWidth; ++x)
            for (int y = -1; y <= screenHeight; ++y)
                ASSERT_EQ(FindKeyAt(x, y), KeyByRule(x, y)) << x << "," << y << " " << pastTheEdges;
    }
}

TEST(Keyboard, DrawingAKeyShowsWhatAFullRedrawShows) {
    StartTestScreen();
    ResetKeys();
    DrawKeyboard();
    // Keys pressed and released in random order, so that white keys are redrawn beside
    // pressed and released black keys alike.
    std::mt19937 random(5);
    for (int step = 0; step < 300; ++step) {
        Key &key = keyTable.keys[random() % 24];
        std::vector<Uint16> before = ScreenPixels();
        updatedRects.clear();
        key.isPressed = !key.isPressed;
        DrawKey(&key);
        EXPECT_NE(ScreenPixels(), before) << "step " << step << ": no change on the screen";
        ASSERT_EQ(CheckAgainstFullRedraw(before), "") << "step " << step;
    }
}

TEST(Keyboard, SplashShowsTheEmbeddedPicture) {
    StartTestScreen();
    ShowSplash();
    std::vector<Uint16> shown = ScreenPixels();
    for (int index = 0; index < screenWidth * screenHeight; ++index) {
        const unsigned char *rgba = splashPixels + 4 * index;
        ASSERT_EQ(shown[index], sdl.SDL_MapRGB(screenSurface->format, rgba[0], rgba[1], rgba[2]))
            << "pixel " << index;
    }
}

} // namespace
