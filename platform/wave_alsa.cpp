// Wave output over ALSA's default PCM. A driver thread writes the queued buffers into the
// device's ring, which holds exactly two of them, and hands each back once its audio has left
// the ring, so that the feeding thread stays two buffers ahead of the loudspeaker and no more.
//
// The ring is sized to what is kept in flight because a sound server takes it as its target
// fill: PulseAudio's plugin asks the server for the whole ring and feeds it in periods. With
// two buffers in a ring of three periods of a buffer each, the server drained both in one late
// pass; with the ring at two buffers and quarter-buffer periods, at least half the ring is
// queued at the server whenever it looks.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

// The feeding side queues at most two buffers.
static constexpr uint32_t queueSize = 4;
static constexpr snd_pcm_uframes_t ringFramesWanted = 1024;
static constexpr snd_pcm_uframes_t periodFramesWanted = 256;
// PulseAudio's plugin keeps its pointer a frame or two behind what the server has taken; a
// buffer with no more than this left in the ring counts as played. Its audio was copied into
// the ring when written, so handing it back a little early loses nothing.
static constexpr uint64_t pointerSlackFrames = 8;
// How often a buffer overdue from the ring is looked for.
static constexpr int overdueMilliseconds = 2;
// How long closing waits for the driver to play out and close the device.
static constexpr uint32_t closeWaitMilliseconds = 300;

// Everything about the one open device. The queue is the only part two threads write: the
// feeding thread advances queueHead, the driver queueTail.
struct AlsaOutput {
    snd_pcm_t *pcm;
    // Wakes the driver when a buffer is queued or closing begins.
    int wakeDescriptor;
    std::atomic<bool> isOpen;
    std::atomic<bool> stopDriver;
    std::atomic<bool> driverEnded;
    uint32_t frameBytes;
    uint32_t rate;
    snd_pcm_uframes_t ringFrames;
    std::atomic<WaveBuffer *> queue[queueSize];
    std::atomic<uint32_t> queueHead;
    std::atomic<uint32_t> queueTail;
    // The driver's own: buffers in the ring, oldest first, with the frame count written up to
    // and including each.
    WaveBuffer *inRing[queueSize];
    uint64_t inRingEnd[queueSize];
    uint32_t inRingCount;
    uint64_t framesWritten;
};

static AlsaOutput output;

// Keeps ALSA's own complaints off the program's output: failures are reported by result.
static void IgnoreAlsaError(const char *, int, const char *, int, const char *, ...) {}

// Gives a buffer back to its owner.
static void HandBack(WaveBuffer *buffer) {
    buffer->flags.fetch_or(waveBufferDone, std::memory_order_release);
}

// How many of the frames written have left the ring, given its free space.
static uint64_t PlayedFrames(snd_pcm_uframes_t free) {
    uint64_t stillInRing = free >= output.ringFrames ? 0 : output.ringFrames - free;
    return output.framesWritten - stillInRing + pointerSlackFrames;
}

// Hands back the buffers whose audio has left the ring, given its free space; gives how many.
static uint32_t HandBackPlayed(snd_pcm_uframes_t free) {
    uint64_t played = PlayedFrames(free);
    uint32_t count = 0;
    while (count < output.inRingCount && output.inRingEnd[count] <= played)
        HandBack(output.inRing[count++]);
    for (uint32_t index = count; index < output.inRingCount; ++index) {
        output.inRing[index - count] = output.inRing[index];
        output.inRingEnd[index - count] = output.inRingEnd[index];
    }
    output.inRingCount -= count;
    return count;
}

// Restarts the device after it ran dry (or was suspended): what was in the ring is lost and
// handed back.
static void RecoverDevice(int error) {
    for (uint32_t index = 0; index < output.inRingCount; ++index)
        HandBack(output.inRing[index]);
    output.inRingCount = 0;
    if (snd_pcm_recover(output.pcm, error, 1) < 0)
        snd_pcm_prepare(output.pcm);
}

// Writes the oldest queued buffer whole; false when it does not fit or nothing is queued.
static bool WriteQueued(snd_pcm_uframes_t free) {
    uint32_t tail = output.queueTail.load(std::memory_order_relaxed);
    if (tail == output.queueHead.load(std::memory_order_acquire))
        return false;
    WaveBuffer *buffer = output.queue[tail % queueSize].load(std::memory_order_relaxed);
    snd_pcm_uframes_t frames = buffer->length / output.frameBytes;
    if (free < frames)
        return false;
    snd_pcm_sframes_t written = snd_pcm_writei(output.pcm, buffer->data, frames);
    if (written == -EAGAIN)
        return false;
    output.queueTail.store(tail + 1, std::memory_order_release);
    if (written < 0) {
        HandBack(buffer);
        RecoverDevice(static_cast<int>(written));
        return false;
    }
    output.framesWritten += static_cast<uint64_t>(written);
    output.inRing[output.inRingCount] = buffer;
    output.inRingEnd[output.inRingCount] = output.framesWritten;
    ++output.inRingCount;
    return true;
}

// One look at the device: hands back what was played and writes what fits. Gives how long
// the oldest buffer left in the ring takes to play, in milliseconds (-1 for none), and whether
// any buffer was handed back.
static int ServeDevice(bool *handedBack) {
    *handedBack = false;
    snd_pcm_sframes_t available = snd_pcm_avail(output.pcm);
    if (available < 0) {
        RecoverDevice(static_cast<int>(available));
        *handedBack = true;
        available = snd_pcm_avail(output.pcm);
        if (available < 0)
            return -1;
    }
    snd_pcm_uframes_t free = static_cast<snd_pcm_uframes_t>(available);
    *handedBack = HandBackPlayed(free) > 0 || *handedBack;
    while (WriteQueued(free)) {
        available = snd_pcm_avail(output.pcm);
        if (available < 0)
            return -1;
        free = static_cast<snd_pcm_uframes_t>(available);
    }
    if (output.inRingCount == 0)
        return -1;
    uint64_t played = PlayedFrames(free);
    uint64_t left = output.inRingEnd[0] > played ? output.inRingEnd[0] - played : 0;
    return static_cast<int>((left * 1000 + output.rate - 1) / output.rate) + 1;
}

// The driver thread: serves the device whenever a buffer is queued or the oldest one in the
// ring should have played, until told to stop; then plays out and closes the device.
// The device's own descriptors are no help here: PulseAudio's plugin signals room from the
// first free period on, whatever avail_min says, so with a ring of two buffers they stay ready
// while the oldest buffer is still half in it. Its pointer tells how long that buffer has left
// instead; the server takes it in its own steps, so one still in the ring after that is
// overdue, and is looked for every overdueMilliseconds.
static void RunDriver(void *) {
    pollfd wake = {output.wakeDescriptor, POLLIN, 0};
    bool overdue = false;
    while (!output.stopDriver.load(std::memory_order_acquire)) {
        bool handedBack;
        int timeout = ServeDevice(&handedBack);
        if (overdue && !handedBack && timeout > overdueMilliseconds)
            timeout = overdueMilliseconds;
        int woken = poll(&wake, 1, timeout);
        overdue = woken == 0;
        uint64_t count;
        if (woken > 0 && read(output.wakeDescriptor, &count, sizeof count) < 0)
            continue;
    }
    // Waits for the sound server to play out: blocking, and bounded by CloseWaveOutput.
    snd_pcm_nonblock(output.pcm, 0);
    snd_pcm_drain(output.pcm);
    snd_pcm_close(output.pcm);
    output.driverEnded.store(true, std::memory_order_release);
}

// Sets format, rate and a ring of two buffers in quarter-buffer periods; 0 on success.
static int ConfigureDevice(snd_pcm_t *pcm, uint16_t channels, uint32_t samplesPerSecond) {
    snd_pcm_hw_params_t *hardware;
    snd_pcm_hw_params_alloca(&hardware);
    unsigned int rate = samplesPerSecond;
    snd_pcm_uframes_t ring = ringFramesWanted;
    snd_pcm_uframes_t period = periodFramesWanted;
    if (snd_pcm_hw_params_any(pcm, hardware) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hardware, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hardware, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hardware, channels) < 0 ||
        snd_pcm_hw_params_set_rate_resample(pcm, hardware, 1) < 0 ||
        snd_pcm_hw_params_set_rate_near(pcm, hardware, &rate, nullptr) < 0 ||
        rate != samplesPerSecond ||
        snd_pcm_hw_params_set_buffer_size_near(pcm, hardware, &ring) < 0 ||
        snd_pcm_hw_params_set_period_size_near(pcm, hardware, &period, nullptr) < 0 ||
        snd_pcm_hw_params(pcm, hardware) < 0 ||
        snd_pcm_hw_params_get_buffer_size(hardware, &output.ringFrames) < 0)
        return 1;
    if (output.ringFrames < ringFramesWanted)
        return 1;
    // Playing starts with the first buffer.
    snd_pcm_sw_params_t *software;
    snd_pcm_sw_params_alloca(&software);
    snd_pcm_uframes_t bufferFrames = ringFramesWanted / 2;
    if (snd_pcm_sw_params_current(pcm, software) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm, software, bufferFrames) < 0 ||
        snd_pcm_sw_params(pcm, software) < 0)
        return 1;
    return 0;
}

// Opens ALSA's default PCM, non-blocking so that a device without room never holds the
// driver. Where that is PulseAudio's plugin, it is opened without the plugin's own underrun
// handling, which stops the stream the moment the server finds it empty: a stopped PCM can
// only be prepared again, which on this plugin means a new stream, and an idle server may
// have rendered two seconds of silence ahead by the time that stream connects. Without it,
// the stream plays on as soon as sound comes again.
static int OpenDefaultDevice(snd_pcm_t **pcm) {
    snd_config_t *definition = nullptr;
    snd_config_t *type = nullptr;
    const char *typeName = nullptr;
    if (snd_config_update() < 0 ||
        snd_config_search_definition(snd_config, "pcm", "default", &definition) < 0)
        return snd_pcm_open(pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    snd_config_t *top = nullptr;
    snd_config_t *devices = nullptr;
    snd_config_t *flag = nullptr;
    int result = -1;
    if (snd_config_search(definition, "type", &type) >= 0 &&
        snd_config_get_string(type, &typeName) >= 0 && strcmp(typeName, "pulse") == 0 &&
        snd_config_top(&top) >= 0 && snd_config_make_compound(&devices, "pcm", 0) >= 0 &&
        snd_config_add(top, devices) >= 0 &&
        snd_config_imake_integer(&flag, "handle_underrun", 0) >= 0 &&
        snd_config_add(definition, flag) >= 0 && snd_config_set_id(definition, "default") >= 0 &&
        snd_config_add(devices, definition) >= 0) {
        definition = nullptr;
        result = snd_pcm_open_lconf(pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK, top);
    }
    if (top)
        snd_config_delete(top);
    if (definition)
        snd_config_delete(definition);
    if (result < 0)
        result = snd_pcm_open(pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    return result;
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
    // The sound library may start a thread of its own that carries the audio on to a sound
    // server; started while this thread runs at real-time priority, it inherits it, where the
    // process may have it.
    int policy;
    sched_param saved;
    pthread_getschedparam(pthread_self(), &policy, &saved);
    sched_param high{};
    high.sched_priority = sched_get_priority_max(SCHED_FIFO) - 1;
    bool raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &high) == 0;
    outputError[0] = 0;
    int opened = OpenDefaultDevice(&pcm);
    if (raised)
        pthread_setschedparam(pthread_self(), policy, &saved);
    if (opened < 0) {
        snprintf(outputError, sizeof outputError, "ALSA's default device: %s",
                 snd_strerror(opened));
        return 1;
    }
    output.pcm = pcm;
    output.frameBytes = 2u * channels;
    output.rate = samplesPerSecond;
    output.queueHead.store(0, std::memory_order_relaxed);
    output.queueTail.store(0, std::memory_order_relaxed);
    output.inRingCount = 0;
    output.framesWritten = 0;
    output.stopDriver.store(false, std::memory_order_relaxed);
    output.driverEnded.store(false, std::memory_order_relaxed);
    if (ConfigureDevice(pcm, channels, samplesPerSecond) != 0) {
        snprintf(outputError, sizeof outputError, "ALSA's default device cannot play %u Hz %s",
                 samplesPerSecond, channels == 1 ? "mono" : "multi-channel");
        snd_pcm_close(pcm);
        return 1;
    }
    output.wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (output.wakeDescriptor < 0 || !StartTimeCriticalThread(RunDriver, nullptr)) {
        snprintf(outputError, sizeof outputError, "no thread to feed the sound device");
        if (output.wakeDescriptor >= 0)
            close(output.wakeDescriptor);
        snd_pcm_close(pcm);
        return 1;
    }
    output.isOpen.store(true, std::memory_order_release);
    return 0;
}

int PrepareWaveBuffer(WaveBuffer *buffer) {
    if (!output.isOpen.load(std::memory_order_acquire) || !buffer->data ||
        buffer->length < output.frameBytes ||
        buffer->length / output.frameBytes > ringFramesWanted / 2)
        return 1;
    buffer->flags.fetch_or(waveBufferPrepared, std::memory_order_relaxed);
    return 0;
}

// Wakes the driver.
static void WakeDriver() {
    uint64_t one = 1;
    if (write(output.wakeDescriptor, &one, sizeof one) < 0)
        return;
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
    WakeDriver();
    return 0;
}

void ReleaseWaveBuffer(WaveBuffer *buffer) {
    buffer->flags.fetch_and(~waveBufferPrepared, std::memory_order_relaxed);
}

void CloseWaveOutput() {
    if (!output.isOpen.exchange(false, std::memory_order_acq_rel))
        return;
    output.stopDriver.store(true, std::memory_order_release);
    WakeDriver();
    // A sound server that stopped answering holds the driver inside the device for good:
    // past the bound, both are left to the end of the process.
    for (uint32_t waited = 0; waited < closeWaitMilliseconds; ++waited) {
        if (output.driverEnded.load(std::memory_order_acquire)) {
            close(output.wakeDescriptor);
            return;
        }
        SleepMilliseconds(1);
    }
}
