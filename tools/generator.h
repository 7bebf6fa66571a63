// The asset generator's parts: file writers, the piano notes, the key pictures and the splash
// artwork. Everything is computed or rendered from one fixed SoundFont, nothing is random except
// from fixed seeds, so every run writes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int sampleRate = 22050;

// A picture in 0xRRGGBB pixels, rows top to bottom.
struct Picture {
    int width;
    int height;
    std::vector<uint32_t> pixels;
};

// A colour being computed, channels 0..255 (clamped when packed).
struct Colour {
    double red, green, blue;
};

inline Colour Mix(Colour a, Colour b, double amount) {
    return {a.red + (b.red - a.red) * amount, a.green + (b.green - a.green) * amount,
            a.blue + (b.blue - a.blue) * amount};
}

inline Colour Scale(Colour c, double factor) {
    return {c.red * factor, c.green * factor, c.blue * factor};
}

// Packs red, green and blue (each 0..255, clamped) into one pixel.
uint32_t MakeColour(double red, double green, double blue);

// Writes a 24-bit uncompressed bottom-up BMP; false if the file cannot be written.
bool WriteBmp(const std::string &path, const Picture &picture);

// Writes signed 16-bit mono PCM at the sample rate as a 44-byte-header RIFF/WAVE file.
bool WriteWav(const std::string &path, const std::vector<int16_t> &samples);

// Writes a C++ source defining the named byte array from RGBA bytes.
bool WritePixelSource(const std::string &path, const std::string &name,
                      const std::vector<uint8_t> &rgba);

// Renders one piano note per MIDI number (60 is C4) from the SoundFont at fontPath, all at one
// gain; false, after saying so, if the font cannot be loaded.
bool RenderPianoNotes(const char *fontPath, const std::vector<int> &midiNotes,
                      std::vector<std::vector<int16_t>> &notes);

Picture DrawWhiteKey(bool pressed);
Picture DrawBlackKey(bool pressed);
Picture DrawExitButton();

// The 240 x 320 title picture as RGBA bytes, rows top to bottom.
std::vector<uint8_t> DrawSplash();

// Writes the desktop icon as velmora-SIZE.png at each size into the directory, creating it.
bool WriteIcons(const std::string &directory);

// The same icon as RGBA bytes, rows top to bottom, for the program's own window.
std::vector<uint8_t> DrawIcon(int size);
