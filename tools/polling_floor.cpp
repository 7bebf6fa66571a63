// The floor under the program's idle CPU: a thread that does nothing but look every
// millisecond, with the program's own sleep, started as the mixing thread is (at the highest
// priority the process may have) or, given "normal", at normal priority. scripts/measure takes
// its CPU the same way as the program's, on the same machine in the same run.
//
//   velmora_polling_floor SECONDS [normal]
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

static std::atomic<bool> finished;

static void Look(void *parameter) {
    for (time_t end = time(nullptr) + *static_cast<long *>(parameter); time(nullptr) < end;)
        SleepMilliseconds(1);
    finished.store(true, std::memory_order_release);
    finished.notify_one();
}

int main(int argc, char **argv) {
    long seconds = argc >= 2 ? strtol(argv[1], nullptr, 10) : 0;
    if (seconds <= 0 || argc > 3)
        return 2;
    if (argc == 3 && strcmp(argv[2], "normal") == 0) {
        Look(&seconds);
        return 0;
    }
    if (!StartTimeCriticalThread(Look, &seconds))
        return 2;
    finished.wait(false, std::memory_order_acquire);
    return 0;
}
