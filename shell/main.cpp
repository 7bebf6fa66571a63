#include "shell/piano.h"

int main() {
    AppEntry();
}
