// Wave output over ALSA's default PCM. The feeding thread serves the device itself at each of
// its looks: it writes the queued buffers into the device's ring, which holds exactly two of
// them, and hands each back once its audio has left the ring, so that it stays two buffers
// ahead of the loudspeaker and no more. Serving from the thread that polls anyway costs no
// wake-up of its own and puts no other thread between the server's request and the refill.
//
// The ring is sized to what is kept in flight because a sound server takes it as its target
// fill: PulseAudio's plugin asks the server for the whole ring and feeds it in periods. With
// two buffers in a ring of three periods of a buffer each, the server drained both in one late
// pass; with the ring at two buffers and quarter-buffer periods, at least half the ring is
// queued at the server whenever it looks.
//
// A sound server that goes away (restarted, updated, crashed) takes its streams with it: the
// device then fails every call, and only a new one plays. The feeding thread cannot open that
// one itself, since the sound library connects to the server synchronously, for as long as the
// server takes to answer. A helper thread, parked until a device is lost, closes the dead one
// and opens ALSA's default device again every half second, handing the new one over through an
// atomic that the feeding thread looks at when it serves. Until then the feeding thread's
// buffers are handed back at the pace they would have played, so mixing and closing go on
// as though they were heard.
#include <alsa/asoundlib.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

// The feeding side queues at most two buffers.
static constexpr uint32_t queueSize = 4;
static constexpr snd_pcm_uframes_t ringFramesWanted = 1024;
static constexpr snd_pcm_uframes_t periodFramesWanted = 256;
// PulseAudio's plugin keeps its pointer a frame or two behind what the server has taken; a
// buffer with no more than this left in the ring counts as played. Its audio was copied into
// the ring when written, so handing it back a little early loses nothing.
static constexpr uint64_t pointerSlackFrames = 8;
static constexpr uint32_t reopenPauseMilliseconds = 500;

// Everything about the one open device. Only the feeding thread touches it between opening
// and closing.
struct AlsaOutput {
    snd_pcm_t *pcm;
    std::atomic<bool> isOpen;
    uint32_t frameBytes;
    snd_pcm_uframes_t ringFrames;
    // Buffers queued, oldest first: the first writtenCount are in the ring, with the frame
    // count written up to and including each; the rest wait for room.
    WaveBuffer *queue[queueSize];
    uint64_t queueEnd[queueSize];
    uint32_t queueCount;
    uint32_t writtenCount;
    uint64_t framesWritten;
    uint32_t rate;
    // Set while there is no device: the oldest buffer is handed back at dueNanoseconds.
    bool isLost;
    uint64_t dueNanoseconds;
    // On the monotonic clock, when the oldest buffer in the ring can first have left it, at the
    // playing rate from the last look at the device.
    int64_t oldestDueNanoseconds;
};

static AlsaOutput output;
static uint16_t openChannels;

// The dead device and its last error, from the feeding thread to the helper, and a new device
// from the helper to the feeding thread.
static std::atomic<snd_pcm_t *> lostDevice;
static std::atomic<int> lostError;
static std::atomic<snd_pcm_t *> reopenedDevice;
static std::atomic<bool> isReopeningStopped;

// Keeps ALSA's own complaints off the program's output: failures are reported by result.
static void IgnoreAlsaError(const char *, int, const char *, int, const char *, ...) {}

// Gives a buffer back to its owner.
static void HandBack(WaveBuffer *buffer) {
    buffer->flags.fetch_or(waveBufferDone, std::memory_order_release);
}

// Drops the first count buffers from the queue.
static void DropQueued(uint32_t count) {
    for (uint32_t index = count; index < output.queueCount; ++index) {
        output.queue[index - count] = output.queue[index];
        output.queueEnd[index - count] = output.queueEnd[index];
    }
    output.queueCount -= count;
    output.writtenCount = output.writtenCount > count ? output.writtenCount - count : 0;
}

// The frames still in the ring, given its free space.
static uint64_t CountFramesInRing(snd_pcm_uframes_t free) {
    return free >= output.ringFrames ? 0 : output.ringFrames - free;
}

// Hands back the buffers whose audio has left the ring, given its free space.
static void HandBackPlayed(snd_pcm_uframes_t free) {
    uint64_t played = output.framesWritten - CountFramesInRing(free) + pointerSlackFrames;
    uint32_t count = 0;
    while (count < output.writtenCount && output.queueEnd[count] <= played)
        HandBack(output.queue[count++]);
    DropQueued(count);
}

// Restarts the device after it ran dry (or was suspended): what was in the ring is lost and
// handed back. False when the device cannot be restarted.
static bool RecoverDevice(int error) {
    for (uint32_t index = 0; index < output.writtenCount; ++index)
        HandBack(output.queue[index]);
    DropQueued(output.writtenCount);
    return snd_pcm_recover(output.pcm, error, 1) >= 0 || snd_pcm_prepare(output.pcm) >= 0;
}

static uint64_t ReadClockNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// Gives the dead device to the helper; what was in its ring is lost, and every queued buffer
// now waits for the clock.
static void LoseDevice(int error) {
    output.writtenCount = 0;
    output.isLost = true;
    output.dueNanoseconds = ReadClockNanoseconds();
    lostError.store(error, std::memory_order_relaxed);
    lostDevice.store(output.pcm, std::memory_order_release);
    lostDevice.notify_one();
    output.pcm = nullptr;
}

// Takes over the device the helper opened.
static void AdoptDevice(snd_pcm_t *pcm) {
    snd_pcm_uframes_t period = 0;
    output.pcm = pcm;
    snd_pcm_get_params(pcm, &output.ringFrames, &period);
    output.writtenCount = 0;
    output.framesWritten = 0;
    output.isLost = false;
}

// Without a device, hands the oldest buffer back once a buffer's playing time has passed since
// the last one, or since the device was lost; after a longer pause, it starts the count anew.
static void HandBackOnClock() {
    uint64_t now = ReadClockNanoseconds();
    if (output.queueCount == 0 || now < output.dueNanoseconds)
        return;
    WaveBuffer *buffer = output.queue[0];
    uint64_t period = uint64_t{buffer->length} / output.frameBytes * 1000000000u / output.rate;
    HandBack(buffer);
    DropQueued(1);
    output.dueNanoseconds =
        now - output.dueNanoseconds > period ? now + period : output.dueNanoseconds + period;
}

// Writes the oldest waiting buffer whole; false when it does not fit or none waits.
static bool WriteWaiting(snd_pcm_uframes_t free) {
    if (output.writtenCount == output.queueCount)
        return false;
    WaveBuffer *buffer = output.queue[output.writtenCount];
    snd_pcm_uframes_t frames = buffer->length / output.frameBytes;
    if (free < frames)
        return false;
    snd_pcm_sframes_t written = snd_pcm_writei(output.pcm, buffer->data, frames);
    if (written == -EAGAIN)
        return false;
    if (written < 0) {
        ++output.writtenCount;
        if (!RecoverDevice(static_cast<int>(written)))
            LoseDevice(static_cast<int>(written));
        return false;
    }
    output.framesWritten += static_cast<uint64_t>(written);
    output.queueEnd[output.writtenCount++] = output.framesWritten;
    return true;
}

// Notes, from the device's free space just read, when the oldest buffer can have played. The
// server takes the ring a period at a time, up to a period ahead of the playing rate.
static void StampOldestDue(snd_pcm_uframes_t free) {
    if (output.writtenCount == 0)
        return;
    int64_t toPlay =
        static_cast<int64_t>(output.queueEnd[0] + CountFramesInRing(free)) -
        static_cast<int64_t>(output.framesWritten + pointerSlackFrames + periodFramesWanted);
    output.oldestDueNanoseconds = static_cast<int64_t>(ReadClockNanoseconds()) +
                                  toPlay * 1000000000LL / static_cast<int64_t>(output.rate);
}

// True while nothing waits for room and the oldest buffer cannot have played yet: a look at the
// device would find nothing to do. Through a sound server's plugin that look was most of what
// the thread did at each millisecond: a lock shared with the library's own thread and several
// system calls.
static bool IsRingSettled() {
    return output.writtenCount > 0 && output.writtenCount == output.queueCount &&
           static_cast<int64_t>(ReadClockNanoseconds()) < output.oldestDueNanoseconds;
}

void ServeWaveOutput() {
    if (!output.isOpen.load(std::memory_order_acquire))
        return;
    if (output.isLost) {
        snd_pcm_t *pcm = reopenedDevice.exchange(nullptr, std::memory_order_acquire);
        if (!pcm) {
            HandBackOnClock();
            return;
        }
        AdoptDevice(pcm);
    }
    if (output.queueCount == 0 || IsRingSettled())
        return;
    snd_pcm_sframes_t available = snd_pcm_avail(output.pcm);
    if (available < 0) {
        if (RecoverDevice(static_cast<int>(available)))
            available = snd_pcm_avail(output.pcm);
        if (available < 0) {
            LoseDevice(static_cast<int>(available));
            return;
        }
    }
    while (available >= 0) {
        HandBackPlayed(static_cast<snd_pcm_uframes_t>(available));
        if (!WriteWaiting(static_cast<snd_pcm_uframes_t>(available))) {
            StampOldestDue(static_cast<snd_pcm_uframes_t>(available));
            return;
        }
        available = snd_pcm_avail(output.pcm);
    }
}

// Sets format, rate and a ring of two buffers in quarter-buffer periods, and gives the ring's
// size; 0 on success.
static int ConfigureDevice(snd_pcm_t *pcm, uint16_t channels, uint32_t samplesPerSecond,
                           snd_pcm_uframes_t *ringFrames) {
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
        snd_pcm_hw_params_get_buffer_size(hardware, ringFrames) < 0)
        return 1;
    if (*ringFrames < ringFramesWanted)
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

// OpenDefaultDevice's arguments and result, to run it through CallWithShortSlice.
struct OpenRequest {
    snd_pcm_t **pcm;
    int result;
};

static void OpenDefaultDeviceFor(void *request) {
    OpenRequest *open = static_cast<OpenRequest *>(request);
    open->result = OpenDefaultDevice(open->pcm);
}

static char outputError[256];

const char *GetWaveOutputError() {
    return outputError;
}

// Opens ALSA's default device and sets it up for the format; null with the open's error in
// *error, or 0 there when the device cannot play the format.
//
// The sound library may start a thread of its own that carries the audio on to a sound server
// and its requests back: it sits between the server and our refill, so it starts with a short
// slice to come in soon after it wakes. Not at real-time priority, even where the process may
// have it: raised above the server's own threads, it held our writes for up to 14 ms and ran
// the stream dry in about one performance in four.
static snd_pcm_t *OpenConfiguredDevice(snd_pcm_uframes_t *ringFrames, int *error) {
    snd_pcm_t *pcm = nullptr;
    OpenRequest request{&pcm, -1};
    CallWithShortSlice(OpenDefaultDeviceFor, &request);
    *error = request.result;
    if (request.result < 0)
        return nullptr;
    if (ConfigureDevice(pcm, openChannels, output.rate, ringFrames) != 0) {
        *error = 0;
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

// The helper: waits for a lost device, says so, closes it (which may wait on a server that
// hangs), and opens a new one every reopenPauseMilliseconds until it has one or the output is
// closed.
static void ReopenLostDevices(void *) {
    for (;;) {
        lostDevice.wait(nullptr, std::memory_order_acquire);
        snd_pcm_t *dead = lostDevice.exchange(nullptr, std::memory_order_acquire);
        const char *reason = snd_strerror(lostError.load(std::memory_order_relaxed));
        fprintf(stderr, "velmora: sound output lost: %c%s\n", tolower(reason[0]), reason + 1);
        snd_pcm_close(dead);
        snd_pcm_t *pcm = nullptr;
        snd_pcm_uframes_t ringFrames = 0;
        int error = 0;
        while (!isReopeningStopped.load(std::memory_order_acquire) &&
               !(pcm = OpenConfiguredDevice(&ringFrames, &error)))
            SleepMilliseconds(reopenPauseMilliseconds);
        if (!pcm)
            return;
        fputs("velmora: sound output is back\n", stderr);
        reopenedDevice.store(pcm, std::memory_order_release);
    }
}

int OpenWaveOutput(uint16_t channels, uint32_t samplesPerSecond) {
    if (output.isOpen.load(std::memory_order_acquire) || channels == 0)
        return 1;
    snd_lib_error_set_handler(IgnoreAlsaError);
    outputError[0] = 0;
    openChannels = channels;
    output.rate = samplesPerSecond;
    int error = 0;
    snd_pcm_t *pcm = OpenConfiguredDevice(&output.ringFrames, &error);
    if (!pcm && error < 0)
        snprintf(outputError, sizeof outputError, "ALSA's default device: %s", snd_strerror(error));
    if (!pcm && error == 0)
        snprintf(outputError, sizeof outputError, "ALSA's default device cannot play %u Hz %s",
                 samplesPerSecond, channels == 1 ? "mono" : "multi-channel");
    if (!pcm)
        return 1;
    output.pcm = pcm;
    output.frameBytes = 2u * channels;
    output.queueCount = 0;
    output.writtenCount = 0;
    output.framesWritten = 0;
    // Without the helper the output works as well, but does not come back once lost.
    StartHelperThread(ReopenLostDevices, nullptr);
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

int QueueWaveBuffer(WaveBuffer *buffer) {
    if (!output.isOpen.load(std::memory_order_acquire) ||
        !(buffer->flags.load(std::memory_order_relaxed) & waveBufferPrepared) ||
        output.queueCount == queueSize)
        return 1;
    output.queue[output.queueCount++] = buffer;
    ServeWaveOutput();
    return 0;
}

void ReleaseWaveBuffer(WaveBuffer *buffer) {
    buffer->flags.fetch_and(~waveBufferPrepared, std::memory_order_relaxed);
}

// The feeding thread lets its buffers play out before it closes. A device that still holds
// some has stopped taking sound, and closing it would wait for its server's answer for as long
// as half a minute: it is left to the end of the process.
// A lost device is the helper's, which may be waiting on a server: it is told to stop and
// left to end with the process.
void CloseWaveOutput() {
    if (!output.isOpen.exchange(false, std::memory_order_acq_rel))
        return;
    isReopeningStopped.store(true, std::memory_order_release);
    if (!output.isLost && output.writtenCount == 0)
        snd_pcm_close(output.pcm);
}
