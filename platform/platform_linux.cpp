#include "platform/platform.h"

#include <dbus/dbus.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

// How long a question to the real-time broker may take; a broker that does not answer by
// then leaves the thread at normal priority.
static constexpr int brokerTimeoutMilliseconds = 500;
// The shortest slice the kernel grants a normal thread.
static constexpr uint64_t shortSliceNanoseconds = 100000;

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

// Writes a reason in lower case, as it goes in the middle of a line.
static void SetProblem(const char *reason, char *problem, size_t problemSize) {
    snprintf(problem, problemSize, "%s", reason);
    problem[0] = static_cast<char>(tolower(static_cast<unsigned char>(problem[0])));
}

FILE *OpenRegularFile(const char *path, uint64_t *size, char *problem, size_t problemSize) {
    // Without O_NONBLOCK, opening a pipe would wait for a writer, for ever. On the regular file
    // it lets through, it changes nothing.
    int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        SetProblem(strerror(errno), problem, problemSize);
        return nullptr;
    }
    struct stat status {};
    FILE *stream = nullptr;
    if (fstat(file, &status) != 0)
        SetProblem(strerror(errno), problem, problemSize);
    else if (!S_ISREG(status.st_mode))
        SetProblem("not a regular file", problem, problemSize);
    else if (!(stream = fdopen(file, "rb")))
        SetProblem(strerror(errno), problem, problemSize);
    if (!stream) {
        close(file);
        return nullptr;
    }
    *size = static_cast<uint64_t>(status.st_size);
    return stream;
}

size_t ResolvePath(const char *path, char *outPath, size_t outSize) {
    if (outSize == 0)
        return 0;
    outPath[0] = 0;
    char resolved[PATH_MAX];
    if (!realpath(path, resolved))
        return 0;
    size_t length = strlen(resolved);
    if (length >= outSize)
        return 0;
    memcpy(outPath, resolved, length + 1);
    return length;
}

bool IsDirectory(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
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

// How a new thread comes to its priority: created real-time, raised once it runs where it can
// be, or left as it is.
enum ThreadStanding { startedRealtime, wantsRaising, staysNormal };

// What a new thread runs; the starter waits until the thread has taken its copy.
struct ThreadStart {
    void (*routine)(void *);
    void *parameter;
    ThreadStanding standing;
    std::atomic<bool> isTaken;
};

// Reads one integer property of the real-time broker; false if it does not answer.
static bool ReadBrokerProperty(DBusConnection *bus, const char *name, int64_t *value) {
    DBusMessage *call = dbus_message_new_method_call("org.freedesktop.RealtimeKit1",
                                                     "/org/freedesktop/RealtimeKit1",
                                                     "org.freedesktop.DBus.Properties", "Get");
    if (!call)
        return false;
    const char *interface = "org.freedesktop.RealtimeKit1";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                             DBUS_TYPE_INVALID);
    DBusMessage *reply =
        dbus_connection_send_with_reply_and_block(bus, call, brokerTimeoutMilliseconds, nullptr);
    dbus_message_unref(call);
    if (!reply)
        return false;
    DBusMessageIter iterator, variant;
    bool found = dbus_message_iter_init(reply, &iterator) &&
                 dbus_message_iter_get_arg_type(&iterator) == DBUS_TYPE_VARIANT;
    if (found) {
        dbus_message_iter_recurse(&iterator, &variant);
        int type = dbus_message_iter_get_arg_type(&variant);
        found = type == DBUS_TYPE_INT32 || type == DBUS_TYPE_INT64;
        if (type == DBUS_TYPE_INT32) {
            dbus_int32_t number;
            dbus_message_iter_get_basic(&variant, &number);
            *value = number;
        } else if (type == DBUS_TYPE_INT64) {
            dbus_int64_t number;
            dbus_message_iter_get_basic(&variant, &number);
            *value = number;
        }
    }
    dbus_message_unref(reply);
    return found;
}

// Asks the desktop's real-time broker to make the calling thread real-time, as high as it
// grants. The broker insists on a CPU time limit for real-time threads, so that a runaway one
// is stopped: the process takes the broker's. False when there is no broker or it says no.
static bool AskBrokerForRealtime() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    int64_t priority = 0;
    int64_t cpuMicroseconds = 0;
    bool granted = false;
    if (ReadBrokerProperty(bus, "MaxRealtimePriority", &priority) && priority > 0 &&
        ReadBrokerProperty(bus, "RTTimeUSecMax", &cpuMicroseconds) && cpuMicroseconds > 0) {
        rlimit limit{};
        getrlimit(RLIMIT_RTTIME, &limit);
        if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > rlim_t(cpuMicroseconds))
            limit.rlim_max = static_cast<rlim_t>(cpuMicroseconds);
        if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > limit.rlim_max)
            limit.rlim_cur = limit.rlim_max;
        DBusMessage *call = dbus_message_new_method_call(
            "org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
            "org.freedesktop.RealtimeKit1", "MakeThreadRealtime");
        dbus_uint64_t thread = static_cast<dbus_uint64_t>(gettid());
        dbus_uint32_t wanted = static_cast<dbus_uint32_t>(priority);
        if (call && setrlimit(RLIMIT_RTTIME, &limit) == 0 &&
            dbus_message_append_args(call, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &wanted,
                                     DBUS_TYPE_INVALID)) {
            DBusMessage *reply = dbus_connection_send_with_reply_and_block(
                bus, call, brokerTimeoutMilliseconds, &error);
            granted = reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
            if (reply)
                dbus_message_unref(reply);
        }
        if (call)
            dbus_message_unref(call);
    }
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return granted;
}

// The kernel's scheduling record, for the calls the C library does not wrap.
struct SchedulingAttributes {
    uint32_t size;
    uint32_t policy;
    uint64_t flags;
    int32_t nice;
    uint32_t priority;
    uint64_t runtime;
    uint64_t deadline;
    uint64_t period;
};

// Reads the calling thread's scheduling; false if the kernel will not say.
static bool GetScheduling(SchedulingAttributes *attributes) {
    *attributes = {};
    return syscall(SYS_sched_getattr, 0, attributes, sizeof *attributes, 0) == 0;
}

// Sets the calling thread's scheduling; false if refused.
static bool SetScheduling(SchedulingAttributes attributes) {
    attributes.size = sizeof attributes;
    return syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
}

// Sets the time slice of the calling thread, if it is a normal one; 0 for the kernel's own.
// A short slice needs no rights: the kernel then lets the thread in soon after it wakes, ahead
// of threads that run long, such as a busy loop beside the program. Kernels without per-thread
// slices ignore it.
static void SetSlice(uint64_t nanoseconds) {
    SchedulingAttributes attributes;
    if (GetScheduling(&attributes) && attributes.policy == SCHED_OTHER) {
        attributes.runtime = nanoseconds;
        SetScheduling(attributes);
    }
}

// Trampoline from the pthread signature to the program's.
static void *RunThread(void *record) {
    ThreadStart *start = static_cast<ThreadStart *>(record);
    void (*routine)(void *) = start->routine;
    void *parameter = start->parameter;
    ThreadStanding standing = start->standing;
    start->isTaken.store(true, std::memory_order_release);
    start->isTaken.notify_one();
    // Named so that a per-thread view (top -H, /proc) tells the two apart from the main thread.
    pthread_setname_np(pthread_self(), standing == staysNormal ? "helper" : "time-critical");
    // Where real-time scheduling is a privilege the process lacks, the broker may grant it;
    // without either, the thread runs at normal priority with a short slice.
    if (standing == wantsRaising && !AskBrokerForRealtime())
        SetSlice(shortSliceNanoseconds);
    routine(parameter);
    return nullptr;
}

// Creates a detached thread with the attributes and waits until it has taken its start; false
// if it cannot be created.
static bool StartThread(pthread_attr_t *attributes, ThreadStart *start) {
    pthread_attr_setdetachstate(attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (pthread_create(&thread, attributes, RunThread, start) != 0)
        return false;
    start->isTaken.wait(false, std::memory_order_acquire);
    return true;
}

bool StartTimeCriticalThread(void (*routine)(void *), void *parameter) {
    ThreadStart start{routine, parameter, startedRealtime, {false}};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attributes, SCHED_FIFO);
    sched_param priority{};
    priority.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_attr_setschedparam(&attributes, &priority);
    bool started = StartThread(&attributes, &start);
    if (!started) {
        start.standing = wantsRaising;
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        started = StartThread(&attributes, &start);
    }
    pthread_attr_destroy(&attributes);
    return started;
}

bool StartHelperThread(void (*routine)(void *), void *parameter) {
    ThreadStart start{routine, parameter, staysNormal, {false}};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    bool started = StartThread(&attributes, &start);
    pthread_attr_destroy(&attributes);
    return started;
}

void CallWithShortSlice(void (*routine)(void *), void *parameter) {
    SetSlice(shortSliceNanoseconds);
    routine(parameter);
    SetSlice(0);
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

// Written by the signal handler on whichever thread takes the signal.
static std::atomic<uint32_t> quitSignalCount;
static const int quitSignals[] = {SIGINT, SIGTERM};
// The handlers found in place, by the index in quitSignals.
static struct sigaction formerQuitActions[2];
static struct sigaction quitAction;

static void HandleQuitSignal(int number, siginfo_t *info, void *context) {
    quitSignalCount.fetch_add(1, std::memory_order_relaxed);
    const struct sigaction &former = formerQuitActions[number == SIGTERM];
    if (former.sa_flags & SA_SIGINFO)
        former.sa_sigaction(number, info, context);
    else
        former.sa_handler(number);
    // SDL's handler puts itself back in place each time it runs.
    sigaction(number, &quitAction, nullptr);
}

void CountQuitSignals() {
    quitAction.sa_sigaction = HandleQuitSignal;
    quitAction.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&quitAction.sa_mask);
    for (int index = 0; index < 2; ++index) {
        struct sigaction &former = formerQuitActions[index];
        sigaction(quitSignals[index], nullptr, &former);
        bool isHandled = (former.sa_flags & SA_SIGINFO) ||
                         (former.sa_handler != SIG_DFL && former.sa_handler != SIG_IGN);
        if (isHandled)
            sigaction(quitSignals[index], &quitAction, nullptr);
    }
}

uint32_t GetQuitSignalCount() {
    return quitSignalCount.load(std::memory_order_relaxed);
}

bool HasEnvironment(const char *name) {
    return getenv(name) != nullptr;
}

void SetEnvironmentDefault(const char *name, const char *value) {
    setenv(name, value, 0);
}
