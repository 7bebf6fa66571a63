// The end-to-end stage: a private X screen, a private sound server and the real program,
// driven from outside the way a user and the system would drive them. Every piece tears
// itself down in its destructor, so a failing test leaves nothing running behind it.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct _XDisplay;

// The screen every test runs on: the handheld's own size, in full colour.
inline constexpr int stageWidth = 240;
inline constexpr int stageHeight = 320;

// The recording's format: what the program itself plays.
inline constexpr int recordingRate = 22050;
// The null sink mixes in blocks this long (the recorder asks for them), so a sound sits in
// the recording within one block, either way, of the clock time it reached the server.
inline constexpr int recordingBlockMilliseconds = 10;

// Nanoseconds on CLOCK_MONOTONIC, the clock every time stamp of the harness is given in.
int64_t MonotonicNanoseconds();

// Checks the condition every two milliseconds until it holds or the time runs out.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMilliseconds);

// A file in the build tree's artifact folder, kept after the run for a person to look at.
std::string ArtifactPath(const std::string &name);

// Reads a whole file; empty when it cannot.
std::string ReadFile(const std::string &path);

// The directory of the built program, with its trailing '/': its pictures and samples lie there.
std::string ProgramDirectory();

// How a child process ended, or that it had not ended yet.
struct ExitStatus {
    bool ended = false;  // false: still running when the wait ran out
    bool exited = false; // ended through exit, not through a signal
    int code = -1;       // its exit code, when it exited
    int signal = 0;      // the signal that ended it, when it did not exit
};

// Says how a process ended, for failure messages.
std::string DescribeExit(const ExitStatus &status);

// A temporary directory that disappears, with everything in it, on destruction.
class TempDirectory {
  public:
    explicit TempDirectory(const std::string &prefix);
    ~TempDirectory();
    TempDirectory(const TempDirectory &) = delete;
    TempDirectory &operator=(const TempDirectory &) = delete;
    const std::string &Path() const {
        return path;
    }

  private:
    std::string path;
};

// A child process with an exact environment and its output going to files. It dies with
// the test process (even one killed by a time-out) and is killed on destruction.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts arguments[0] (a path, or a name looked up in PATH); keepOpen is a descriptor
    // the child inherits under the same number.
    bool Start(const std::vector<std::string> &arguments,
               const std::vector<std::string> &environment, const std::string &outputPath,
               const std::string &errorPath, int keepOpen = -1);
    bool Running();
    bool Signal(int signal);
    ExitStatus WaitForExit(int timeoutMilliseconds);
    // Asks it to end, then kills it if it will not; safe to call when it already ended.
    void Stop(int signal = SIGTERM, int graceMilliseconds = 2000);
    pid_t Pid() const {
        return pid;
    }

  private:
    void Reap(int options);
    pid_t pid = -1;
    int pidFd = -1;
    ExitStatus status;
};

// Runs a tool to its end; true when it exited with 0. Its standard output goes to *output.
bool RunTool(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
             int timeoutMilliseconds, std::string *output = nullptr);

// One pixel of a screenshot.
struct Pixel {
    uint8_t red, green, blue;
};

// The whole screen's pixels, rows top to bottom.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // three bytes per pixel
    Pixel At(int x, int y) const;
    // Writes an 8-bit RGB PNG file.
    bool SavePng(const std::string &path) const;
};

// A top-level window on the screen, in screen coordinates.
struct WindowInfo {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

// A private X server (Xvfb) with one 240x320x24 screen, and the test's own connection to it.
class XScreen {
  public:
    XScreen() = default;
    ~XScreen();
    XScreen(const XScreen &) = delete;
    XScreen &operator=(const XScreen &) = delete;

    // Starts the server on a free display number and connects; *error says why not.
    bool Start(std::string *error);
    void Stop();
    // ":n", the value for DISPLAY.
    const std::string &DisplayName() const {
        return displayName;
    }

    // The mapped top-level windows, bottom to top.
    std::vector<WindowInfo> MappedWindows();
    // Waits until a top-level window is mapped and gives the topmost one.
    bool WaitForWindow(int timeoutMilliseconds, WindowInfo *window);
    // How many windows anyone created on the screen since Start.
    int WindowsCreated();
    // Where the pointer is inside the window, in the window's own coordinates.
    bool PointerInWindow(unsigned long window, int *x, int *y);

    // The pen, through the XTEST extension: each call reaches the server before it returns.
    void PenDown(int x, int y);
    void PenMove(int x, int y);
    void PenUp(int x, int y);

    Screenshot TakeScreenshot();

  private:
    void PumpEvents();
    ChildProcess server;
    std::unique_ptr<TempDirectory> logDirectory;
    std::string displayName;
    _XDisplay *display = nullptr;
    int windowsCreated = 0;
};

// A private PulseAudio server whose default sink is a null sink, recorded from the start
// (16-bit mono 22050 Hz). It needs no X screen.
class SoundServer {
  public:
    SoundServer() = default;
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    // Starts the server and the recorder, and returns once the recording is running.
    bool Start(std::string *error);
    void Stop();

    // What a client needs to play to this server (and to nothing else).
    const std::vector<std::string> &Environment() const {
        return environment;
    }
    // The CLOCK_MONOTONIC time of the recording's first sample, and how far it may be off
    // (the round trip of one command to the server: typically well under a millisecond).
    int64_t RecordingStart() const {
        return recordingStart;
    }
    int64_t RecordingStartUncertainty() const {
        return recordingStartUncertainty;
    }
    // The samples recorded so far.
    std::vector<int16_t> ReadRecording() const;
    // Ends the recording and writes it as a 16-bit mono WAV file.
    bool FinishRecording(const std::string &wavePath);
    // The server's process, for tests that stop and resume it.
    pid_t ServerPid() const {
        return server.Pid();
    }

  private:
    // Sends one command over the server's command socket; gives its answer, empty when it
    // succeeded without one.
    std::string AskServer(const std::string &command);
    std::unique_ptr<TempDirectory> directory;
    int commandSocket = -1;
    ChildProcess server;
    ChildProcess recorder;
    std::vector<std::string> environment;
    int64_t recordingStart = 0;
    int64_t recordingStartUncertainty = 0;
};

// The built velmora, started with exactly the environment given.
class Program {
  public:
    Program() = default;
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool Launch(const std::vector<std::string> &environment);
    // Starts another copy of the program, such as one beside damaged assets.
    bool LaunchExecutable(const std::string &executable,
                          const std::vector<std::string> &environment);
    // The CLOCK_MONOTONIC time it was started.
    int64_t LaunchTime() const {
        return launchTime;
    }
    pid_t Pid() const {
        return process.Pid();
    }
    std::string Output() const;
    std::string Errors() const;
    bool WaitForOutput(const std::string &text, int timeoutMilliseconds) const;
    bool Running() {
        return process.Running();
    }
    bool Signal(int signal) {
        return process.Signal(signal);
    }
    ExitStatus WaitForExit(int timeoutMilliseconds) {
        return process.WaitForExit(timeoutMilliseconds);
    }

  private:
    std::unique_ptr<TempDirectory> directory;
    ChildProcess process;
    int64_t launchTime = 0;
};

// The program's environment: a bare base (with LD_LIBRARY_PATH set to the test's
// VELMORA_TEST_SDL_LIBRARY_DIR, when it names another SDL library), then DISPLAY of the
// screen, the sound server's variables and the extra assignments, each later "NAME=value"
// replacing an earlier one.
std::vector<std::string> ProgramEnvironment(const XScreen *screen, const SoundServer *sound,
                                            const std::vector<std::string> &extra = {});

// Everything one run of the program needs: its screen, its sound server, and the program on
// them. Declared in this order, the program goes first on destruction.
struct Stage {
    XScreen screen;
    SoundServer sound;
    Program program;

    // Starts the screen and the sound server; *error says what did not come up.
    bool Start(std::string *error);
    // Starts the program on them, with extra "NAME=value" assignments.
    bool Launch(const std::vector<std::string> &extra = {});
};
