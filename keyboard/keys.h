// The on-screen piano: 24 keys at fixed places in two columns, and a per-pixel map that says
// which key a touch at any screen point belongs to.
#pragma once

#include <SDL/SDL.h>

#include <cstddef>
#include <cstdint>

// The layout and the hit map are made for this screen.
inline constexpr int screenWidth = 240;
inline constexpr int screenHeight = 320;

// One on-screen key. Its first four fields are an SDL_Rect that SDL writes back on every blit.
struct Key {
    Sint16 x;
    Sint16 y;
    Uint16 w;
    Uint16 h;
    SDL_Surface *image;
    SDL_Surface *pressedImage;
    Uint8 *sampleData;
    Uint32 sampleLength;
    Uint8 isBlack;
    Uint8 isPressed;
    int32_t hitMargin;
};

static_assert(offsetof(Key, x) == offsetof(SDL_Rect, x) && sizeof(Key::x) == sizeof(SDL_Rect::x));
static_assert(offsetof(Key, y) == offsetof(SDL_Rect, y) && sizeof(Key::y) == sizeof(SDL_Rect::y));
static_assert(offsetof(Key, w) == offsetof(SDL_Rect, w) && sizeof(Key::w) == sizeof(SDL_Rect::w));
static_assert(offsetof(Key, h) == offsetof(SDL_Rect, h) && sizeof(Key::h) == sizeof(SDL_Rect::h));
static_assert(offsetof(Key, image) >= sizeof(SDL_Rect));

// The picture set of a key.
enum class KeyKind { white = 1, black1, black2, black3 };

inline constexpr int keyTableSize = 36;

struct KeyTable {
    Key keys[keyTableSize];
    int32_t count;
};

extern KeyTable keyTable;

// Appends one key; refuses (false) once the table is full.
bool AddKey(int x, int y, KeyKind kind, int isBlack, int sampleSlot);

// Builds the 24 keys of the two-octave layout, then the hit map.
void CreateKeys();

// Writes the hit map from the key table: later keys win where areas overlap.
void FillHitMap();

// The key a touch at (x, y) belongs to; null off the screen or where there is no key.
Key *FindKeyAt(int x, int y);

// The key's own rectangle, as SDL reads and writes it.
inline SDL_Rect *KeyRect(Key *key) {
    return reinterpret_cast<SDL_Rect *>(key);
}
