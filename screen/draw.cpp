#include "screen/draw.h"

SDL_Surface *screenSurface;
