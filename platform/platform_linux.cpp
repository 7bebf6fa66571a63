#include "platform/platform.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

static uint32_t lastError;
static char lastErrorText[512];

// Remembers a failure and the loader's explanation of it.
static void SetLastError(uint32_t code) {
    const char *text = dlerror();
    lastError = code;
    snprintf(lastErrorText, sizeof lastErrorText, "%s", text ? text : "");
}

size_t GetExecutablePath(char *outPath, size_t outSize) {
    if (outSize == 0)
        return 0;
    ssize_t length = readlink("/proc/self/exe", outPath, outSize);
    // A path that fills the whole buffer may have been cut short.
    if (length <= 0 || static_cast<size_t>(length) >= outSize) {
        outPath[0] = 0;
        return 0;
    }
    outPath[length] = 0;
    return static_cast<size_t>(length);
}

void *OpenLibrary(const char *fileName) {
    void *library = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        SetLastError(platformErrorLibraryMissing);
    return library;
}

void *FindLibraryName(void *library, const char *name) {
    dlerror();
    void *address = dlsym(library, name);
    if (!address)
        SetLastError(platformErrorNameMissing);
    return address;
}

uint32_t GetLastPlatformError() {
    return lastError;
}

const char *GetLastPlatformErrorText() {
    return lastErrorText;
}

struct ThreadStart {
    void (*routine)(void *);
    void *parameter;
};

// Trampoline from the pthread signature to the program's.
static void *RunThread(void *start) {
    ThreadStart *threadStart = static_cast<ThreadStart *>(start);
    threadStart->routine(threadStart->parameter);
    return nullptr;
}

// Only one time-critical thread is ever started, so one record suffices.
static ThreadStart threadStart;

bool StartTimeCriticalThread(void (*routine)(void *), void *parameter) {
    threadStart.routine = routine;
    threadStart.parameter = parameter;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attributes, SCHED_FIFO);
    sched_param priority{};
    priority.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_attr_setschedparam(&attributes, &priority);
    pthread_t thread;
    int result = pthread_create(&thread, &attributes, RunThread, &threadStart);
    if (result != 0) {
        // Real-time scheduling is a privilege; without it the thread runs at normal priority.
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        result = pthread_create(&thread, &attributes, RunThread, &threadStart);
    }
    pthread_attr_destroy(&attributes);
    return result == 0;
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec duration{};
    duration.tv_sec = milliseconds / 1000;
    duration.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&duration, &duration) != 0 && errno == EINTR) {
    }
}

void EndProcess(int exitStatus) {
    fflush(stdout);
    _exit(exitStatus);
}

bool HasEnvironment(const char *name) {
    return getenv(name) != nullptr;
}

void SetEnvironmentDefault(const char *name, const char *value) {
    setenv(name, value, 0);
}
