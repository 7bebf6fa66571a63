// The floor under the program's idle CPU: a thread that does nothing but look every
// millisecond, as the mixing thread does, with the program's own sleep. scripts/measure takes
// its CPU the same way as the program's, on the same machine in the same run.
//
//   velmora_polling_floor SECONDS
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

int main(int argc, char **argv) {
    long seconds = argc == 2 ? strtol(argv[1], nullptr, 10) : 0;
    if (seconds <= 0)
        return 2;
    for (time_t end = time(nullptr) + seconds; time(nullptr) < end;)
        SleepMilliseconds(1);
    return 0;
}
