// The title picture: the name in a small stroke font of our own, gold on a night-blue
// gradient, above a keyboard seen in perspective, ray-cast and smoothed by supersampling.
#include <algorithm>
#include <array>
#include <cmath>

#include "generator.h"

namespace {

constexpr int width = 240;
constexpr int height = 320;
constexpr int subsamples = 4; // per axis

// ----- The font: 5 x 9 cells, rows 0..6 above the baseline, 7..8 for descenders. -----

struct Glyph {
    char letter;
    std::array<const char *, 9> rows;
};

const Glyph glyphs[] = {
    {'V', {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#..", ".....", "....."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", ".....", "....."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#", ".....", "....."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", ".....", "....."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", ".....", "....."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", ".....", "....."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", ".....", "....."}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###.", ".....", "....."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'p', {".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
};

// A straight stroke between two cell centres, in pixels.
struct Stroke {
    double x1, y1, x2, y2;
};

// A line of text as strokes: every inked cell joined to its inked neighbours, straight and
// diagonal, so the letters read as pen lines rather than blocks.
struct Text {
    std::vector<Stroke> strokes;
    double left, top, right, bottom; // bounds of the cell centres, in pixels
    double cell;                     // pixels per cell
};

const Glyph *FindGlyph(char letter) {
    for (const Glyph &glyph : glyphs)
        if (glyph.letter == letter)
            return &glyph;
    return nullptr;
}

Text LayOutText(const char *string, double centreX, double top, double cell) {
    const int length = static_cast<int>(std::char_traits<char>::length(string));
    const double textWidth = (length * 6 - 1) * cell;
    Text text{{}, 1e9, 1e9, -1e9, -1e9, cell};
    const double left = centreX - textWidth / 2.0;
    auto inked = [](const Glyph *glyph, int column, int row) {
        return glyph && column >= 0 && column < 5 && row >= 0 && row < 9 &&
               glyph->rows[static_cast<size_t>(row)][column] == '#';
    };
    for (int index = 0; index < length; ++index) {
        const Glyph *glyph = FindGlyph(string[index]);
        for (int row = 0; row < 9; ++row) {
            for (int column = 0; column < 5; ++column) {
                if (!inked(glyph, column, row))
                    continue;
                const double x = left + (index * 6 + column + 0.5) * cell;
                const double y = top + (row + 0.5) * cell;
                text.strokes.push_back({x, y, x, y});
                const int steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
                for (const auto &step : steps) {
                    if (!inked(glyph, column + step[0], row + step[1]))
                        continue;
                    // A diagonal beside a straight join would only thicken the corner.
                    if (step[0] != 0 && step[1] != 0 &&
                        (inked(glyph, column + step[0], row) || inked(glyph, column, row + 1)))
                        continue;
                    text.strokes.push_back({x, y, x + step[0] * cell, y + step[1] * cell});
                }
                text.left = std::min(text.left, x);
                text.right = std::max(text.right, x);
                text.top = std::min(text.top, y);
                text.bottom = std::max(text.bottom, y);
            }
        }
    }
    return text;
}

double DistanceToStroke(const Stroke &stroke, double x, double y) {
    const double dx = stroke.x2 - stroke.x1, dy = stroke.y2 - stroke.y1;
    const double lengthSquared = dx * dx + dy * dy;
    double along = 0.0;
    if (lengthSquared > 0.0)
        along = std::clamp(((x - stroke.x1) * dx + (y - stroke.y1) * dy) / lengthSquared, 0.0, 1.0);
    const double px = stroke.x1 + along * dx - x, py = stroke.y1 + along * dy - y;
    return std::sqrt(px * px + py * py);
}

// Distance from a point to the nearest stroke of the text, or a large number far from it.
double DistanceToText(const Text &text, double x, double y) {
    const double reach = 2.0 * text.cell;
    if (x < text.left - reach || x > text.right + reach || y < text.top - reach ||
        y > text.bottom + reach)
        return 1e9;
    double nearest = 1e9;
    for (const Stroke &stroke : text.strokes)
        nearest = std::min(nearest, DistanceToStroke(stroke, x, y));
    return nearest;
}

// ----- The keyboard scene, in millimetres: white key tops at height 0, front edge at depth 0.
// -----

constexpr double whiteWidth = 23.5;
constexpr double whiteLength = 150.0;
constexpr double whiteFace = 16.0; // height of a white key's front face
constexpr double blackWidth = 13.7;
constexpr double blackStart = 50.0; // depth at which the black keys begin
constexpr double blackHeight = 11.0;
constexpr double fallboardHeight = 56.0;

// Centres of the five black keys of an octave, in white-key widths from C's left edge.
constexpr double blackCentres[5] = {0.93, 2.07, 3.9, 5.0, 6.1};

bool InsideBlackKey(double x) {
    const double octave = 7.0 * whiteWidth;
    const double within = x - std::floor(x / octave) * octave;
    for (double centre : blackCentres) {
        const double offset = within - centre * whiteWidth;
        if (std::fabs(offset) < blackWidth / 2.0 || std::fabs(offset - octave) < blackWidth / 2.0 ||
            std::fabs(offset + octave) < blackWidth / 2.0)
            return true;
    }
    return false;
}

// True in the thin dark gap between two white keys.
bool InWhiteGap(double x) {
    const double within = x - std::floor(x / whiteWidth) * whiteWidth;
    return within < 0.5 || within > whiteWidth - 0.5;
}

struct Ray {
    double x, y, z;    // origin
    double dx, dy, dz; // direction
};

Colour Background(double screenY) {
    const double t = std::clamp(screenY / 200.0, 0.0, 1.0);
    return Mix(Colour{8, 10, 30}, Colour{46, 24, 66}, t * t);
}

// The colour a ray from the eye meets, or the background where it meets nothing.
Colour TraceRay(const Ray &ray, double screenY) {
    double nearest = 1e18;
    Colour colour = Background(screenY);
    auto consider = [&](double t, Colour c) {
        if (t > 0.0 && t < nearest) {
            nearest = t;
            colour = c;
        }
    };
    // Tops of the white keys.
    if (ray.dy < 0.0) {
        const double t = -ray.y / ray.dy;
        const double x = ray.x + t * ray.dx, z = ray.z + t * ray.dz;
        if (z >= 0.0 && z <= whiteLength) {
            Colour c;
            if (z >= blackStart && InsideBlackKey(x))
                c = {30, 30, 36}; // a black key's side
            else if (InWhiteGap(x))
                c = {70, 62, 60};
            else
                c = Scale(Colour{250, 246, 236}, 1.0 - 0.22 * z / whiteLength);
            consider(t, c);
        }
    }
    // Tops of the black keys, with a sheen towards their front.
    if (ray.dy < 0.0) {
        const double t = (blackHeight - ray.y) / ray.dy;
        const double x = ray.x + t * ray.dx, z = ray.z + t * ray.dz;
        if (z >= blackStart && z <= whiteLength && InsideBlackKey(x)) {
            const double sheen = std::exp(-std::pow((z - blackStart - 22.0) / 18.0, 2.0));
            consider(t, Mix(Colour{18, 18, 22}, Colour{96, 96, 110}, 0.55 * sheen));
        }
    }
    // Front faces: the white keys', the rail below them, the black keys', the fallboard.
    if (ray.dz > 0.0) {
        double t = -ray.z / ray.dz;
        double x = ray.x + t * ray.dx, y = ray.y + t * ray.dy;
        if (y <= 0.0 && y >= -whiteFace)
            consider(t, InWhiteGap(x) ? Colour{60, 52, 50}
                                      : Scale(Colour{226, 220, 206}, 1.0 + 0.25 * y / whiteFace));
        else if (y < -whiteFace && y >= -whiteFace - 40.0)
            consider(t, Mix(Colour{34, 20, 24}, Colour{10, 6, 10}, (-whiteFace - y) / 40.0));
        t = (blackStart - ray.z) / ray.dz;
        x = ray.x + t * ray.dx;
        y = ray.y + t * ray.dy;
        if (y >= 0.0 && y <= blackHeight && InsideBlackKey(x))
            consider(t, Colour{52, 52, 60});
        t = (whiteLength - ray.z) / ray.dz;
        y = ray.y + t * ray.dy;
        if (y >= 0.0 && y <= fallboardHeight) {
            Colour c = Mix(Colour{12, 10, 16}, Colour{40, 34, 52}, y / fallboardHeight);
            if (y < 3.0)
                c = {128, 22, 34}; // the felt strip
            else if (y > fallboardHeight - 2.5)
                c = {120, 100, 130}; // light caught by the fallboard's rounded edge
            consider(t, c);
        }
    }
    return colour;
}

// The eye, above and in front of the keys, turned a little to the right.
Ray EyeRay(double screenX, double screenY) {
    const double focal = 300.0, horizon = 150.0, yaw = 0.35;
    const double u = (screenX - 120.0) / focal, v = -(screenY - horizon) / focal;
    return Ray{70.0,   130.0,
               -260.0, u * std::cos(yaw) + std::sin(yaw),
               v,      -u * std::sin(yaw) + std::cos(yaw)};
}

// Coverage of a shape whose edge is at the given distance, smoothed over about a pixel.
double Coverage(double distance, double radius) {
    return std::clamp(radius - distance + 0.5, 0.0, 1.0);
}

// The picture at one point, title over scene.
Colour SplashPoint(double x, double y, const Text &title, const Text &subtitle) {
    Colour c = TraceRay(EyeRay(x, y), y);
    // A warm glow behind the title.
    const double gx = (x - 120.0) / 120.0, gy = (y - 84.0) / 60.0;
    c = Mix(c, Colour{120, 70, 110}, 0.45 * std::exp(-(gx * gx + gy * gy)));
    // The title: soft shadow, dark rim, then gold from light to deep.
    const double stroke = 0.55 * title.cell;
    const double shadow = DistanceToText(title, x - 3.0, y - 3.0);
    c = Mix(c, Colour{0, 0, 0}, 0.6 * Coverage(shadow, stroke + 1.0));
    const double distance = DistanceToText(title, x, y);
    c = Mix(c, Colour{40, 20, 8}, Coverage(distance, stroke + 1.4));
    const double depth = std::clamp((y - title.top) / (title.bottom - title.top), 0.0, 1.0);
    const Colour gold = Mix(Colour{255, 236, 170}, Colour{214, 146, 52}, depth);
    c = Mix(c, gold, Coverage(distance, stroke));
    // The subtitle, and a thin gold rule between the two.
    const double sub = DistanceToText(subtitle, x, y);
    c = Mix(c, Colour{205, 214, 240}, Coverage(sub, 0.5 * subtitle.cell));
    if (std::fabs(y - 112.0) < 0.5 && std::fabs(x - 120.0) < 70.0)
        c = Mix(c, Colour{214, 170, 90}, 1.0 - std::fabs(x - 120.0) / 70.0);
    return c;
}

} // namespace

std::vector<uint8_t> DrawSplash() {
    const Text title = LayOutText("Velmora", 120.0, 58.0, 5.0);
    const Text subtitle = LayOutText("touch piano", 120.0, 122.0, 2.2);
    std::vector<uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(width * height * 4));
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            Colour sum{0, 0, 0};
            for (int sy = 0; sy < subsamples; ++sy) {
                for (int sx = 0; sx < subsamples; ++sx) {
                    const Colour c = SplashPoint(px + (sx + 0.5) / subsamples,
                                                 py + (sy + 0.5) / subsamples, title, subtitle);
                    sum = {sum.red + c.red, sum.green + c.green, sum.blue + c.blue};
                }
            }
            // A soft vignette towards the corners.
            const double vx = (px - 119.5) / 170.0, vy = (py - 159.5) / 230.0;
            const Colour c =
                Scale(sum, (1.0 - 0.35 * (vx * vx + vy * vy)) / (subsamples * subsamples));
            const uint32_t packed = MakeColour(c.red, c.green, c.blue);
            rgba.push_back(static_cast<uint8_t>(packed >> 16));
            rgba.push_back(static_cast<uint8_t>(packed >> 8));
            rgba.push_back(static_cast<uint8_t>(packed));
            rgba.push_back(255);
        }
    }
    return rgba;
}
