// The floor under the program's idle CPU: a thread that does nothing but look every
// millisecond, started as the mixing thread is (at the highest priority the process may have)
// and with the program's own sleep. scripts/measure takes its CPU the same way as the
// program's, on the same machine in the same run.
//
//   velmora_polling_floor SECONDS
#include <atomic>
#include <cstdlib>
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
    long seconds = argc == 2 ? strtol(argv[1], nullptr, 10) : 0;
    if (seconds <= 0 || !StartTimeCriticalThread(Look, &seconds))
        return 2;
    finished.wait(false, std::memory_order_acquire);
    return 0;
}
