#include "screen/draw.h"

#include "assets/assets.h"
#include "sdl/sdl_api.h"

SDL_Surface *screenSurface;

void ShowSplash() {
    SDL_Rect destination{0, 0, splashWidth, splashHeight};
    sdl.SDL_UpperBlit(splashSurface, nullptr, screenSurface, &destination);
    sdl.SDL_UpdateRect(screenSurface, 0, 0, screenWidth, screenHeight);
}

// Blits a key's current picture at its own rectangle, which SDL clips and writes back.
static void BlitKey(Key *key) {
    SDL_Surface *picture = key->isPressed ? key->pressedImage : key->image;
    sdl.SDL_UpperBlit(picture, nullptr, screenSurface, KeyRect(key));
}

void DrawKeyboard() {
    sdl.SDL_FillRect(screenSurface, nullptr, 0);
    SDL_Rect exitRect = {static_cast<Sint16>(screenWidth - ExitButtonImage->w), 0,
                         static_cast<Uint16>(ExitButtonImage->w),
                         static_cast<Uint16>(ExitButtonImage->h)};
    sdl.SDL_UpperBlit(ExitButtonImage, nullptr, screenSurface, &exitRect);
    for (int index = 0; index < keyTable.count; ++index)
        BlitKey(&keyTable.keys[index]);
    sdl.SDL_UpdateRect(screenSurface, 0, 0, screenWidth, screenHeight);
}

void DrawKey(Key *key) {
    BlitKey(key);
    if (key->isBlack) {
        sdl.SDL_UpdateRect(screenSurface, key->x, key->y, key->w, key->h);
        return;
    }
    // A white key's picture covers the ends of the black keys over it; the hit map names
    // them at its corners. All four are read before anything else is drawn.
    Key *corners[4] = {};
    if (key->w > 0 && key->h > 0) {
        int right = key->x + key->w - 1;
        int bottom = key->y + key->h - 1;
        corners[0] = FindKeyAt(key->x, key->y);
        corners[1] = FindKeyAt(right, key->y);
        corners[2] = FindKeyAt(key->x, bottom);
        corners[3] = FindKeyAt(right, bottom);
    }
    SDL_Rect updates[5] = {*KeyRect(key)};
    int updateCount = 1;
    for (Key *neighbour : corners) {
        if (!neighbour || neighbour == key)
            continue;
        BlitKey(neighbour);
        updates[updateCount++] = *KeyRect(neighbour);
    }
    sdl.SDL_UpdateRects(screenSurface, updateCount, updates);
}
