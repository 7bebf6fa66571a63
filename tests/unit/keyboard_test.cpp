// The key table, the hit map and drawing, on the real SDL library with the generated pictures.
#include <gtest/gtest.h>

#include <random>

#include "assets/assets.h"
#include "screen/draw.h"
#include "sdl/sdl_api.h"
#include "support.h"

namespace {

// Which key plays which sample, rising a semitone a key, is heard key by key end to end.
TEST(Keyboard, TableTilesTwoColumns) {
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
        ASSERT_TRUE(key.x == 0 || key.x == 120);
        columns[key.x == 0].push_back(&key);
    }
    for (auto &column : columns) {
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
