// Runs the built program as a child process, for tests that need the real process.
#pragma once

#include <string>

struct ProgramRun {
    int exitCode;       // the program's exit code, or -1 when it did not exit normally
    std::string output; // everything it wrote to standard output
};

// Runs the executable with extra environment assignments ("NAME=value ...") and a time limit.
ProgramRun RunProgram(const std::string &executable, const std::string &environment,
                      int timeoutSeconds = 20);
