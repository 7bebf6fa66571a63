#include <cstdio>
#include <cstring>

#include "shell/piano.h"

// Launchers may pass arguments of their own, so anything but these two is ignored. Both are
// answered before any library is loaded, so they work where the program itself cannot start.
int main(int argc, char **argv) {
    for (int index = 1; index < argc; ++index) {
        if (strcmp(argv[index], "--help") == 0) {
            puts("usage: velmora [--help | --version]");
            return 0;
        }
        if (strcmp(argv[index], "--version") == 0) {
            puts("velmora " VELMORA_VERSION);
            return 0;
        }
    }
    AppEntry(argc > 0 ? argv[0] : nullptr);
}
