// Measures the running program on the virtual display and sound server: start-up time, idle
// CPU, resident memory and touch-to-sound latency. Prints one "name: value" line per figure.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

void Pause(int milliseconds) {
    WaitUntil([] { return false; }, milliseconds);
}

double Milliseconds(int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e6;
}

// User plus system CPU time of a process or thread (a /proc path), in seconds.
double CpuSeconds(const std::string &procPath) {
    std::ifstream file(procPath + "/stat");
    std::string line;
    std::getline(file, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14 || index == 15)
            ticks += std::stol(field);
        if (index == 15)
            break;
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The CPU time of each thread of a process, by thread id.
std::map<std::string, double> ThreadCpuSeconds(pid_t pid) {
    std::map<std::string, double> threads;
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto &entry : std::filesystem::directory_iterator(tasks))
        threads[entry.path().filename().string()] = CpuSeconds(entry.path().string());
    return threads;
}

// A thread's name.
std::string ThreadName(pid_t pid, const std::string &thread) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + thread + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
}

// A line of /proc/<pid>/status, such as VmRSS, in kilobytes.
long StatusKilobytes(pid_t pid, const std::string &name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

// The first 1 ms frame from sample `from` on whose level jumps well above the level before it.
long FindOnset(const std::vector<int16_t> &recording, long from) {
    const long frame = recordingRate / 1000;
    auto level = [&](long start) {
        double sum = 0;
        for (long i = start; i < start + frame && i < static_cast<long>(recording.size()); ++i)
            sum += std::abs(recording[i]);
        return sum / static_cast<double>(frame);
    };
    double before = level(std::max(0L, from - frame));
    for (long start = from; start + frame < static_cast<long>(recording.size()); start += frame) {
        double now = level(start);
        if (now > 200 && now > 4 * before + 50)
            return start;
    }
    return -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main() {
    Stage stage;
    std::string error;
    if (!stage.Start(&error) || !stage.Launch()) {
        fprintf(stderr, "velmora measure: could not start: %s\n", error.c_str());
        return 1;
    }
    int64_t splashShown = 0, keyboardShown = 0;
    WaitUntil(
        [&] {
            bool splash = CountSplashMismatches(stage.screen.TakeScreenshot()) == 0;
            if (splash)
                splashShown = MonotonicNanoseconds();
            return splash;
        },
        10000);
    WaitUntil(
        [&] {
            bool gone = CountSplashMismatches(stage.screen.TakeScreenshot()) != 0;
            if (gone)
                keyboardShown = MonotonicNanoseconds();
            return gone;
        },
        15000);
    if (!splashShown || !keyboardShown) {
        fprintf(stderr, "velmora measure: the splash or the keyboard never showed\n");
        return 1;
    }
    printf("start to splash on screen: %.0f ms\n",
           Milliseconds(splashShown - stage.program.LaunchTime()));
    printf("splash to keyboard on screen, less the 3000 ms pause: %.0f ms\n",
           Milliseconds(keyboardShown - splashShown) - 3000);
    pid_t pid = stage.program.Pid();
    printf("resident memory after start-up: %ld kB\n", StatusKilobytes(pid, "VmRSS"));

    const int idleSeconds = 20;
    std::string process = "/proc/" + std::to_string(pid);
    double cpuBefore = CpuSeconds(process);
    std::map<std::string, double> threadsBefore = ThreadCpuSeconds(pid);
    Pause(idleSeconds * 1000);
    double idle = (CpuSeconds(process) - cpuBefore) / idleSeconds * 100;
    printf("idle CPU over %d s: %.2f %% of one core\n", idleSeconds, idle);
    for (const auto &[thread, seconds] : ThreadCpuSeconds(pid)) {
        double share = (seconds - threadsBefore[thread]) / idleSeconds * 100;
        if (share > 0)
            printf("  thread %s (%s): %.2f %%\n", thread.c_str(), ThreadName(pid, thread).c_str(),
                   share);
    }

    // Twenty taps on high white keys of the left column, whose notes are short.
    std::vector<double> latencies;
    const int keyRows[] = {27, 72, 117, 162};
    for (int tap = 0; tap < 20; ++tap) {
        int y = keyRows[tap % 4];
        int64_t down = MonotonicNanoseconds();
        stage.screen.PenDown(100, y);
        Pause(100);
        stage.screen.PenUp(100, y);
        Pause(700);
        std::vector<int16_t> recording = stage.sound.ReadRecording();
        long from = static_cast<long>(Milliseconds(down - stage.sound.RecordingStart()) *
                                      recordingRate / 1000);
        long onset = FindOnset(recording, from);
        if (onset >= 0)
            latencies.push_back(static_cast<double>(onset - from) * 1000 / recordingRate);
    }
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    printf("touch to sound, %zu of 20 taps: median %.1f ms, worst %.1f ms\n", latencies.size(),
           Median(latencies), sorted.empty() ? 0.0 : sorted.back());

    stage.program.Signal(SIGTERM);
    Pause(300);
    stage.program.Signal(SIGTERM);
    ExitStatus status = stage.program.WaitForExit(10000);
    return status.ended && status.exited && status.code == 0 ? 0 : 1;
}
