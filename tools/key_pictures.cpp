// The key and exit-button pictures. The keyboard lies on its side: a key is a horizontal bar
// whose back end (under the fallboard) is at the left and whose front, the player's end, is at
// the right. Light falls from the top of the screen, so a raised edge is bright along the top
// and shaded along the bottom; a pressed key has sunk, so its shading is reversed.
#include <algorithm>
#include <cmath>

#include "generator.h"

namespace {

// A picture filled pixel by pixel from a drawing rule.
Picture PaintPicture(int width, int height, bool pressed, Colour (*rule)(int, int, bool)) {
    Picture picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width * height))};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Colour c = rule(x, y, pressed);
            picture.pixels[static_cast<size_t>(y * width + x)] = MakeColour(c.red, c.green, c.blue);
        }
    }
    return picture;
}

// How a white key looks at one pixel.
Colour WhiteKeyPixel(int x, int y, bool pressed) {
    const int width = 120, height = 45;
    const Colour ivory = pressed ? Colour{196, 207, 226} : Colour{247, 244, 235};
    const Colour gap = pressed ? Colour{58, 60, 70} : Colour{72, 70, 68};
    // A gentle rounding across the key's width, brightest a little above the middle.
    const double across = (y - 18.0) / 26.0;
    Colour c = Scale(ivory, 1.0 - 0.05 * across * across);
    // The back end disappears into the shadow of the fallboard.
    const int shadowWidth = pressed ? 16 : 10;
    if (x < shadowWidth)
        c = Mix(c, Scale(ivory, 0.72), std::pow(1.0 - x / double(shadowWidth), 1.6));
    // The rounded front edge and the front face below it.
    const int faceStart = pressed ? 116 : 113;
    if (x == faceStart - 1)
        c = pressed ? Scale(ivory, 0.9) : Colour{255, 255, 252};
    else if (x >= faceStart)
        c = Scale(ivory, pressed ? 0.78 - 0.03 * (x - faceStart) : 0.9 - 0.03 * (x - faceStart));
    // Long edges: lit above and shadowed below when raised, the other way round when pressed.
    const Colour light = pressed ? Colour{232, 238, 248} : Colour{255, 255, 255};
    const Colour dark = pressed ? Colour{118, 122, 138} : Colour{178, 174, 166};
    if (y == 0)
        c = pressed ? dark : light;
    else if (y == 1)
        c = Mix(c, pressed ? dark : light, 0.5);
    else if (y == height - 3)
        c = Mix(c, pressed ? light : dark, 0.35);
    else if (y == height - 2)
        c = pressed ? light : dark;
    else if (y == height - 1)
        c = gap;
    // The gap also runs round the front corners.
    if (x == width - 1 && (y <= 1 || y >= height - 3))
        c = Mix(c, gap, 0.6);
    return c;
}

// How a black key looks at one pixel: a glossy top between two slanted sides, and a sloped
// front at the right.
Colour BlackKeyPixel(int x, int y, bool pressed) {
    const int width = 72, height = 27;
    const Colour body = pressed ? Colour{30, 36, 58} : Colour{24, 24, 28};
    const Colour outline{8, 8, 10};
    if (y == 0 || y == height - 1 || x == width - 1)
        return outline;
    const Colour litSide = pressed ? Colour{22, 26, 40} : Colour{92, 92, 100};
    const Colour shadedSide = pressed ? Colour{70, 80, 112} : Colour{12, 12, 14};
    Colour c = body;
    // The top's sheen: a soft highlight band along the upper third, fading towards the back.
    const double band = std::exp(-std::pow((y - 9.0) / 3.2, 2.0));
    const double along = std::clamp((x - 4.0) / 50.0, 0.0, 1.0);
    c = Mix(c, pressed ? Colour{60, 70, 104} : Colour{74, 74, 82}, 0.75 * band * along);
    const int faceStart = pressed ? 66 : 62;
    if (x >= faceStart) {
        const double slope = (x - faceStart) / double(width - 1 - faceStart);
        c = Mix(pressed ? Colour{44, 52, 80} : Colour{70, 70, 78}, body, slope);
    }
    if (y <= 3)
        c = Mix(litSide, c, (y - 1) / 3.0);
    else if (y >= height - 4)
        c = Mix(c, shadedSide, (y - (height - 5)) / 3.0);
    // The back end in the fallboard's shadow.
    if (x < 6)
        c = Scale(c, 0.6 + 0.4 * x / 6.0);
    return c;
}

// A red tab in the top-right corner, five rows tall so that it stays above the keys, with a
// bold white cross.
Colour ExitButtonPixel(int x, int y, bool) {
    Colour c{200, 34, 38};
    if (y == 0)
        c = {232, 92, 92};
    else if (y == 4)
        c = {138, 18, 22};
    if (x == 0)
        c = {110, 12, 16};
    // Two strokes two pixels wide, crossing in the middle row.
    const int crossX = x - 12;
    if (crossX == y || crossX == y + 1 || crossX == 4 - y || crossX == 5 - y)
        c = {255, 255, 255};
    return c;
}

} // namespace

Picture DrawWhiteKey(bool pressed) {
    return PaintPicture(120, 45, pressed, WhiteKeyPixel);
}

Picture DrawBlackKey(bool pressed) {
    return PaintPicture(72, 27, pressed, BlackKeyPixel);
}

Picture DrawExitButton() {
    return PaintPicture(30, 5, false, ExitButtonPixel);
}
