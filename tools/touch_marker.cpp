// Touches the screen and marks the moment on the sound: for each tap, a click goes out on a
// stream of its own through ALSA's default device, and the pen goes down on the X screen the
// instant the click is queued. A recording of the sound server then holds the click and the
// note on one clock, the server's; what the click itself still had to wait in its stream, a
// few milliseconds, is printed per tap, so that the note's delay after the click plus this wait
// is the time from the touch to the sound.
//
//   velmora_marker X Y TAPS   (on $DISPLAY; one line per tap: the click's wait in ms)
#include <alsa/asoundlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "tools/recording.h"

static constexpr unsigned rate = 22050;

struct Pen {
    void *display;
    int (*fakeMotion)(void *, int, int, int, unsigned long);
    int (*fakeButton)(void *, unsigned, int, unsigned long);
    int (*flush)(void *);
};

// The X test extension, through the libraries xdotool uses; false if they are missing.
static bool OpenPen(Pen *pen) {
    void *x11 = OpenLibrary("libX11.so.6");
    void *test = OpenLibrary("libXtst.so.6");
    if (!x11 || !test)
        return false;
    auto open = reinterpret_cast<void *(*)(const char *)>(FindLibraryName(x11, "XOpenDisplay"));
    pen->fakeMotion =
        reinterpret_cast<decltype(pen->fakeMotion)>(FindLibraryName(test, "XTestFakeMotionEvent"));
    pen->fakeButton =
        reinterpret_cast<decltype(pen->fakeButton)>(FindLibraryName(test, "XTestFakeButtonEvent"));
    pen->flush = reinterpret_cast<decltype(pen->flush)>(FindLibraryName(x11, "XFlush"));
    pen->display = open ? open(nullptr) : nullptr;
    return pen->display && pen->fakeMotion && pen->fakeButton && pen->flush;
}

// A blocking stream of about 5 ms, in periods of about 1.25 ms; the period's length in frames.
static snd_pcm_uframes_t OpenStream(snd_pcm_t **pcm) {
    snd_pcm_uframes_t period = 0, ring = 0;
    if (snd_pcm_open(pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0 ||
        snd_pcm_set_params(*pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1,
                           5000) < 0 ||
        snd_pcm_get_params(*pcm, &ring, &period) < 0)
        return 0;
    return period;
}

// The click, followed by silence to a whole number of periods.
static std::vector<int16_t> MakeClick(snd_pcm_uframes_t period) {
    std::vector<int16_t> click((clickValues + period - 1) / period * period, 0);
    for (int index = 0; index < clickValues; ++index) {
        double envelope = 0.5 - 0.5 * std::cos(2 * M_PI * index / (clickValues - 1));
        click[index] = int16_t(clickLevel * envelope * std::sin(2 * M_PI * clickCycles * index));
    }
    return click;
}

// Plays silence for about the given time.
static void PlaySilence(snd_pcm_t *pcm, std::vector<int16_t> &block, double seconds) {
    std::fill(block.begin(), block.end(), 0);
    for (double played = 0; played < seconds; played += double(block.size()) / rate) {
        if (snd_pcm_writei(pcm, block.data(), block.size()) < 0)
            snd_pcm_prepare(pcm);
    }
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: velmora_marker X Y TAPS\n");
        return 2;
    }
    Pen pen;
    snd_pcm_t *pcm = nullptr;
    if (!OpenPen(&pen)) {
        fprintf(stderr, "velmora_marker: no X display with the test extension\n");
        return 1;
    }
    snd_pcm_uframes_t period = OpenStream(&pcm);
    if (period == 0) {
        fprintf(stderr, "velmora_marker: cannot open ALSA's default device\n");
        return 1;
    }
    std::vector<int16_t> block(period), click = MakeClick(period);
    // A pen that arrives plays the key it is over, and holds it until lifted: the first tap
    // would play nothing. It arrives, and is lifted, before the taps.
    pen.fakeMotion(pen.display, -1, atoi(argv[1]), atoi(argv[2]), 0);
    pen.fakeButton(pen.display, 1, 1, 0);
    pen.fakeButton(pen.display, 1, 0, 0);
    pen.flush(pen.display);
    PlaySilence(pcm, block, 1.0);
    for (int tap = 0; tap < atoi(argv[3]); ++tap) {
        PlaySilence(pcm, block, 0.45);
        snd_pcm_writei(pcm, click.data(), click.size());
        snd_pcm_sframes_t queued = 0;
        snd_pcm_delay(pcm, &queued);
        pen.fakeButton(pen.display, 1, 1, 0);
        pen.flush(pen.display);
        // The click's start is queued behind all but what was just written.
        printf("%.1f\n", (queued - double(click.size())) * 1000 / rate);
        PlaySilence(pcm, block, 0.05);
        pen.fakeButton(pen.display, 1, 0, 0);
        pen.flush(pen.display);
    }
    PlaySilence(pcm, block, 0.5);
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return 0;
}
