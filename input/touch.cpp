#include "input/touch.h"

#include "assets/assets.h"
#include "audio/voices.h"
#include "platform/platform.h"
#include "screen/draw.h"

ScreenMode screenMode;
bool isStartingUp;
std::atomic<int32_t> quitRequested;
int32_t exitRequested;

// Whether the pen is down, known from the button events the filter has handled rather than
// from a motion's own button state: a press made outside the window, dragged in, is not ours.
static bool isPenDown;

// The quit signals already counted as requests.
static std::atomic<uint32_t> signalsCounted;

// Counts one quit event. SDL makes one event of several signals that come before it looks, so
// each signal counts as a request of its own, and an event that no new signal explains (the
// window's close button) counts as one. The filter may run again inside a signal handler
// while it counts, hence the exchange.
static void CountQuitRequest() {
    uint32_t signals = GetQuitSignalCount();
    uint32_t counted = signalsCounted.load(std::memory_order_relaxed);
    while (counted < signals &&
           !signalsCounted.compare_exchange_weak(counted, signals, std::memory_order_relaxed)) {
    }
    int32_t fresh = counted < signals ? int32_t(signals - counted) : 0;
    quitRequested.fetch_add(fresh ? fresh : 1, std::memory_order_relaxed);
}

bool IsQuitDue() {
    return quitRequested.load(std::memory_order_relaxed) >= (screenMode == windowMode ? 1 : 2);
}

// A button event: only the state decides, the type alone does not say whether the pen is down.
static int HandleButton(const SDL_MouseButtonEvent &button) {
    // SDL reports a turn of a mouse's wheel as a click; scrolling over a window is not playing.
    bool isWheel = button.button == SDL_BUTTON_WHEELUP || button.button == SDL_BUTTON_WHEELDOWN;
    if (screenMode == windowMode && isWheel)
        return 0;
    isPenDown = button.state == SDL_PRESSED;
    if (isPenDown) {
        TouchAt(button.x, button.y);
        return 0;
    }
    ReleaseAllKeys();
    CheckExitButton(button.x, button.y);
    // SDL cannot be shut down from inside its own event gathering, so the lift on the exit
    // button goes through to wake the event loop, which shuts it down.
    return exitRequested;
}

int EventFilter(const SDL_Event *event) {
    switch (event->type) {
    case SDL_MOUSEMOTION:
        // Full screen, a pointer moving with no button held plays like a drag.
        if (!isStartingUp && (isPenDown || screenMode == fullScreenMode))
            TouchAt(event->motion.x, event->motion.y);
        return 0;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        return isStartingUp ? 0 : HandleButton(event->button);
    case SDL_QUIT:
        CountQuitRequest();
        return IsQuitDue();
    default:
        return 0;
    }
}

void TouchAt(int x, int y) {
    Key *key = FindKeyAt(x, y);
    if (!key) {
        ReleaseAllKeys();
        return;
    }
    if (!key->isPressed) {
        key->isPressed = 1;
        StartVoice(key->sampleData, key->sampleLength);
        DrawKey(key);
    }
    // The new key is heard and shown before the old one is let go.
    ReleaseOtherKeys(key);
}

void ReleaseAllKeys() {
    ReleaseOtherKeys(nullptr);
}

void ReleaseOtherKeys(Key *key) {
    for (int index = 0; index < keyTable.count; ++index) {
        Key *other = &keyTable.keys[index];
        if (other == key || !other->isPressed)
            continue;
        other->isPressed = 0;
        DrawKey(other);
    }
}

void CheckExitButton(int x, int y) {
    int left = screenWidth - ExitButtonImage->w;
    if (x >= left && x < screenWidth && y >= 0 && y < ExitButtonImage->h)
        exitRequested = 1;
}
