// File formats the program loads: BMP pictures, WAV samples, and the splash as C++ source.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "generator.h"

namespace {

// Appends a little-endian value of the given byte count.
void PutLittleEndian(std::vector<uint8_t> &bytes, uint32_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<uint8_t> &bytes, const char *tag) {
    bytes.insert(bytes.end(), tag, tag + 4);
}

bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

} // namespace

uint32_t MakeColour(double red, double green, double blue) {
    auto channel = [](double value) {
        return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0, 255.0)));
    };
    return channel(red) << 16 | channel(green) << 8 | channel(blue);
}

bool WriteBmp(const std::string &path, const Picture &picture) {
    const uint32_t rowBytes = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(picture.height);
    std::vector<uint8_t> bytes;
    bytes.push_back('B');
    bytes.push_back('M');
    PutLittleEndian(bytes, 14 + 40 + imageBytes, 4); // file size
    PutLittleEndian(bytes, 0, 4);                    // reserved
    PutLittleEndian(bytes, 14 + 40, 4);              // offset of the pixels
    PutLittleEndian(bytes, 40, 4);                   // BITMAPINFOHEADER
    PutLittleEndian(bytes, static_cast<uint32_t>(picture.width), 4);
    PutLittleEndian(bytes, static_cast<uint32_t>(picture.height), 4); // positive: bottom-up
    PutLittleEndian(bytes, 1, 2);                                     // planes
    PutLittleEndian(bytes, 24, 2);                                    // bits per pixel
    PutLittleEndian(bytes, 0, 4);                                     // BI_RGB
    PutLittleEndian(bytes, imageBytes, 4);
    PutLittleEndian(bytes, 2835, 4); // 72 dots per inch
    PutLittleEndian(bytes, 2835, 4);
    PutLittleEndian(bytes, 0, 4); // colours used
    PutLittleEndian(bytes, 0, 4); // important colours
    for (int y = picture.height - 1; y >= 0; --y) {
        size_t rowStart = bytes.size();
        for (int x = 0; x < picture.width; ++x) {
            uint32_t pixel = picture.pixels[static_cast<size_t>(y * picture.width + x)];
            bytes.push_back(static_cast<uint8_t>(pixel));       // blue
            bytes.push_back(static_cast<uint8_t>(pixel >> 8));  // green
            bytes.push_back(static_cast<uint8_t>(pixel >> 16)); // red
        }
        bytes.resize(rowStart + rowBytes, 0);
    }
    return WriteBytes(path, bytes);
}

bool WriteWav(const std::string &path, const std::vector<int16_t> &samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> bytes;
    PutTag(bytes, "RIFF");
    PutLittleEndian(bytes, 36 + dataBytes, 4);
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    PutLittleEndian(bytes, 16, 4);             // chunk size
    PutLittleEndian(bytes, 1, 2);              // PCM
    PutLittleEndian(bytes, 1, 2);              // mono
    PutLittleEndian(bytes, sampleRate, 4);     // frames per second
    PutLittleEndian(bytes, sampleRate * 2, 4); // bytes per second
    PutLittleEndian(bytes, 2, 2);              // bytes per frame
    PutLittleEndian(bytes, 16, 2);             // bits per sample
    PutTag(bytes, "data");
    PutLittleEndian(bytes, dataBytes, 4);
    for (int16_t sample : samples)
        PutLittleEndian(bytes, static_cast<uint16_t>(sample), 2);
    return WriteBytes(path, bytes);
}

bool WritePixelSource(const std::string &path, const std::string &name,
                      const std::vector<uint8_t> &rgba) {
    std::string text =
        "// Written by the asset generator: a picture, rows top to bottom, bytes red, "
        "green, blue, alpha.\n"
        "extern const unsigned char " +
        name + "[" + std::to_string(rgba.size()) + "];\nconst unsigned char " + name + "[" +
        std::to_string(rgba.size()) + "] = {\n";
    for (size_t i = 0; i < rgba.size(); ++i) {
        text += std::to_string(rgba[i]);
        text += (i % 24 == 23) ? ",\n" : ",";
    }
    text += "};\n";
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}
