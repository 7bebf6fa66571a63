#include "screen/draw.h"

#include "assets/assets.h"
#include "shell/sdl_api.h"

SDL_Surface *screenSurface;

void ShowSplash() {
    SDL_Rect destination{0, 0, splashWidth, splashHeight};
    sdl.SDL_UpperBlit(splashSurface, nullptr, screenSurface, &destination);
    sdl.SDL_UpdateRect(screenSurface, 0, 0, screenWidth, screenHeight);
}
