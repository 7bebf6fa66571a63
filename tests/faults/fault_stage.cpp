#include "fault_stage.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "screens.h"

namespace fs = std::filesystem;

const std::vector<KeyPoint> keyPoints = {
    {"C4", 220, 297, 0},  {"D4", 220, 252, 1},  {"E4", 220, 207, 2},  {"F4", 220, 162, 3},
    {"G4", 220, 117, 4},  {"A4", 220, 72, 5},   {"B4", 220, 27, 6},   {"C#4", 150, 279, 7},
    {"D#4", 150, 225, 8}, {"F#4", 150, 144, 9}, {"G#4", 150, 95, 10}, {"A#4", 150, 45, 11},
    {"C5", 100, 297, 12}, {"D5", 100, 252, 13}, {"E5", 100, 207, 14}, {"F5", 100, 162, 15},
    {"G5", 100, 117, 16}, {"A5", 100, 72, 17},  {"B5", 100, 27, 18},  {"C#5", 30, 279, 19},
    {"D#5", 30, 225, 20}, {"F#5", 30, 144, 21}, {"G#5", 30, 95, 22},  {"A#5", 30, 45, 23},
};

KeyPoint KeyPointOfSlot(int sampleSlot) {
    for (const KeyPoint &point : keyPoints) {
        if (point.sampleSlot == sampleSlot)
            return point;
    }
    return keyPoints.front();
}

bool ClampsOntoExitButton(int x, int y) {
    int clampedX = std::clamp(x, 0, stageWidth - 1);
    int clampedY = std::clamp(y, 0, stageHeight - 1);
    return clampedX >= stageWidth - 30 && clampedY < 5;
}

ProgramCopy::ProgramCopy() : directory("velmora-faults-copy") {
    fs::path built = fs::path(VELMORA_EXECUTABLE);
    fs::path base = built.parent_path();
    std::error_code error;
    fs::copy_file(built, Executable(), error);
    if (error)
        return;
    for (const char *folder : {"Gfx", "Samples"}) {
        fs::copy(base / folder, fs::path(directory.Path()) / folder, fs::copy_options::recursive,
                 error);
        if (error)
            return;
    }
    ready = fs::exists(Asset("Gfx/exitbutton.bmp")) && fs::exists(Asset("Samples/16d.wav"));
}

bool WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    return bool(file);
}

bool TruncateFile(const std::string &path, uint64_t byteCount) {
    return truncate(path.c_str(), off_t(byteCount)) == 0;
}

namespace {

void PutLittleEndian(std::string *out, uint32_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i)
        out->push_back(char((value >> (8 * i)) & 0xff));
}

// Writes a header and then the same chunk of bytes until the file holds dataBytes after it.
bool WriteRepeated(const std::string &path, const std::string &header, const std::string &chunk,
                   uint64_t dataBytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << header;
    for (uint64_t written = 0; written < dataBytes && file;) {
        uint64_t count = std::min<uint64_t>(chunk.size(), dataBytes - written);
        file.write(chunk.data(), std::streamsize(count));
        written += count;
    }
    return bool(file);
}

} // namespace

bool WriteSolidBmp(const std::string &path, int width, int height, uint32_t colour) {
    const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint64_t imageBytes = uint64_t(rowBytes) * uint32_t(height);
    std::string header = "BM";
    PutLittleEndian(&header, uint32_t(14 + 40 + imageBytes), 4);
    PutLittleEndian(&header, 0, 4);
    PutLittleEndian(&header, 14 + 40, 4);
    PutLittleEndian(&header, 40, 4);
    PutLittleEndian(&header, uint32_t(width), 4);
    PutLittleEndian(&header, uint32_t(height), 4);
    PutLittleEndian(&header, 1, 2);  // planes
    PutLittleEndian(&header, 24, 2); // bits per pixel
    PutLittleEndian(&header, 0, 4);  // uncompressed
    PutLittleEndian(&header, uint32_t(imageBytes), 4);
    PutLittleEndian(&header, 2835, 4);
    PutLittleEndian(&header, 2835, 4);
    PutLittleEndian(&header, 0, 4);
    PutLittleEndian(&header, 0, 4);
    std::string row;
    for (int x = 0; x < width; ++x) {
        row.push_back(char(colour & 0xff));
        row.push_back(char((colour >> 8) & 0xff));
        row.push_back(char((colour >> 16) & 0xff));
    }
    row.resize(rowBytes, '\0');
    return WriteRepeated(path, header, row, imageBytes);
}

std::string WaveFileHeader(const WaveShape &shape, uint32_t dataBytes) {
    const int blockAlign = shape.channels * shape.bits / 8;
    std::string header = "RIFF";
    PutLittleEndian(&header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    PutLittleEndian(&header, 16, 4);
    PutLittleEndian(&header, 1, 2); // PCM
    PutLittleEndian(&header, uint32_t(shape.channels), 2);
    PutLittleEndian(&header, uint32_t(shape.rate), 4);
    PutLittleEndian(&header, uint32_t(shape.rate * blockAlign), 4);
    PutLittleEndian(&header, uint32_t(blockAlign), 2);
    PutLittleEndian(&header, uint32_t(shape.bits), 2);
    header += "data";
    PutLittleEndian(&header, dataBytes, 4);
    return header;
}

bool WriteToneWave(const std::string &path, const WaveShape &shape, uint64_t dataBytes) {
    // One period of a 441 Hz square wave at 22050 Hz (50 values), loud enough to be heard
    // however the program reads it, and never exactly silent in any of its bytes.
    std::string chunk;
    for (int index = 0; index < 50; ++index) {
        if (shape.bits == 8) {
            chunk.push_back(char(index < 25 ? 0xe0 : 0x20));
            continue;
        }
        int16_t value = index < 25 ? 12000 : -12000;
        chunk.push_back(char(value & 0xff));
        chunk.push_back(char((value >> 8) & 0xff));
    }
    if (shape.channels == 2) {
        std::string stereo;
        const size_t frame = size_t(shape.bits / 8);
        for (size_t at = 0; at < chunk.size(); at += frame)
            stereo += chunk.substr(at, frame) + chunk.substr(at, frame);
        chunk = stereo;
    }
    uint32_t declared = uint32_t(std::min<uint64_t>(dataBytes, UINT32_MAX - 36));
    return WriteRepeated(path, WaveFileHeader(shape, declared), chunk, dataBytes);
}

std::string FindSanitizerReport(const std::string &errors) {
    std::istringstream lines(errors);
    std::string line, report;
    while (std::getline(lines, line)) {
        if (line.find("Sanitizer") != std::string::npos ||
            line.find("runtime error:") != std::string::npos)
            report += line + "\n";
    }
    return report;
}

std::string JudgeEnding(const ExitStatus &status, const Program &program) {
    std::string verdict;
    if (!status.ended)
        verdict += "the program did not end within its bound; ";
    else if (!status.exited || status.code != 0)
        verdict += "the program " + DescribeExit(status) + "; ";
    std::string report = FindSanitizerReport(program.Errors());
    if (!report.empty())
        verdict += "a sanitizer reported:\n" + report;
    if (!verdict.empty())
        verdict += "\nits error output:\n" + program.Errors();
    return verdict;
}

bool WaitForKeyboard(XScreen &screen, int timeoutMilliseconds) {
    return WaitForSplashToGo(screen, timeoutMilliseconds);
}

void TapAt(XScreen &screen, int x, int y, int holdMilliseconds) {
    screen.PenDown(x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMilliseconds));
    screen.PenUp(x, y);
}

ExitStatus EndWithQuitRequests(Program &program, int *requests) {
    ExitStatus status;
    int sent = 0;
    // A request that reaches the program while the event filter is being installed is
    // dropped with the rest of the queue, so one more is allowed for.
    for (; sent < 4 && !status.ended; ++sent) {
        program.Signal(SIGTERM);
        status = program.WaitForExit(sent == 0 ? 1000 : shutdownBoundMilliseconds / 2);
    }
    if (requests)
        *requests = sent;
    return status;
}

ExitStatus EndWithExitButton(XScreen &screen, Program &program) {
    TapAt(screen, exitButtonX, exitButtonY, 30);
    return program.WaitForExit(shutdownBoundMilliseconds);
}

int CountDifferences(const Screenshot &a, const Screenshot &b, std::string *first) {
    if (a.width != b.width || a.height != b.height || a.width == 0)
        return std::max(a.width * a.height, std::max(b.width * b.height, 1));
    int differences = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            Pixel p = a.At(x, y), q = b.At(x, y);
            if (std::abs(p.red - q.red) <= channelTolerance &&
                std::abs(p.green - q.green) <= channelTolerance &&
                std::abs(p.blue - q.blue) <= channelTolerance)
                continue;
            if (differences++ == 0 && first)
                *first = "first at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return differences;
}

Screenshot TakeSettledScreenshot(XScreen &screen, int timeoutMilliseconds) {
    Screenshot previous = screen.TakeScreenshot();
    Screenshot current;
    WaitUntil(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            current = screen.TakeScreenshot();
            bool settled = CountDifferences(previous, current) == 0;
            previous = current;
            return settled;
        },
        timeoutMilliseconds);
    return current;
}

void CountRealtimeThreads(pid_t pid, int *realtime, int *total) {
    *realtime = 0;
    *total = 0;
    std::error_code error;
    for (const auto &entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        int policy = sched_getscheduler(pid_t(std::stoi(entry.path().filename().string())));
        if (policy < 0)
            continue;
        ++*total;
        if ((policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO ||
            (policy & ~SCHED_RESET_ON_FORK) == SCHED_RR)
            ++*realtime;
    }
}

bool MakeRealtime(pid_t pid, int priority) {
    bool granted = true;
    std::error_code error;
    for (const auto &entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        pid_t thread = pid_t(std::stoi(entry.path().filename().string()));
        sched_param parameters{};
        parameters.sched_priority = priority;
        if (sched_getscheduler(thread) == SCHED_OTHER &&
            sched_setscheduler(thread, SCHED_FIFO, &parameters) != 0)
            granted = false;
    }
    return granted && !error;
}

size_t LongestSilence(const std::vector<int16_t> &samples, size_t from, size_t to, size_t *start) {
    size_t run = 0, longest = 0;
    if (start)
        *start = from;
    for (size_t index = from; index < std::min(to, samples.size()); ++index) {
        run = samples[index] == 0 ? run + 1 : 0;
        if (run > longest) {
            longest = run;
            if (start)
                *start = index + 1 - run;
        }
    }
    return longest;
}

int PeakLevel(const std::vector<int16_t> &samples, size_t from, size_t to) {
    int peak = 0;
    for (size_t index = from; index < std::min(to, samples.size()); ++index)
        peak = std::max(peak, std::abs(int(samples[index])));
    return peak;
}

size_t RecordingIndexAt(const SoundServer &sound, int64_t monotonicNanoseconds,
                        size_t recordingSize) {
    int64_t offset = monotonicNanoseconds - sound.RecordingStart();
    if (offset <= 0)
        return 0;
    size_t index = size_t(double(offset) * recordingRate / 1e9);
    return std::min(index, recordingSize);
}

CpuLoad::CpuLoad(int processes) {
    for (int index = 0; index < processes; ++index) {
        loops.push_back(std::make_unique<ChildProcess>());
        loops.back()->Start({"/bin/sh", "-c", "while :; do :; done"}, {"LC_ALL=C"}, "/dev/null",
                            "/dev/null");
    }
}

CpuLoad::~CpuLoad() {
    for (auto &loop : loops)
        loop->Stop(SIGKILL, 0);
}

bool CpuLoad::Running() {
    for (auto &loop : loops) {
        if (!loop->Running())
            return false;
    }
    return true;
}
