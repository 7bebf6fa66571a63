// The program's icon for desktop menus: five piano keys and their three black keys under a red
// felt strip, on a rounded night-blue tile, smoothed by supersampling. Written as PNG files by a
// writer of our own that stores the pixels in uncompressed deflate blocks, so no library is
// needed.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cmath>
#include <cstdio>

#include "generator.h"

namespace {

constexpr int subsamples = 4; // per axis

// A colour with coverage, channels 0..255 and alpha 0..1.
struct Paint {
    Colour colour;
    double alpha;
};

// The sizes written, each as icons/velmora-SIZE.png; the build names them.
constexpr int iconSizes[] = {VELMORA_ICON_SIZES};

// Whether a point lies inside a rectangle whose corners are rounded by the radius.
bool InsideRoundedRectangle(double x, double y, double left, double top, double right,
                            double bottom, double radius) {
    if (x < left || x > right || y < top || y > bottom)
        return false;
    const double cornerX = std::clamp(x, left + radius, right - radius);
    const double cornerY = std::clamp(y, top + radius, bottom - radius);
    return std::hypot(x - cornerX, y - cornerY) <= radius;
}

// The icon at one point of the unit square (x right, y down): the topmost shape there.
Paint IconPoint(double x, double y) {
    // Five white keys across the key bed, C to G; the third one (E) is shown played.
    const double bedLeft = 0.14, bedRight = 0.86, bedTop = 0.25, bedBottom = 0.84;
    const double keyWidth = (bedRight - bedLeft) / 5;
    const double gap = 0.012;
    // Black keys straddle the C-D, D-E and F-G boundaries.
    const std::array<int, 3> blackAfter = {1, 2, 4};
    const double blackWidth = keyWidth * 0.58, blackBottom = 0.6;

    if (y >= bedTop - 0.09 && y < bedTop && x >= bedLeft && x <= bedRight) {
        const double shade = (y - (bedTop - 0.09)) / 0.09;
        return {Mix(Colour{196, 58, 70}, Colour{128, 30, 42}, shade), 1};
    }
    if (y >= bedTop && y <= bedBottom && x >= bedLeft && x <= bedRight) {
        for (int boundary : blackAfter) {
            const double centre = bedLeft + boundary * keyWidth;
            if (std::abs(x - centre) <= blackWidth / 2 && y <= blackBottom) {
                const double lit = (y > blackBottom - 0.04) ? 1.6 : 1.0;
                return {Scale(Colour{30, 30, 38}, lit), 1};
            }
        }
        const int key = std::min(4, static_cast<int>((x - bedLeft) / keyWidth));
        const double keyLeft = bedLeft + key * keyWidth;
        if (InsideRoundedRectangle(x, y, keyLeft + gap / 2, bedTop - 0.05,
                                   keyLeft + keyWidth - gap / 2, bedBottom, 0.025)) {
            const Colour ivory = key == 2 ? Colour{255, 214, 140} : Colour{250, 247, 238};
            const double depth = (y - bedTop) / (bedBottom - bedTop);
            return {Scale(ivory, 1.0 - 0.12 * depth * depth), 1};
        }
        return {Colour{18, 20, 36}, 1};
    }
    if (InsideRoundedRectangle(x, y, 0.03, 0.03, 0.97, 0.97, 0.18))
        return {Mix(Colour{44, 58, 104}, Colour{18, 22, 46}, y), 1};
    return {Colour{0, 0, 0}, 0};
}

} // namespace

std::vector<uint8_t> DrawIcon(int size) {
    std::vector<uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(size * size * 4));
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            double red = 0, green = 0, blue = 0, alpha = 0;
            for (int sy = 0; sy < subsamples; ++sy) {
                for (int sx = 0; sx < subsamples; ++sx) {
                    const Paint paint = IconPoint((column + (sx + 0.5) / subsamples) / size,
                                                  (row + (sy + 0.5) / subsamples) / size);
                    red += paint.colour.red * paint.alpha;
                    green += paint.colour.green * paint.alpha;
                    blue += paint.colour.blue * paint.alpha;
                    alpha += paint.alpha;
                }
            }
            // Colours are averaged over the covered samples only, so edges do not darken.
            const double covered = std::max(alpha, 1e-9);
            const uint32_t pixel = MakeColour(red / covered, green / covered, blue / covered);
            rgba.push_back(static_cast<uint8_t>(pixel >> 16));
            rgba.push_back(static_cast<uint8_t>(pixel >> 8));
            rgba.push_back(static_cast<uint8_t>(pixel));
            rgba.push_back(
                static_cast<uint8_t>(std::lround(255.0 * alpha / (subsamples * subsamples))));
        }
    }
    return rgba;
}

namespace {

void PutBigEndian(std::vector<uint8_t> &bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

// The CRC-32 that PNG chunks carry (polynomial 0xEDB88320, reflected).
uint32_t Crc32(const uint8_t *data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

// The Adler-32 checksum that ends a zlib stream.
uint32_t Adler32(const std::vector<uint8_t> &data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

// Appends a chunk: length, type, data and the CRC over type and data.
void PutChunk(std::vector<uint8_t> &png, const char *type, const std::vector<uint8_t> &data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    const size_t typeStart = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBigEndian(png, Crc32(png.data() + typeStart, png.size() - typeStart));
}

// A zlib stream holding the data in stored (uncompressed) deflate blocks.
std::vector<uint8_t> StoreInZlib(const std::vector<uint8_t> &data) {
    std::vector<uint8_t> stream = {0x78, 0x01}; // deflate, 32 KiB window; no preset dictionary
    size_t offset = 0;
    do {
        const size_t length = std::min<size_t>(65535, data.size() - offset);
        const bool last = offset + length == data.size();
        stream.push_back(last ? 1 : 0); // BFINAL, BTYPE 00
        stream.push_back(static_cast<uint8_t>(length));
        stream.push_back(static_cast<uint8_t>(length >> 8));
        stream.push_back(static_cast<uint8_t>(~length));
        stream.push_back(static_cast<uint8_t>(~length >> 8));
        stream.insert(stream.end(), data.begin() + static_cast<ptrdiff_t>(offset),
                      data.begin() + static_cast<ptrdiff_t>(offset + length));
        offset += length;
    } while (offset < data.size());
    PutBigEndian(stream, Adler32(data));
    return stream;
}

// Writes 8-bit RGBA pixels, rows top to bottom, as a PNG file.
bool WritePng(const std::string &path, int width, int height, const std::vector<uint8_t> &rgba) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);
    // Every row starts with its filter type: 0, none.
    std::vector<uint8_t> rows;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);
        const auto rowStart = rgba.begin() + static_cast<ptrdiff_t>(y * rowBytes);
        rows.insert(rows.end(), rowStart, rowStart + static_cast<ptrdiff_t>(rowBytes));
    }
    PutChunk(png, "IDAT", StoreInZlib(rows));
    PutChunk(png, "IEND", {});
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && written;
}

} // namespace

bool WriteIcons(const std::string &directory) {
    struct stat status;
    if (mkdir(directory.c_str(), 0755) != 0 &&
        !(stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode)))
        return false;
    for (int size : iconSizes) {
        if (!WritePng(directory + "velmora-" + std::to_string(size) + ".png", size, size,
                      DrawIcon(size)))
            return false;
    }
    return true;
}
