#include "keyboard/keys.h"

#include <cstring>

#include "assets/assets.h"

KeyTable keyTable;

// One byte per pixel, column by column: 0 for no key, else the key's index plus one.
static Uint8 hitMap[screenWidth * screenHeight];

static_assert(keyTableSize < 255, "a key index must fit the hit map's byte");

struct KindPictures {
    ImageIndex image;
    ImageIndex pressedImage;
    int32_t hitMargin;
};

// Indexed by KeyKind; entry 0 is unused.
static const KindPictures kindPictures[] = {
    {imageWhite, imageWhitePressed, 0},    {imageWhite, imageWhitePressed, 0},
    {imageBlack1, imageBlack1Pressed, 13}, {imageBlack2, imageBlack2Pressed, 10},
    {imageBlack3, imageBlack3Pressed, 13},
};

bool AddKey(int x, int y, KeyKind kind, int isBlack, int sampleSlot) {
    if (keyTable.count >= keyTableSize)
        return false;
    Key *key = &keyTable.keys[keyTable.count++];
    const KindPictures &pictures = kindPictures[static_cast<int>(kind)];
    *key = Key{};
    key->x = static_cast<Sint16>(x);
    key->y = static_cast<Sint16>(y);
    key->isBlack = static_cast<Uint8>(isBlack);
    key->image = keyImages[pictures.image];
    key->pressedImage = keyImages[pictures.pressedImage];
    if (key->image) {
        key->w = static_cast<Uint16>(key->image->w);
        key->h = static_cast<Uint16>(key->image->h);
    }
    key->hitMargin = pictures.hitMargin;
    if (sampleSlot >= 0 && sampleSlot < sampleCount) {
        key->sampleData = sampleBankData[sampleSlot];
        key->sampleLength = sampleBankLength[sampleSlot];
    }
    return true;
}

struct KeyPlace {
    int x;
    int y;
    KeyKind kind;
    int sampleSlot;
};

// Each column runs from the bottom up; the right column is the lower octave.
static const KeyPlace whiteKeys[] = {
    {120, 275, KeyKind::white, 0}, {120, 230, KeyKind::white, 1}, {120, 185, KeyKind::white, 2},
    {120, 140, KeyKind::white, 3}, {120, 95, KeyKind::white, 4},  {120, 50, KeyKind::white, 5},
    {120, 5, KeyKind::white, 6},   {0, 275, KeyKind::white, 12},  {0, 230, KeyKind::white, 13},
    {0, 185, KeyKind::white, 14},  {0, 140, KeyKind::white, 15},  {0, 95, KeyKind::white, 16},
    {0, 50, KeyKind::white, 17},   {0, 5, KeyKind::white, 18},
};

// Black keys come after all white keys so that they own the pixels where they overlap.
static const KeyPlace blackKeys[] = {
    {120, 266, KeyKind::black1, 7}, {120, 212, KeyKind::black3, 8}, {120, 131, KeyKind::black1, 9},
    {120, 82, KeyKind::black2, 10}, {120, 32, KeyKind::black3, 11}, {0, 266, KeyKind::black1, 19},
    {0, 212, KeyKind::black3, 20},  {0, 131, KeyKind::black1, 21},  {0, 82, KeyKind::black2, 22},
    {0, 32, KeyKind::black3, 23},
};

void CreateKeys() {
    for (const KeyPlace &place : whiteKeys)
        AddKey(place.x, place.y, place.kind, 0, place.sampleSlot);
    for (const KeyPlace &place : blackKeys)
        AddKey(place.x, place.y, place.kind, 1, place.sampleSlot);
    FillHitMap();
}

void FillHitMap() {
    memset(hitMap, 0, sizeof hitMap);
    for (int index = 0; index < keyTable.count; ++index) {
        const Key &key = keyTable.keys[index];
        int firstRow = key.y - key.hitMargin;
        int endRow = key.y + key.h + key.hitMargin;
        for (int column = key.x; column < key.x + key.w; ++column) {
            if (column < 0 || column >= screenWidth)
                continue;
            for (int row = firstRow < 0 ? 0 : firstRow; row < endRow && row < screenHeight; ++row)
                hitMap[column * screenHeight + row] = static_cast<Uint8>(index + 1);
        }
    }
}

Key *FindKeyAt(int x, int y) {
    if (x < 0 || x >= screenWidth || y < 0 || y >= screenHeight)
        return nullptr;
    int entry = hitMap[x * screenHeight + y];
    return entry ? &keyTable.keys[entry - 1] : nullptr;
}
