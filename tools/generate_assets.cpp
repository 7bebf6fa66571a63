// Writes every asset the program loads into one output directory:
//   Gfx/*.bmp       the nine pictures
//   Samples/*.wav   the 24 piano notes
//   splash_pixels.cpp  the embedded title picture
//   icon_pixels.cpp    the embedded window icon
//   icons/velmora-*.png  the desktop icon, installed with the program
// Usage: velmora_assetgen OUTPUT_DIRECTORY
#include <sys/stat.h>

#include <cstdio>

#include "generator.h"

namespace {

struct SampleFile {
    const char *name;
    int midiNote;
};

// In slot order: the naturals of the lower octave, its sharps, then the same an octave up.
const SampleFile sampleFiles[] = {
    {"1", 60},  {"2", 62},   {"3", 64},   {"4", 65},   {"5", 67},   {"6", 69},
    {"7", 71},  {"1d", 61},  {"2d", 63},  {"4d", 66},  {"5d", 68},  {"6d", 70},
    {"11", 72}, {"12", 74},  {"13", 76},  {"14", 77},  {"15", 79},  {"16", 81},
    {"17", 83}, {"11d", 73}, {"12d", 75}, {"14d", 78}, {"15d", 80}, {"16d", 82},
};

bool MakeDirectory(const std::string &path) {
    struct stat status;
    return mkdir(path.c_str(), 0755) == 0 ||
           (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
}

bool WritePictures(const std::string &directory) {
    const Picture white = DrawWhiteKey(false), whitePressed = DrawWhiteKey(true);
    const Picture black = DrawBlackKey(false), blackPressed = DrawBlackKey(true);
    bool written = WriteBmp(directory + "whitekey.bmp", white) &&
                   WriteBmp(directory + "whitekeyp.bmp", whitePressed);
    // The three black kinds differ only in where the layout puts them.
    for (const char *kind : {"1", "2", "3"}) {
        written = written && WriteBmp(directory + "blackkey" + kind + ".bmp", black) &&
                  WriteBmp(directory + "blackkey" + kind + "p.bmp", blackPressed);
    }
    return written && WriteBmp(directory + "exitbutton.bmp", DrawExitButton());
}

bool WriteSamples(const std::string &directory) {
    std::vector<int> midiNotes;
    for (const SampleFile &file : sampleFiles)
        midiNotes.push_back(file.midiNote);
    std::vector<std::vector<int16_t>> notes;
    if (!RenderPianoNotes(VELMORA_PIANO_FONT, midiNotes, notes))
        return false;
    for (size_t i = 0; i < notes.size(); ++i) {
        if (!WriteWav(directory + sampleFiles[i].name + ".wav", notes[i]))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string output = std::string(argv[1]) + "/";
    if (!MakeDirectory(output) || !MakeDirectory(output + "Gfx") ||
        !MakeDirectory(output + "Samples") || !WritePictures(output + "Gfx/") ||
        !WriteSamples(output + "Samples/") ||
        !WritePixelSource(output + "splash_pixels.cpp", "splashPixels", DrawSplash()) ||
        // The window icon is compiled in like the splash: it has alpha, which a BMP file
        // would lose, and a file of its own would be one more that could go missing.
        !WritePixelSource(output + "icon_pixels.cpp", "iconPixels", DrawIcon(32)) ||
        !WriteIcons(output + "icons/")) {
        fprintf(stderr, "%s: cannot write the assets under %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
