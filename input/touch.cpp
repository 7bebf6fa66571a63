#include "input/touch.h"

#include "assets/assets.h"
#include "audio/voices.h"
#include "screen/draw.h"

int32_t quitRequested;
int32_t exitRequested;

int EventFilter(const SDL_Event *event) {
    switch (event->type) {
    case SDL_MOUSEMOTION:
        // A pointer moving with no button held plays like a drag.
        TouchAt(event->motion.x, event->motion.y);
        return 0;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        // Only the state decides: the type alone does not say whether the pen is down.
        if (event->button.state == SDL_PRESSED) {
            TouchAt(event->button.x, event->button.y);
            return 0;
        }
        ReleaseAllKeys();
        CheckExitButton(event->button.x, event->button.y);
        // SDL cannot be shut down from inside its own event gathering, so the lift on the
        // exit button goes through to wake the event loop, which shuts it down.
        return exitRequested;
    case SDL_QUIT:
        // A stray request must not end a performance: only the second one gets through.
        if (quitRequested == 0) {
            quitRequested = 1;
            return 0;
        }
        return 1;
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
