// The only door to the operating system: everything the program needs from Linux,
// named for what the program does with it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Error codes left behind by the library functions below.
enum PlatformError : uint32_t {
    platformErrorNone = 0,
    platformErrorLibraryMissing = 126,
    platformErrorNameMissing = 127,
};

// Writes the executable's full, resolved path (zero-terminated); returns its length, 0 on failure.
size_t GetExecutablePath(char *outPath, size_t outSize);

// Opens a file for reading if it is a regular one, without waiting on whatever else the name
// may stand for (a pipe, a device), and gives its size; null when it cannot, with the reason
// in problem: the system's words in lower case, or "not a regular file".
FILE *OpenRegularFile(const char *path, uint64_t *size, char *problem, size_t problemSize);

// Writes the absolute path of an existing file with every link and "." or ".." resolved, as
// GetExecutablePath does; returns its length, 0 when it does not exist or does not fit.
size_t ResolvePath(const char *path, char *outPath, size_t outSize);

// Whether the path names a directory (following links).
bool IsDirectory(const char *path);

// Opens a shared library by file name through the loader's normal search; null on failure.
void *OpenLibrary(const char *fileName);

// Looks a name up in an opened library; null when the library lacks it.
void *FindLibraryName(void *library, const char *name);

// The code of the last failure of OpenLibrary or FindLibraryName, never 0 after one.
uint32_t GetLastPlatformError();

// The loader's own words about the last failure (names the missing file or entry point).
const char *GetLastPlatformErrorText();

// Starts a detached thread at the highest priority the system grants, real-time where the
// process may have it or the desktop's real-time broker grants it, otherwise with the shortest
// time slice; false if none starts.
bool StartTimeCriticalThread(void (*routine)(void *), void *parameter);

// Starts a detached thread at normal priority for slow work beside the program's own; false if
// it does not start.
bool StartHelperThread(void (*routine)(void *), void *parameter);

// Runs a routine on the calling thread with the shortest time slice, so that any thread it
// starts inherits it, and puts the calling thread back after.
void CallWithShortSlice(void (*routine)(void *), void *parameter);

// Yields the processor for about one millisecond, or for the given number of them.
void SleepMilliseconds(uint32_t milliseconds);

// Flushes standard output and ends the process at once with the given exit status.
[[noreturn]] void EndProcess(int exitStatus = 0);

// From now on counts the quit signals (SIGINT, SIGTERM) that the process handles, passing each
// on to the handler already in place (SDL's, which queues a quit event for it). A signal with
// no handler in place keeps its default action. Like any signal, one sent again before the
// process has taken the first reaches it once.
void CountQuitSignals();

// The quit signals counted so far.
uint32_t GetQuitSignalCount();

// Whether the environment names the variable at all.
bool HasEnvironment(const char *name);

// Sets an environment variable for this process and the libraries it loads, unless the user
// has already set it.
void SetEnvironmentDefault(const char *name, const char *value);

// Wave output: one sound device per process, fed whole buffers of signed 16-bit
// little-endian PCM that it plays in the order queued, without gaps while one waits behind
// another.

// WaveBuffer::flags: set by the device (release) once it no longer needs the buffer, and
// cleared by the owner before queueing it again. While clear, the buffer is the device's.
inline constexpr uint32_t waveBufferDone = 1;
// WaveBuffer::flags: the buffer may be queued.
inline constexpr uint32_t waveBufferPrepared = 2;

// One buffer of sound; data must stay valid until CloseWaveOutput has returned.
struct WaveBuffer {
    void *data;
    uint32_t length;
    std::atomic<uint32_t> flags;
};

// Opens the default sound output for 16-bit PCM; 0 on success, non-zero when there is no
// usable device (then nothing is left open).
int OpenWaveOutput(uint16_t channels, uint32_t samplesPerSecond);

// The sound system's own words about why the last OpenWaveOutput failed; empty when it did not.
const char *GetWaveOutputError();

// Makes a buffer ready to be queued, keeping its done flag; 0 on success.
int PrepareWaveBuffer(WaveBuffer *buffer);

// Hands a prepared buffer to the device, which sets waveBufferDone when done; 0 on success.
int QueueWaveBuffer(WaveBuffer *buffer);

// Lets the device take what it has room for and hand back what it has played. Only the thread
// that queues buffers calls it, at least every few milliseconds while it has buffers queued.
void ServeWaveOutput();

// Undoes PrepareWaveBuffer.
void ReleaseWaveBuffer(WaveBuffer *buffer);

// Closes the device once the buffers queued on it have played out; a device that still holds
// some has stopped taking sound and is left to the end of the process. Never waits.
void CloseWaveOutput();
