// What every fault case shares: a copy of the program beside its own assets to damage, the
// damaged files themselves, the ways a run is driven and ended, and the one verdict that
// every case ends with: the program exited with code 0, by itself, and no sanitizer spoke.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

// Generous hang guards: a program that takes longer than this has hung, not just run slowly.
inline constexpr int startupBoundMilliseconds = 20000;
inline constexpr int shutdownBoundMilliseconds = 10000;

// The line the program prints once SDL is up, and nothing else.
inline constexpr const char *startupLine = "Velmora starting...\n";

// A screen point and what a user would call it.
struct KeyPoint {
    const char *name;
    int x, y;
    int sampleSlot; // the sample it plays
};

// Points well inside keys of both octaves, white and black, away from every neighbour.
extern const std::vector<KeyPoint> keyPoints;

// The point of the key that plays the given sample slot.
KeyPoint KeyPointOfSlot(int sampleSlot);

// Inside the exit button, the 30 x 5 strip at the screen's top-right corner.
inline constexpr int exitButtonX = 225;
inline constexpr int exitButtonY = 2;

// True when a point, once the X server has clamped it to the screen, lies on the exit button.
bool ClampsOntoExitButton(int x, int y);

// The built program, its pictures and samples copied into a directory of their own.
class ProgramCopy {
  public:
    ProgramCopy();
    bool Ready() const {
        return ready;
    }
    const std::string &Directory() const {
        return directory.Path();
    }
    std::string Executable() const {
        return directory.Path() + "/velmora";
    }
    // The full path of an asset, given as the program names it ("Gfx/whitekey.bmp").
    std::string Asset(const std::string &relativeName) const {
        return directory.Path() + "/" + relativeName;
    }

  private:
    TempDirectory directory;
    bool ready = false;
};

// Replaces a file's contents with the given bytes.
bool WriteBytes(const std::string &path, const std::string &bytes);

// Cuts a file to its first byteCount bytes.
bool TruncateFile(const std::string &path, uint64_t byteCount);

// A 24-bit uncompressed BMP of one colour (0xRRGGBB), written straight to the file.
bool WriteSolidBmp(const std::string &path, int width, int height, uint32_t colour);

// A PCM WAV file whose header says what is given and whose data is dataBytes bytes of a
// loud, never-silent tone (or of nothing).
struct WaveShape {
    int channels = 1;
    int rate = 22050;
    int bits = 16;
};
bool WriteToneWave(const std::string &path, const WaveShape &shape, uint64_t dataBytes);

// The 44-byte header of a PCM WAV file for dataBytes bytes of data.
std::string WaveFileHeader(const WaveShape &shape, uint32_t dataBytes);

// The lines of a program's error output in which a sanitizer reports; empty when none did.
std::string FindSanitizerReport(const std::string &errors);

// The verdict every case ends with: exited by itself with code 0, no sanitizer report.
// Empty when well-behaved, else what went wrong, with the program's error output.
std::string JudgeEnding(const ExitStatus &status, const Program &program);

// Waits for the keyboard: the splash has been shown and has gone, so the event loop runs.
bool WaitForKeyboard(XScreen &screen, int timeoutMilliseconds = startupBoundMilliseconds);

// Touches a point and lifts the pen there.
void TapAt(XScreen &screen, int x, int y, int holdMilliseconds = 60);

// Asks the program to quit the way the system does until it ends: the first request is
// swallowed on purpose, so it takes two, a second apart; *requests says how many were sent.
ExitStatus EndWithQuitRequests(Program &program, int *requests = nullptr);

// Lifts the pen on the exit button and waits for the program to end.
ExitStatus EndWithExitButton(XScreen &screen, Program &program);

// Counts the pixels in which two screenshots differ by more than the screen's rounding;
// describes the first one.
int CountDifferences(const Screenshot &a, const Screenshot &b, std::string *first = nullptr);

// Takes screenshots until two in a row agree (the screen has settled), at most for the time.
Screenshot TakeSettledScreenshot(XScreen &screen, int timeoutMilliseconds = 5000);

// How many of a process's threads run under a real-time policy (SCHED_FIFO or SCHED_RR),
// and how many it has.
void CountRealtimeThreads(pid_t pid, int *realtime, int *total);

// Moves every thread of a process that runs under the normal policy to SCHED_FIFO at the
// given priority; false if the system refuses (it takes root or CAP_SYS_NICE).
bool MakeRealtime(pid_t pid, int priority);

// The longest run of exactly silent samples in [from, to) of a recording; *start says where
// it begins.
size_t LongestSilence(const std::vector<int16_t> &samples, size_t from, size_t to,
                      size_t *start = nullptr);

// The largest absolute sample value in [from, to) of a recording.
int PeakLevel(const std::vector<int16_t> &samples, size_t from, size_t to);

// The index in the recording of a CLOCK_MONOTONIC time, clamped to the recording.
size_t RecordingIndexAt(const SoundServer &sound, int64_t monotonicNanoseconds,
                        size_t recordingSize);

// Busy loops at normal priority, one per core, for as long as the object lives.
class CpuLoad {
  public:
    explicit CpuLoad(int processes);
    ~CpuLoad();
    CpuLoad(const CpuLoad &) = delete;
    CpuLoad &operator=(const CpuLoad &) = delete;
    // True while every loop is still running.
    bool Running();

  private:
    std::vector<std::unique_ptr<ChildProcess>> loops;
};
