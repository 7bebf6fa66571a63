#include "harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Where the tools live; the program and the servers get nothing else of the test's PATH.
const char *const toolPath = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// Sanitizer settings are the only variables a sanitized program inherits from the test.
const char *const passedThrough[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                                     "TSAN_OPTIONS"};

const char *const sinkName = "velmora_sink";

// Gives the name part of a "NAME=value" assignment.
std::string VariableName(const std::string &assignment) {
    return assignment.substr(0, assignment.find('='));
}

// Adds an assignment, replacing an earlier one of the same name.
void SetVariable(std::vector<std::string> *environment, const std::string &assignment) {
    std::string name = VariableName(assignment);
    for (std::string &existing : *environment) {
        if (VariableName(existing) == name) {
            existing = assignment;
            return;
        }
    }
    environment->push_back(assignment);
}

// The environment the servers and tools run with.
std::vector<std::string> ToolEnvironment(const std::vector<std::string> &extra = {}) {
    std::vector<std::string> environment = {toolPath, "LC_ALL=C"};
    for (const std::string &assignment : extra)
        SetVariable(&environment, assignment);
    return environment;
}

// Finds an executable by name the way a shell would, in the tools' PATH.
std::string FindExecutable(const std::string &name) {
    if (name.find('/') != std::string::npos)
        return name;
    std::stringstream directories(std::string(toolPath).substr(5));
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        std::string candidate = directory + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return name;
}

bool WriteFile(const std::string &path, const std::string &contents) {
    std::ofstream file(path, std::ios::binary);
    file << contents;
    return bool(file);
}

bool FileExists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

off_t FileSize(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// Reads one line from a pipe, waiting at most the given time for it.
std::string ReadLineFrom(int fd, int timeoutMilliseconds) {
    std::string line;
    int64_t deadline = MonotonicNanoseconds() + int64_t(timeoutMilliseconds) * 1000000;
    while (line.empty() || line.back() != '\n') {
        int left = int((deadline - MonotonicNanoseconds()) / 1000000);
        pollfd pending = {fd, POLLIN, 0};
        if (left <= 0 || poll(&pending, 1, left) <= 0)
            break;
        char byte;
        if (read(fd, &byte, 1) != 1)
            break;
        line += byte;
    }
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

// Keeps a window that vanished between two requests from ending the test process.
int IgnoreXError(Display *, XErrorEvent *) {
    return 0;
}

// Scales one colour channel of a pixel value to 8 bits.
uint8_t ExtractChannel(unsigned long pixel, unsigned long mask) {
    if (mask == 0)
        return 0;
    int shift = __builtin_ctzl(mask);
    int bits = __builtin_popcountl(mask);
    unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8)
        return uint8_t(value >> (bits - 8));
    return uint8_t(value * 255 / ((1ul << bits) - 1));
}

void AppendBigEndian(std::string *out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(char((value >> shift) & 0xff));
}

// Appends one PNG chunk with its length and checksum.
void AppendPngChunk(std::string *png, const char *type, const std::string &data) {
    AppendBigEndian(png, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    png->append(body);
    AppendBigEndian(
        png, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size()))));
}

void AppendLittleEndian(std::string *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(char((value >> (8 * i)) & 0xff));
}

// A RIFF/WAVE header for 16-bit mono PCM of the given data length.
std::string WaveHeader(uint32_t dataBytes) {
    std::string header = "RIFF";
    AppendLittleEndian(&header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    AppendLittleEndian(&header, 16, 4);
    AppendLittleEndian(&header, 1, 2); // PCM
    AppendLittleEndian(&header, 1, 2); // mono
    AppendLittleEndian(&header, recordingRate, 4);
    AppendLittleEndian(&header, recordingRate * 2, 4);
    AppendLittleEndian(&header, 2, 2);
    AppendLittleEndian(&header, 16, 2);
    header += "data";
    AppendLittleEndian(&header, dataBytes, 4);
    return header;
}

} // namespace

int64_t MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMilliseconds) {
    int64_t deadline = MonotonicNanoseconds() + int64_t(timeoutMilliseconds) * 1000000;
    for (;;) {
        if (condition())
            return true;
        if (MonotonicNanoseconds() >= deadline)
            return false;
        usleep(2000);
    }
}

std::string ArtifactPath(const std::string &name) {
    std::error_code ignored;
    std::filesystem::create_directories(E2E_ARTIFACT_DIR, ignored);
    return std::string(E2E_ARTIFACT_DIR) + "/" + name;
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string ProgramDirectory() {
    const std::string executable = VELMORA_EXECUTABLE;
    return executable.substr(0, executable.rfind('/') + 1);
}

std::string DescribeExit(const ExitStatus &status) {
    if (!status.ended)
        return "still running";
    if (status.exited)
        return "exited with code " + std::to_string(status.code);
    return "killed by signal " + std::to_string(status.signal) + " (" + strsignal(status.signal) +
           ")";
}

TempDirectory::TempDirectory(const std::string &prefix) {
    std::string pattern = "/tmp/" + prefix + ".XXXXXX";
    if (mkdtemp(pattern.data()))
        path = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

ChildProcess::~ChildProcess() {
    Stop(SIGKILL, 0);
}

bool ChildProcess::Start(const std::vector<std::string> &arguments,
                         const std::vector<std::string> &environment, const std::string &outputPath,
                         const std::string &errorPath, int keepOpen) {
    if (pid > 0 || arguments.empty())
        return false;
    // Everything the child needs is prepared before the fork: after it, only plain system calls.
    std::string executable = FindExecutable(arguments[0]);
    std::vector<char *> argv, envp;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    for (const std::string &assignment : environment)
        envp.push_back(const_cast<char *>(assignment.c_str()));
    envp.push_back(nullptr);
    int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int error = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (input < 0 || output < 0 || error < 0) {
        for (int fd : {input, output, error})
            if (fd >= 0)
                close(fd);
        return false;
    }
    pid_t parent = getpid();
    pid = fork();
    if (pid == 0) {
        // Dies with the test process, however that ends, so no server outlives a killed test.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        // Default dispositions: SDL only turns SIGTERM into a quit request when it finds none.
        struct sigaction defaults = {};
        defaults.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal)
            sigaction(signal, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(input, 0);
        dup2(output, 1);
        dup2(error, 2);
        // Nothing else of the test's leaks through: an inherited pipe end would keep a
        // reader, such as ctest, waiting for a server that outlives the test.
        if (keepOpen >= 3) {
            syscall(SYS_close_range, 3u, unsigned(keepOpen - 1), 0u);
            syscall(SYS_close_range, unsigned(keepOpen + 1), ~0u, 0u);
            fcntl(keepOpen, F_SETFD, 0);
        } else {
            syscall(SYS_close_range, 3u, ~0u, 0u);
        }
        execve(executable.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(input);
    close(output);
    close(error);
    if (pid < 0)
        return false;
    status = ExitStatus{};
    pidFd = int(syscall(SYS_pidfd_open, pid, 0));
    return true;
}

void ChildProcess::Reap(int options) {
    if (pid <= 0 || status.ended)
        return;
    int raw = 0;
    pid_t result = waitpid(pid, &raw, options);
    if (result != pid)
        return;
    status.ended = true;
    status.exited = WIFEXITED(raw);
    status.code = status.exited ? WEXITSTATUS(raw) : -1;
    status.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
}

bool ChildProcess::Running() {
    Reap(WNOHANG);
    return pid > 0 && !status.ended;
}

bool ChildProcess::Signal(int signal) {
    return Running() && kill(pid, signal) == 0;
}

ExitStatus ChildProcess::WaitForExit(int timeoutMilliseconds) {
    int64_t deadline = MonotonicNanoseconds() + int64_t(timeoutMilliseconds) * 1000000;
    for (;;) {
        if (!Running())
            return status;
        int left = int((deadline - MonotonicNanoseconds()) / 1000000);
        if (left <= 0)
            return status;
        if (pidFd >= 0) {
            pollfd ending = {pidFd, POLLIN, 0};
            poll(&ending, 1, left);
        } else {
            usleep(2000);
        }
    }
}

void ChildProcess::Stop(int signal, int graceMilliseconds) {
    if (pid <= 0)
        return;
    if (Running()) {
        kill(pid, signal);
        if (!WaitForExit(graceMilliseconds).ended) {
            kill(pid, SIGKILL);
            WaitForExit(10000);
        }
    }
    if (pidFd >= 0)
        close(pidFd);
    pidFd = -1;
    pid = -1;
}

bool RunTool(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
             int timeoutMilliseconds, std::string *output) {
    TempDirectory directory("velmora-tool");
    ChildProcess tool;
    if (!tool.Start(arguments, environment, directory.Path() + "/out", directory.Path() + "/err"))
        return false;
    ExitStatus status = tool.WaitForExit(timeoutMilliseconds);
    tool.Stop(SIGKILL, 0);
    if (output)
        *output = ReadFile(directory.Path() + "/out");
    return status.ended && status.exited && status.code == 0;
}

Pixel Screenshot::At(int x, int y) const {
    const uint8_t *p = &rgb[(size_t(y) * width + x) * 3];
    return Pixel{p[0], p[1], p[2]};
}

bool Screenshot::SavePng(const std::string &path) const {
    if (width <= 0 || height <= 0)
        return false;
    std::string header;
    AppendBigEndian(&header, uint32_t(width));
    AppendBigEndian(&header, uint32_t(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits per channel, RGB, no interlace
    // Each row starts with its filter type, 0: stored as it is.
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back('\0');
        rows.append(reinterpret_cast<const char *>(&rgb[size_t(y) * width * 3]), size_t(width) * 3);
    }
    uLongf packedSize = compressBound(uLong(rows.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef *>(rows.data()), uLong(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string png = "\x89PNG\r\n\x1a\n";
    AppendPngChunk(&png, "IHDR", header);
    AppendPngChunk(&png, "IDAT", packed);
    AppendPngChunk(&png, "IEND", "");
    return WriteFile(path, png);
}

XScreen::~XScreen() {
    Stop();
}

bool XScreen::Start(std::string *error) {
    logDirectory = std::make_unique<TempDirectory>("velmora-x");
    const std::string log = logDirectory->Path() + "/xvfb.log";
    // Spread over a wide range, so that test processes running side by side rarely meet.
    int first = 100 + int(getpid() % 400);
    for (int attempt = 0; attempt < 40 && displayName.empty(); ++attempt) {
        int number = first + attempt;
        std::string n = std::to_string(number);
        if (FileExists("/tmp/.X" + n + "-lock") || FileExists("/tmp/.X11-unix/X" + n))
            continue;
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            break;
        // With -displayfd the server writes its number once it accepts connections, and
        // fails at once when another server holds the number.
        bool started =
            server.Start({"Xvfb", ":" + n, "-displayfd", std::to_string(ready[1]), "-screen", "0",
                          std::to_string(stageWidth) + "x" + std::to_string(stageHeight) + "x24",
                          "-nolisten", "tcp", "-noreset"},
                         ToolEnvironment(), log, log, ready[1]);
        close(ready[1]);
        std::string line = started ? ReadLineFrom(ready[0], 10000) : "";
        close(ready[0]);
        if (line == n)
            displayName = ":" + n;
        else
            server.Stop(SIGKILL, 0);
    }
    if (displayName.empty()) {
        if (error)
            *error = "Xvfb did not start: " + ReadFile(log);
        return false;
    }
    XSetErrorHandler(IgnoreXError);
    display = XOpenDisplay(displayName.c_str());
    int eventBase, errorBase, major, minor;
    if (!display || !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        if (error)
            *error = "cannot use display " + displayName + " with XTEST";
        Stop();
        return false;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return true;
}

void XScreen::Stop() {
    if (display)
        XCloseDisplay(display);
    display = nullptr;
    server.Stop(SIGTERM, 3000);
    displayName.clear();
    logDirectory.reset();
}

void XScreen::PumpEvents() {
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == CreateNotify)
            ++windowsCreated;
    }
}

std::vector<WindowInfo> XScreen::MappedWindows() {
    std::vector<WindowInfo> windows;
    if (!display)
        return windows;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return windows;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
            int border = attributes.border_width;
            windows.push_back(WindowInfo{children[i], attributes.x + border, attributes.y + border,
                                         attributes.width, attributes.height});
        }
    }
    if (children)
        XFree(children);
    return windows;
}

bool XScreen::WaitForWindow(int timeoutMilliseconds, WindowInfo *window) {
    std::vector<WindowInfo> windows;
    if (!WaitUntil(
            [&] {
                windows = MappedWindows();
                return !windows.empty();
            },
            timeoutMilliseconds))
        return false;
    if (window)
        *window = windows.back();
    return true;
}

int XScreen::WindowsCreated() {
    if (!display)
        return windowsCreated;
    XSync(display, False);
    PumpEvents();
    return windowsCreated;
}

bool XScreen::PointerInWindow(unsigned long window, int *x, int *y) {
    Window root, child;
    int rootX, rootY;
    unsigned int mask;
    return display &&
           XQueryPointer(display, window, &root, &child, &rootX, &rootY, x, y, &mask) == True;
}

void XScreen::PenMove(int x, int y) {
    XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
    XSync(display, False);
}

// A touch lands where the pen is: the pointer moves there first, then the button goes down.
void XScreen::PenDown(int x, int y) {
    PenMove(x, y);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XSync(display, False);
}

void XScreen::PenUp(int x, int y) {
    PenMove(x, y);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
}

Screenshot XScreen::TakeScreenshot() {
    Screenshot shot;
    if (!display)
        return shot;
    XImage *image = XGetImage(display, DefaultRootWindow(display), 0, 0, stageWidth, stageHeight,
                              AllPlanes, ZPixmap);
    if (!image)
        return shot;
    shot.width = image->width;
    shot.height = image->height;
    shot.rgb.resize(size_t(shot.width) * shot.height * 3);
    uint8_t *out = shot.rgb.data();
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            *out++ = ExtractChannel(pixel, image->red_mask);
            *out++ = ExtractChannel(pixel, image->green_mask);
            *out++ = ExtractChannel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return shot;
}

SoundServer::~SoundServer() {
    Stop();
}

// Connects to a unix socket; -1 when nobody listens there.
static int ConnectUnixSocket(const std::string &path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool SoundServer::Start(std::string *error) {
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why + "\n" + ReadFile(directory->Path() + "/server.log") +
                     ReadFile(directory->Path() + "/recorder.log");
        Stop();
        return false;
    };
    directory = std::make_unique<TempDirectory>("velmora-sound");
    const std::string dir = directory->Path();
    const std::string socket = dir + "/native";
    // The sink has the program's own format, so nothing is resampled on the way to the
    // recording, and no rewinds, so what it once mixed stays where it is. It stays suspended
    // until the recorder listens: the null sink's first block would otherwise hold back the
    // recording for two seconds, and resuming it gives the recording's first sample a known
    // moment. The command socket comes last, so once it answers everything is loaded.
    WriteFile(
        dir + "/velmora.pa",
        std::string("load-module module-null-sink sink_name=") + sinkName +
            " format=s16le rate=" + std::to_string(recordingRate) + " channels=1 norewinds=1\n" +
            "load-module module-native-protocol-unix socket=" + socket + " auth-anonymous=1\n" +
            "set-default-sink " + sinkName + "\n" + "suspend-sink " + sinkName + " 1\n" +
            "load-module module-cli-protocol-unix socket=" + dir + "/command\n");
    // Its own runtime, state and home directories keep it apart from any other server.
    environment = {"PULSE_SERVER=unix:" + socket, "PULSE_RUNTIME_PATH=" + dir,
                   "PULSE_STATE_PATH=" + dir, "XDG_RUNTIME_DIR=" + dir, "HOME=" + dir};
    std::vector<std::string> toolEnvironment = ToolEnvironment(environment);
    if (!server.Start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                       "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr", "-F",
                       dir + "/velmora.pa"},
                      toolEnvironment, dir + "/server.log", dir + "/server.log"))
        return fail("pulseaudio did not start");
    bool answered = WaitUntil(
        [&] {
            commandSocket = ConnectUnixSocket(dir + "/command");
            return commandSocket >= 0 || !server.Running();
        },
        10000);
    if (!answered || commandSocket < 0)
        return fail("pulseaudio does not answer");

    if (!recorder.Start({"parec", std::string("--device=") + sinkName + ".monitor",
                         "--rate=" + std::to_string(recordingRate), "--channels=1",
                         "--format=s16le",
                         "--latency-msec=" + std::to_string(recordingBlockMilliseconds)},
                        toolEnvironment, dir + "/recording.raw", dir + "/recorder.log"))
        return fail("parec did not start");
    bool listening = WaitUntil(
        [&] {
            return !recorder.Running() ||
                   AskServer("list-source-outputs").rfind("1 source output(s)", 0) == 0;
        },
        10000);
    if (!listening || !recorder.Running())
        return fail("parec does not record");

    // The command socket answers in a fraction of a millisecond, which bounds the moment
    // the sink resumed, and with it the recording's first sample, as tightly.
    int64_t before = MonotonicNanoseconds();
    std::string refusal = AskServer(std::string("suspend-sink ") + sinkName + " 0");
    int64_t after = MonotonicNanoseconds();
    if (!refusal.empty())
        return fail("the sink does not resume: " + refusal);
    recordingStart = (before + after) / 2;
    recordingStartUncertainty = (after - before) / 2;
    if (!WaitUntil([&] { return FileSize(dir + "/recording.raw") > 0; }, 5000))
        return fail("the recording stays empty");
    return true;
}

std::string SoundServer::AskServer(const std::string &command) {
    // Commands that succeed say nothing, so a listing with a known one-line answer follows
    // each one: when that line arrives, the command has been carried out.
    const std::string marker = " cache entrie(s) available.\n";
    std::string request = command + "\nlist-samples\n";
    if (commandSocket < 0 ||
        write(commandSocket, request.data(), request.size()) != ssize_t(request.size()))
        return "no answer";
    std::string reply;
    while (reply.size() < marker.size() ||
           reply.compare(reply.size() - marker.size(), marker.size(), marker) != 0) {
        pollfd readable = {commandSocket, POLLIN, 0};
        char chunk[4096];
        ssize_t count = 0;
        if (poll(&readable, 1, 5000) <= 0 ||
            (count = read(commandSocket, chunk, sizeof chunk)) <= 0)
            return "no answer";
        reply.append(chunk, size_t(count));
    }
    reply.resize(reply.size() - marker.size());
    // Drops the count in front of the marker: what is left is the command's own answer.
    size_t lineStart = reply.rfind('\n');
    reply.resize(lineStart == std::string::npos ? 0 : lineStart + 1);
    return reply;
}

void SoundServer::Stop() {
    recorder.Stop(SIGINT, 2000);
    if (commandSocket >= 0)
        close(commandSocket);
    commandSocket = -1;
    server.Stop(SIGTERM, 3000);
    directory.reset();
}

std::vector<int16_t> SoundServer::ReadRecording() const {
    std::vector<int16_t> samples;
    if (!directory)
        return samples;
    std::string raw = ReadFile(directory->Path() + "/recording.raw");
    samples.resize(raw.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            int16_t(uint16_t(uint8_t(raw[2 * i])) | uint16_t(uint8_t(raw[2 * i + 1])) << 8);
    return samples;
}

bool SoundServer::FinishRecording(const std::string &wavePath) {
    if (!directory)
        return false;
    recorder.Stop(SIGINT, 2000);
    std::string raw = ReadFile(directory->Path() + "/recording.raw");
    raw.resize(raw.size() & ~size_t(1));
    return WriteFile(wavePath, WaveHeader(uint32_t(raw.size())) + raw);
}

Program::~Program() {
    process.Stop(SIGKILL, 0);
}

bool Program::Launch(const std::vector<std::string> &environment) {
    return LaunchExecutable(VELMORA_EXECUTABLE, environment);
}

bool Program::LaunchExecutable(const std::string &executable,
                               const std::vector<std::string> &environment) {
    directory = std::make_unique<TempDirectory>("velmora-run");
    launchTime = MonotonicNanoseconds();
    return process.Start({executable}, environment, directory->Path() + "/stdout",
                         directory->Path() + "/stderr");
}

std::string Program::Output() const {
    return directory ? ReadFile(directory->Path() + "/stdout") : "";
}

std::string Program::Errors() const {
    return directory ? ReadFile(directory->Path() + "/stderr") : "";
}

bool Program::WaitForOutput(const std::string &text, int timeoutMilliseconds) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeoutMilliseconds);
}

std::vector<std::string> ProgramEnvironment(const XScreen *screen, const SoundServer *sound,
                                            const std::vector<std::string> &extra) {
    std::vector<std::string> environment = {toolPath};
    for (const char *name : passedThrough) {
        if (const char *value = getenv(name))
            SetVariable(&environment, std::string(name) + "=" + value);
    }
    // A run of the suite on another SDL library than the system's names its folder, which the
    // loader then searches first; a test's own LD_LIBRARY_PATH still replaces it.
    if (const char *directory = getenv("VELMORA_TEST_SDL_LIBRARY_DIR"); directory && *directory)
        SetVariable(&environment, std::string("LD_LIBRARY_PATH=") + directory);
    if (screen)
        SetVariable(&environment, "DISPLAY=" + screen->DisplayName());
    if (sound) {
        for (const std::string &assignment : sound->Environment())
            SetVariable(&environment, assignment);
    }
    for (const std::string &assignment : extra)
        SetVariable(&environment, assignment);
    return environment;
}

bool Stage::Start(std::string *error) {
    return screen.Start(error) && sound.Start(error);
}

bool Stage::Launch(const std::vector<std::string> &extra) {
    return program.Launch(ProgramEnvironment(&screen, &sound, extra));
}
