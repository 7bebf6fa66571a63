// Wave output over ALSA's default PCM. A driver thread takes the queued buffers in order,
// writes them into the device's ring and hands each back once its audio has left the ring, so
// that the feeding thread never keeps more than its own two buffers ahead of the loudspeaker.
#include <alsa/asoundlib.h>
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstdlib>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"

// The feeding side queues at most two buffers; the rest is headroom.
static constexpr uint32_t queueSize = 8;
// One buffer of the program's is 512 frames; the ring holds two of them.
static constexpr snd_pcm_uframes_t periodFrames = 512;
static constexpr snd_pcm_uframes_t ringFramesWanted = 1024;
// How often the driver looks at the device while it has room, the longest it sleeps while
// the ring is full, and how long closing waits for the driver.
static constexpr long driverPollNanoseconds = 1000000;
static constexpr long driverSleepNanoseconds = 5000000;
static constexpr long closeWaitNanoseconds = 500000000;

// Everything about the one open device. The queue is the only part two threads write: the
// feeding thread advances queueHead, the driver queueTail.
struct AlsaOutput {
    snd_pcm_t *pcm;
    pthread_t driver;
    std::atomic<bool> isOpen;
    std::atomic<bool> stopDriver;
    uint32_t frameBytes;
    snd_pcm_uframes_t ringFrames;
    uint32_t rate;
    std::atomic<WaveBuffer *> queue[queueSize];
    std::atomic<uint32_t> queueHead;
    std::atomic<uint32_t> queueTail;
    std::atomic<uint32_t> underruns;
    // The driver's own: buffers in the ring, oldest first, with the frame count written up to
    // and including each.
    WaveBuffer *inRing[queueSize];
    uint64_t inRingEnd[queueSize];
    uint32_t inRingCount;
    uint32_t headFramesWritten;
    uint64_t framesWritten;
    bool ranDry;
};

static AlsaOutput output;

// Keeps ALSA's own complaints off the program's output: failures are reported by result.
static void IgnoreAlsaError(const char *, int, const char *, int, const char *, ...) {}

// Gives a buffer back to its owner.
static void HandBack(WaveBuffer *buffer) {
    buffer->flags.fetch_or(waveBufferDone, std::memory_order_release);
}

// Hands back every buffer in the ring, as after the device lost or played all of it.
static void HandBackRing() {
    for (uint32_t index = 0; index < output.inRingCount; ++index)
        HandBack(output.inRing[index]);
    output.inRingCount = 0;
}

// Hands back the buffers whose audio has left the ring, given its free space.
static void HandBackPlayed(snd_pcm_sframes_t available) {
    snd_pcm_uframes_t free = static_cast<snd_pcm_uframes_t>(available);
    uint64_t stillInRing = free >= output.ringFrames ? 0 : output.ringFrames - free;
    uint64_t played = output.framesWritten - stillInRing;
    uint32_t count = 0;
    while (count < output.inRingCount && output.inRingEnd[count] <= played)
        HandBack(output.inRing[count++]);
    for (uint32_t index = count; index < output.inRingCount; ++index) {
        output.inRing[index - count] = output.inRing[index];
        output.inRingEnd[index - count] = output.inRingEnd[index];
    }
    output.inRingCount -= count;
}

// Restarts the device after it ran dry (or was suspended); the ring is empty afterwards.
static void RecoverDevice(int error) {
    HandBackRing();
    output.ranDry = true;
    if (snd_pcm_recover(output.pcm, error, 1) < 0) {
        // A device that cannot go on must not hold the feeding thread: what it is given is
        // dropped and handed back.
        snd_pcm_drop(output.pcm);
        snd_pcm_prepare(output.pcm);
    }
}

// Removes the oldest queued buffer and puts it in the ring's list.
static void MoveHeadToRing(WaveBuffer *buffer) {
    output.queueTail.fetch_add(1, std::memory_order_release);
    output.headFramesWritten = 0;
    if (output.inRingCount == queueSize) {
        HandBack(buffer);
        return;
    }
    output.inRing[output.inRingCount] = buffer;
    output.inRingEnd[output.inRingCount] = output.framesWritten;
    ++output.inRingCount;
}

// One look at the device: hands back what was played and writes what fits of the next buffer.
static void FeedDevice() {
    snd_pcm_sframes_t available = snd_pcm_avail(output.pcm);
    if (available < 0) {
        RecoverDevice(static_cast<int>(available));
        return;
    }
    HandBackPlayed(available);
    uint32_t tail = output.queueTail.load(std::memory_order_relaxed);
    if (tail == output.queueHead.load(std::memory_order_acquire))
        return;
    WaveBuffer *buffer = output.queue[tail % queueSize].load(std::memory_order_relaxed);
    uint32_t frames = buffer->length / output.frameBytes;
    if (output.headFramesWritten >= frames) {
        MoveHeadToRing(buffer);
        return;
    }
    const char *data = static_cast<const char *>(buffer->data);
    snd_pcm_sframes_t written =
        snd_pcm_writei(output.pcm, data + output.headFramesWritten * output.frameBytes,
                       frames - output.headFramesWritten);
    if (written == -EAGAIN)
        return;
    if (written < 0) {
        RecoverDevice(static_cast<int>(written));
        return;
    }
    // Sound goes on after a gap: that gap was an underrun. Running dry after the last buffer,
    // when nothing follows, is the normal end and is not counted.
    if (output.ranDry) {
        output.underruns.fetch_add(1, std::memory_order_relaxed);
        output.ranDry = false;
    }
    output.framesWritten += static_cast<uint64_t>(written);
    output.headFramesWritten += static_cast<uint32_t>(written);
    if (output.headFramesWritten == frames)
        MoveHeadToRing(buffer);
}

// How long the device takes to play a number of frames, less a millisecond of margin, within
// one and driverSleepNanoseconds milliseconds: a sound server may take the ring in bursts.
static long PlayingNanoseconds(snd_pcm_uframes_t frames) {
    long nanoseconds = static_cast<long>(frames * 1000000000ull / output.rate);
    nanoseconds -= driverPollNanoseconds;
    if (nanoseconds > driverSleepNanoseconds)
        return driverSleepNanoseconds;
    return nanoseconds > driverPollNanoseconds ? nanoseconds : driverPollNanoseconds;
}

// The driver thread: feeds the device until told to stop. While more than one buffer is in
// the ring, nothing can be handed back or written until the oldest has played, so it sleeps
// until about then; polling all along would cost as much as all the mixing.
static void *RunDriver(void *) {
    snd_pcm_uframes_t waitBelow = output.ringFrames - periodFrames;
    while (!output.stopDriver.load(std::memory_order_acquire)) {
        FeedDevice();
        snd_pcm_sframes_t room = snd_pcm_avail_update(output.pcm);
        long pause = driverPollNanoseconds;
        if (room >= 0 && static_cast<snd_pcm_uframes_t>(room) < waitBelow)
            pause = PlayingNanoseconds(waitBelow - static_cast<snd_pcm_uframes_t>(room));
        timespec duration{0, pause};
        nanosleep(&duration, nullptr);
    }
    return nullptr;
}

// Starts the driver thread at the highest priority granted, else at normal priority.
static bool StartDriver() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attributes, SCHED_FIFO);
    sched_param priority{};
    priority.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_attr_setschedparam(&attributes, &priority);
    int result = pthread_create(&output.driver, &attributes, RunDriver, nullptr);
    if (result != 0) {
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        result = pthread_create(&output.driver, &attributes, RunDriver, nullptr);
    }
    pthread_attr_destroy(&attributes);
    return result == 0;
}

// The process's threads, at most `capacity` of them; gives how many were found.
static int ListThreads(pid_t *threads, int capacity) {
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    int count = 0;
    while (dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] != '.' && count < capacity)
            threads[count++] = static_cast<pid_t>(atoi(entry->d_name));
    }
    closedir(tasks);
    return count;
}

// The sound library may start threads of its own that carry our audio onwards (a sound
// server's client, for one). At normal priority they, not our threads, would run dry under
// load: raise them as high as the system grants.
static void RaiseNewThreads(const pid_t *before, int beforeCount) {
    pid_t now[64];
    int nowCount = ListThreads(now, 64);
    for (int index = 0; index < nowCount; ++index) {
        bool isNew = true;
        for (int old = 0; old < beforeCount && isNew; ++old)
            isNew = now[index] != before[old];
        if (!isNew)
            continue;
        sched_param priority{};
        priority.sched_priority = sched_get_priority_max(SCHED_FIFO) - 1;
        if (sched_setscheduler(now[index], SCHED_FIFO, &priority) != 0)
            setpriority(PRIO_PROCESS, static_cast<id_t>(now[index]), -11);
    }
}

// Sets format, rate and a ring of two buffers; 0 on success.
static int ConfigureDevice(snd_pcm_t *pcm, uint16_t channels, uint32_t samplesPerSecond) {
    snd_pcm_hw_params_t *hardware;
    snd_pcm_hw_params_alloca(&hardware);
    unsigned int rate = samplesPerSecond;
    snd_pcm_uframes_t period = periodFrames;
    snd_pcm_uframes_t ring = ringFramesWanted;
    if (snd_pcm_hw_params_any(pcm, hardware) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hardware, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hardware, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hardware, channels) < 0 ||
        snd_pcm_hw_params_set_rate_resample(pcm, hardware, 1) < 0 ||
        snd_pcm_hw_params_set_rate_near(pcm, hardware, &rate, nullptr) < 0 ||
        rate != samplesPerSecond ||
        snd_pcm_hw_params_set_period_size_near(pcm, hardware, &period, nullptr) < 0 ||
        snd_pcm_hw_params_set_buffer_size_near(pcm, hardware, &ring) < 0 ||
        snd_pcm_hw_params(pcm, hardware) < 0 ||
        snd_pcm_hw_params_get_buffer_size(hardware, &output.ringFrames) < 0)
        return 1;
    if (output.ringFrames < 2 * period)
        return 1;
    snd_pcm_sw_params_t *software;
    snd_pcm_sw_params_alloca(&software);
    // Playing starts as soon as one buffer is in, as a queued buffer is meant to.
    if (snd_pcm_sw_params_current(pcm, software) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm, software, period) < 0 ||
        snd_pcm_sw_params_set_avail_min(pcm, software, period) < 0 ||
        snd_pcm_sw_params(pcm, software) < 0)
        return 1;
    return 0;
}

static char outputError[256];

const char *GetWaveOutputError() {
    return outputError;
}

int OpenWaveOutput(uint16_t channels, uint32_t samplesPerSecond) {
    if (output.isOpen.load(std::memory_order_acquire) || channels == 0)
        return 1;
    snd_lib_error_set_handler(IgnoreAlsaError);
    snd_pcm_t *pcm = nullptr;
    pid_t threadsBefore[64];
    int threadsBeforeCount = ListThreads(threadsBefore, 64);
    // Non-blocking, so that no call can hold the driver thread and closing stays bounded.
    outputError[0] = 0;
    int opened = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0) {
        snprintf(outputError, sizeof outputError, "ALSA's default device: %s",
                 snd_strerror(opened));
        return 1;
    }
    RaiseNewThreads(threadsBefore, threadsBeforeCount);
    output.pcm = pcm;
    output.frameBytes = 2u * channels;
    output.rate = samplesPerSecond;
    if (ConfigureDevice(pcm, channels, samplesPerSecond) != 0 || snd_pcm_prepare(pcm) < 0) {
        snprintf(outputError, sizeof outputError, "ALSA's default device cannot play %u Hz %s",
                 samplesPerSecond, channels == 1 ? "mono" : "multi-channel");
        snd_pcm_close(pcm);
        output.pcm = nullptr;
        return 1;
    }
    output.queueHead.store(0, std::memory_order_relaxed);
    output.queueTail.store(0, std::memory_order_relaxed);
    output.underruns.store(0, std::memory_order_relaxed);
    output.inRingCount = 0;
    output.headFramesWritten = 0;
    output.framesWritten = 0;
    output.ranDry = false;
    output.stopDriver.store(false, std::memory_order_relaxed);
    if (!StartDriver()) {
        snd_pcm_close(pcm);
        output.pcm = nullptr;
        return 1;
    }
    output.isOpen.store(true, std::memory_order_release);
    return 0;
}

int PrepareWaveBuffer(WaveBuffer *buffer) {
    if (!output.isOpen.load(std::memory_order_acquire) || !buffer->data ||
        buffer->length < output.frameBytes)
        return 1;
    buffer->flags.fetch_or(waveBufferPrepared, std::memory_order_relaxed);
    return 0;
}

int QueueWaveBuffer(WaveBuffer *buffer) {
    if (!output.isOpen.load(std::memory_order_acquire) ||
        !(buffer->flags.load(std::memory_order_relaxed) & waveBufferPrepared))
        return 1;
    uint32_t head = output.queueHead.load(std::memory_order_relaxed);
    if (head - output.queueTail.load(std::memory_order_acquire) >= queueSize)
        return 1;
    output.queue[head % queueSize].store(buffer, std::memory_order_relaxed);
    output.queueHead.store(head + 1, std::memory_order_release);
    return 0;
}

void ReleaseWaveBuffer(WaveBuffer *buffer) {
    buffer->flags.fetch_and(~waveBufferPrepared, std::memory_order_relaxed);
}

// Lets the device play what is left in its ring, for a bounded time.
static void DrainDevice(snd_pcm_t *pcm) {
    if (snd_pcm_drain(pcm) != -EAGAIN)
        return;
    timespec pause{0, driverPollNanoseconds};
    for (long waited = 0; waited < closeWaitNanoseconds; waited += driverPollNanoseconds) {
        if (snd_pcm_state(pcm) != SND_PCM_STATE_DRAINING)
            return;
        nanosleep(&pause, nullptr);
    }
}

// Plays out and closes the device. A sound server that stopped answering holds these calls
// for good (they wait for its replies), so they run on a thread of their own.
static void *FinishDevice(void *pcm) {
    snd_pcm_t *device = static_cast<snd_pcm_t *>(pcm);
    DrainDevice(device);
    snd_pcm_drop(device);
    snd_pcm_close(device);
    return nullptr;
}

// Waits for a thread to end, at most the given time; past it, lets the thread go on alone.
static bool JoinWithin(pthread_t thread, long nanoseconds) {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += nanoseconds;
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;
    if (pthread_timedjoin_np(thread, nullptr, &deadline) == 0)
        return true;
    pthread_detach(thread);
    return false;
}

void CloseWaveOutput() {
    if (!output.isOpen.exchange(false, std::memory_order_acq_rel))
        return;
    output.stopDriver.store(true, std::memory_order_release);
    snd_pcm_t *pcm = output.pcm;
    bool driverEnded = JoinWithin(output.driver, closeWaitNanoseconds);
    output.pcm = nullptr;
    // The driver is stuck inside the device: leave both to the end of the process rather
    // than close the device under it.
    if (!driverEnded)
        return;
    pthread_t finisher;
    if (pthread_create(&finisher, nullptr, FinishDevice, pcm) != 0) {
        FinishDevice(pcm);
        return;
    }
    // The play-out takes at most closeWaitNanoseconds; a close still waiting after twice that
    // waits for a server that stopped, and is left to the end of the process.
    JoinWithin(finisher, 2 * closeWaitNanoseconds);
}

uint32_t CountWaveUnderruns() {
    return output.underruns.load(std::memory_order_relaxed);
}
