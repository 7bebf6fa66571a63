// The program as a user installs it: with cmake --install into a prefix of their choosing, or
// as the Debian package; either way a tree the build did not lay out, started by its name
// through the command link, finding its pictures and samples beside the real executable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace fs = std::filesystem;

namespace {

const std::string buildDirectory = VELMORA_BUILD_DIR;
const std::string sourceDirectory = VELMORA_SOURCE_DIR;

// The tools get a plain PATH and the C locale, whatever the test was started with.
const std::vector<std::string> toolEnvironment = {
    "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C", "HOME=/tmp"};

// Runs a command to its end; true when it exited with 0. Its output and errors go to *log.
bool RunCommand(const std::vector<std::string> &arguments, std::string *log,
                std::string *output = nullptr) {
    TempDirectory directory("velmora-install-command");
    ChildProcess command;
    const std::string outPath = directory.Path() + "/out", errPath = directory.Path() + "/err";
    if (!command.Start(arguments, toolEnvironment, outPath, errPath)) {
        *log = "cannot start " + arguments[0];
        return false;
    }
    // A hang guard only: installing and packaging take seconds.
    ExitStatus status = command.WaitForExit(240000);
    command.Stop(SIGKILL, 0);
    if (output)
        *output = ReadFile(outPath);
    *log =
        arguments[0] + ": " + DescribeExit(status) + "\n" + ReadFile(outPath) + ReadFile(errPath);
    return status.ended && status.exited && status.code == 0;
}

// Installs this build tree under the prefix the way a user would.
bool InstallInto(const std::string &prefix, std::string *log) {
    return RunCommand({CMAKE_COMMAND_PATH, "--install", buildDirectory, "--prefix", prefix}, log);
}

// Builds the Debian package of this build tree in the directory; gives its path.
bool BuildPackage(const std::string &directory, std::string *debPath, std::string *log) {
    if (!RunCommand({CPACK_COMMAND_PATH, "-G", "DEB", "-B", directory, "--config",
                     buildDirectory + "/CPackConfig.cmake"},
                    log))
        return false;
    for (const fs::directory_entry &entry : fs::directory_iterator(directory)) {
        if (entry.path().extension() == ".deb")
            *debPath = entry.path().string();
    }
    return !debPath->empty();
}

// What one path of an installed tree is.
struct TreeEntry {
    char kind = '?';        // 'f' file, 'd' directory, 'l' symbolic link
    std::string linkTarget; // for a link, where it points, as written
    bool executable = false;
};

// Every path under a root, relative to it, without following links.
std::map<std::string, TreeEntry> ListTree(const std::string &root) {
    std::map<std::string, TreeEntry> tree;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        TreeEntry item;
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            item.kind = 'l';
            item.linkTarget = fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            item.kind = 'd';
        } else if (fs::is_regular_file(status)) {
            item.kind = 'f';
            item.executable = (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
        }
        tree[entry.path().lexically_relative(root).string()] = item;
    }
    return tree;
}

// The file names in one of the build tree's folders, with the given extension.
std::vector<std::string> BuildOutputs(const std::string &folder, const std::string &extension) {
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(buildDirectory + "/" + folder))
        if (entry.path().extension() == extension)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The icon sizes the generator wrote, from its velmora-SIZE.png files.
std::vector<int> IconSizes() {
    std::vector<int> sizes;
    for (const std::string &name : BuildOutputs("icons", ".png"))
        sizes.push_back(std::atoi(name.substr(std::string("velmora-").size()).c_str()));
    return sizes;
}

// Each file an installed tree must hold, relative to its prefix, with the file of the source
// or build tree it must equal; the program itself is checked apart (packaging strips it).
std::map<std::string, std::string> ExpectedCopies() {
    std::map<std::string, std::string> files;
    for (const std::string &name : BuildOutputs("Gfx", ".bmp"))
        files["lib/velmora/Gfx/" + name] = buildDirectory + "/Gfx/" + name;
    for (const std::string &name : BuildOutputs("Samples", ".wav"))
        files["lib/velmora/Samples/" + name] = buildDirectory + "/Samples/" + name;
    for (int size : IconSizes()) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        files["share/icons/hicolor/" + folder + "/apps/velmora.png"] =
            buildDirectory + "/icons/velmora-" + std::to_string(size) + ".png";
    }
    files["share/applications/velmora.desktop"] = sourceDirectory + "/packaging/velmora.desktop";
    files["share/doc/velmora/README.md"] = sourceDirectory + "/README.md";
    files["share/doc/velmora/LICENSE"] = sourceDirectory + "/LICENSE";
    files["share/doc/velmora/THIRD-PARTY.md"] = sourceDirectory + "/packaging/THIRD-PARTY.md";
    return files;
}

// Checks an installed tree against what the build made: every file in its place, the command
// link relative, and nothing else (no tests, benchmarks, generator or stand-in libraries).
void ExpectCompleteTree(const std::string &prefix) {
    const std::map<std::string, TreeEntry> tree = ListTree(prefix);
    const std::map<std::string, std::string> copies = ExpectedCopies();
    // The generator's outputs must be there to compare with, or the check would prove little.
    ASSERT_EQ(BuildOutputs("Gfx", ".bmp").size(), 9u);
    ASSERT_EQ(BuildOutputs("Samples", ".wav").size(), 24u);
    ASSERT_FALSE(IconSizes().empty());

    for (const auto &[path, original] : copies) {
        SCOPED_TRACE(path);
        auto found = tree.find(path);
        ASSERT_TRUE(found != tree.end());
        EXPECT_EQ(found->second.kind, 'f');
        EXPECT_TRUE(ReadFile(prefix + "/" + path) == ReadFile(original));
    }
    auto program = tree.find("lib/velmora/velmora");
    ASSERT_TRUE(program != tree.end());
    EXPECT_EQ(program->second.kind, 'f');
    EXPECT_TRUE(program->second.executable);
    auto link = tree.find("bin/velmora");
    ASSERT_TRUE(link != tree.end());
    EXPECT_EQ(link->second.kind, 'l');
    EXPECT_EQ(link->second.linkTarget, "../lib/velmora/velmora");
    EXPECT_TRUE(fs::equivalent(prefix + "/bin/velmora", prefix + "/lib/velmora/velmora"));

    for (const auto &[path, entry] : tree) {
        if (entry.kind == 'd' || copies.count(path) || path == "bin/velmora" ||
            path == "lib/velmora/velmora")
            continue;
        ADD_FAILURE() << "installed but not part of the program: " << path;
    }
}

// One PNG image as a decoder sees it.
struct PngImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

uint32_t BigEndian(const std::string &bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

// Decodes an 8-bit RGBA PNG with unfiltered rows, checking every chunk's CRC and the zlib
// stream's checksum with zlib's own code; *error says what is wrong.
bool DecodePng(const std::string &bytes, PngImage *image, std::string *error) {
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        *error = "no PNG signature";
        return false;
    }
    std::string compressed;
    bool ended = false;
    for (size_t at = 8; !ended;) {
        if (at + 12 > bytes.size()) {
            *error = "truncated";
            return false;
        }
        const uint32_t length = BigEndian(bytes, at);
        const std::string type = bytes.substr(at + 4, 4);
        if (at + 12 + length > bytes.size()) {
            *error = type + " overruns the file";
            return false;
        }
        const auto *typeAndData = reinterpret_cast<const Bytef *>(bytes.data() + at + 4);
        if (crc32(0, typeAndData, 4 + length) != BigEndian(bytes, at + 8 + length)) {
            *error = type + " has a wrong CRC";
            return false;
        }
        const std::string data = bytes.substr(at + 8, length);
        if (type == "IHDR") {
            image->width = int(BigEndian(data, 0));
            image->height = int(BigEndian(data, 4));
            if (data.substr(8) != std::string("\x08\x06\x00\x00\x00", 5)) {
                *error = "not 8-bit RGBA without interlace";
                return false;
            }
        } else if (type == "IDAT") {
            compressed += data;
        }
        ended = type == "IEND";
        at += 12 + length;
    }
    const size_t rowBytes = size_t(image->width) * 4 + 1;
    std::vector<uint8_t> rows(rowBytes * size_t(image->height));
    uLongf rowsLength = rows.size();
    if (uncompress(rows.data(), &rowsLength, reinterpret_cast<const Bytef *>(compressed.data()),
                   compressed.size()) != Z_OK ||
        rowsLength != rows.size()) {
        *error = "the image data does not inflate to the image's size";
        return false;
    }
    for (int y = 0; y < image->height; ++y) {
        const uint8_t *row = &rows[size_t(y) * rowBytes];
        if (row[0] != 0) {
            *error = "row " + std::to_string(y) + " uses a filter";
            return false;
        }
        image->rgba.insert(image->rgba.end(), row + 1, row + rowBytes);
    }
    return true;
}

// The desktop entry's keys and values from its [Desktop Entry] group.
std::map<std::string, std::string> ReadDesktopEntry(const std::string &path) {
    std::map<std::string, std::string> entry;
    std::istringstream lines(ReadFile(path));
    std::string line, group;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            group = line;
            continue;
        }
        const size_t equals = line.find('=');
        if (group == "[Desktop Entry]" && equals != std::string::npos)
            entry[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return entry;
}

// The desktop files of an installed tree: an entry a menu lists under music, and icons that
// decode at the size their folder names, opaque in the middle and clear in the corners.
void ExpectDesktopFiles(const std::string &prefix) {
    const std::string entryPath = prefix + "/share/applications/velmora.desktop";
    std::string log;
    EXPECT_TRUE(RunCommand({"desktop-file-validate", entryPath}, &log)) << log;
    const std::map<std::string, std::string> entry = ReadDesktopEntry(entryPath);
    const std::vector<std::pair<std::string, std::string>> wanted = {
        {"Type", "Application"}, {"Name", "Velmora"},   {"Exec", "velmora"},
        {"Icon", "velmora"},     {"Terminal", "false"}, {"Categories", "AudioVideo;Audio;Music;"},
    };
    for (const auto &[key, value] : wanted) {
        auto found = entry.find(key);
        EXPECT_TRUE(found != entry.end() && found->second == value) << key;
    }
    EXPECT_FALSE(entry.count("Comment") == 0 || entry.at("Comment").empty());

    for (int size : IconSizes()) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        SCOPED_TRACE(folder);
        PngImage icon;
        std::string error;
        ASSERT_TRUE(
            DecodePng(ReadFile(prefix + "/share/icons/hicolor/" + folder + "/apps/velmora.png"),
                      &icon, &error))
            << error;
        EXPECT_EQ(icon.width, size);
        EXPECT_EQ(icon.height, size);
        auto alpha = [&](int x, int y) { return icon.rgba[(size_t(y) * size + x) * 4 + 3]; };
        EXPECT_EQ(alpha(0, 0), 0);
        EXPECT_EQ(alpha(size - 1, size - 1), 0);
        EXPECT_EQ(alpha(size / 2, size / 2), 255);
    }
}

// The samples recorded since the given CLOCK_MONOTONIC time, from the recording so far.
std::vector<int16_t> RecordedSince(const SoundServer &sound, int64_t time) {
    std::vector<int16_t> samples = sound.ReadRecording();
    const int64_t since = (time - sound.RecordingStart()) * recordingRate / 1000000000;
    samples.erase(samples.begin(),
                  samples.begin() + std::clamp<int64_t>(since, 0, int64_t(samples.size())));
    return samples;
}

int Loudest(const std::vector<int16_t> &samples) {
    int loudest = 0;
    for (int16_t sample : samples)
        loudest = std::max(loudest, std::abs(int(sample)));
    return loudest;
}

// Runs the program of an installed tree from its command link on the stage: its window and
// start-up line, the keyboard after the splash, a note for a tapped key, and a clean end on
// the system's second request to close.
void ExpectRunsFromCommandLink(const std::string &command) {
    Stage stage;
    std::string error;
    ASSERT_TRUE(stage.Start(&error)) << error;
    ASSERT_TRUE(
        stage.program.LaunchExecutable(command, ProgramEnvironment(&stage.screen, &stage.sound)));
    ASSERT_TRUE(stage.screen.WaitForWindow(10000, nullptr)) << stage.program.Errors();
    ASSERT_TRUE(stage.program.WaitForOutput("Velmora starting...\n", 10000))
        << stage.program.Errors();
    // Without its pictures the program would have ended; without its samples no note sounds.
    ASSERT_TRUE(WaitForSplashToGo(stage.screen, 15000)) << stage.program.Errors();
    ASSERT_TRUE(stage.program.Running());

    // Nothing sounds until a key is touched.
    const int64_t quietFrom = MonotonicNanoseconds();
    WaitUntil([] { return false; }, 300);
    const int64_t tapTime = MonotonicNanoseconds();
    EXPECT_LT(Loudest(RecordedSince(stage.sound, quietFrom)), 200);
    // The lowest white key, C4, at the bottom of the right column.
    stage.screen.PenDown(180, 297);
    stage.screen.PenUp(180, 297);
    EXPECT_TRUE(
        WaitUntil([&] { return Loudest(RecordedSince(stage.sound, tapTime)) > 2000; }, 5000))
        << "no note in the recording after the tap";

    stage.program.Signal(SIGTERM);
    ExitStatus status = stage.program.WaitForExit(1000);
    EXPECT_FALSE(status.ended) << "the first request to close ended it: " << DescribeExit(status);
    stage.program.Signal(SIGTERM);
    status = stage.program.WaitForExit(10000);
    EXPECT_TRUE(status.ended && status.exited && status.code == 0) << DescribeExit(status) << "\n"
                                                                   << stage.program.Errors();
    EXPECT_EQ(stage.program.Output(), "Velmora starting...\n");
}

// Control fields of a package file, by name.
std::string ControlField(const std::string &deb, const std::string &field) {
    std::string value, log;
    if (!RunCommand({"dpkg-deb", "--field", deb, field}, &log, &value))
        return "";
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

TEST(Install, TreeHoldsTheProgramItsAssetsAndItsDesktopFiles) {
    TempDirectory prefix("velmora-prefix");
    std::string log;
    ASSERT_TRUE(InstallInto(prefix.Path(), &log)) << log;
    ExpectCompleteTree(prefix.Path());
    ExpectDesktopFiles(prefix.Path());
}

TEST(Package, ControlFieldsAndFilesUnderUsr) {
    TempDirectory output("velmora-package");
    std::string deb, log;
    ASSERT_TRUE(BuildPackage(output.Path(), &deb, &log)) << log;
    EXPECT_EQ(fs::path(deb).filename().string().rfind("velmora_" VELMORA_VERSION "_", 0), 0u)
        << deb;

    // The SDL library is opened by name at run time, so it is listed by hand: either of
    // Debian's two will do. ALSA is linked and must be listed too.
    const std::string depends = ControlField(deb, "Depends");
    EXPECT_NE(depends.find("libsdl1.2-compat | libsdl1.2debian"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libasound2"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libc6"), std::string::npos) << depends;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"Package", "velmora"},
        {"Version", VELMORA_VERSION},
        {"Section", "sound"},
        {"Maintainer", "The Velmora developers"},
    };
    for (const auto &[field, value] : fields)
        EXPECT_EQ(ControlField(deb, field), value) << field;
    std::string architecture;
    ASSERT_TRUE(RunCommand({"dpkg", "--print-architecture"}, &log, &architecture)) << log;
    EXPECT_EQ(ControlField(deb, "Architecture") + "\n", architecture);
    // A one-line summary, then a longer text whose lines fit a terminal.
    const std::string description = ControlField(deb, "Description");
    std::istringstream lines(description);
    std::string line;
    int lineCount = 0;
    while (std::getline(lines, line)) {
        ++lineCount;
        EXPECT_LE(line.size(), 80u) << line;
    }
    EXPECT_GE(lineCount, 3) << description;

    // Every entry root-owned under ./usr, and the same tree as cmake --install makes.
    std::string listing;
    ASSERT_TRUE(RunCommand({"dpkg-deb", "--contents", deb}, &log, &listing)) << log;
    std::istringstream entries(listing);
    while (std::getline(entries, line)) {
        EXPECT_NE(line.find(" root/root "), std::string::npos) << line;
        EXPECT_NE(line.find(" ./usr/"), std::string::npos) << line;
    }
    EXPECT_NE(listing.find(" ./usr/bin/velmora -> ../lib/velmora/velmora\n"), std::string::npos)
        << listing;
    TempDirectory unpacked("velmora-unpacked");
    ASSERT_TRUE(RunCommand({"dpkg-deb", "--extract", deb, unpacked.Path()}, &log)) << log;
    ExpectCompleteTree(unpacked.Path() + "/usr");
}

TEST(Installed, RunsFromItsCommandLink) {
    TempDirectory prefix("velmora-prefix"), output("velmora-package"), unpacked("velmora-unpacked");
    std::string deb, log;
    ASSERT_TRUE(InstallInto(prefix.Path(), &log)) << log;
    ASSERT_TRUE(BuildPackage(output.Path(), &deb, &log)) << log;
    ASSERT_TRUE(RunCommand({"dpkg-deb", "--extract", deb, unpacked.Path()}, &log)) << log;
    struct Case {
        const char *what;
        std::string command;
    };
    const std::vector<Case> cases = {
        {"installed with cmake --install", prefix.Path() + "/bin/velmora"},
        {"unpacked from the package", unpacked.Path() + "/usr/bin/velmora"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ExpectRunsFromCommandLink(c.command);
    }
}

} // namespace
