// The only door to the operating system: everything the program needs from Linux,
// named for what the program does with it.
#pragma once

#include <cstddef>
#include <cstdint>

// Error codes left behind by the library functions below.
enum PlatformError : uint32_t {
    platformErrorNone = 0,
    platformErrorLibraryMissing = 126,
    platformErrorNameMissing = 127,
};

// Writes the executable's full, resolved path (zero-terminated); returns its length, 0 on failure.
size_t GetExecutablePath(char *outPath, size_t outSize);

// Opens a shared library by file name through the loader's normal search; null on failure.
void *OpenLibrary(const char *fileName);

// Looks a name up in an opened library; null when the library lacks it.
void *FindLibraryName(void *library, const char *name);

// The code of the last failure of OpenLibrary or FindLibraryName, never 0 after one.
uint32_t GetLastPlatformError();

// The loader's own words about the last failure (names the missing file or entry point).
const char *GetLastPlatformErrorText();

// Starts a detached thread at the highest priority the system grants; false if none starts.
bool StartTimeCriticalThread(void (*routine)(void *), void *parameter);

// Yields the processor for about one millisecond, or for the given number of them.
void SleepMilliseconds(uint32_t milliseconds);

// Flushes standard output and ends the process at once with exit code 0.
[[noreturn]] void EndProcess();
