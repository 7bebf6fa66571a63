#include "run_program.h"

#include <sys/wait.h>

#include <cstdio>

ProgramRun RunProgram(const std::string &executable, const std::string &environment,
                      int timeoutSeconds) {
    std::string command = "env " + environment + " timeout -s KILL " +
                          std::to_string(timeoutSeconds) + " '" + executable + "' </dev/null";
    ProgramRun run{-1, ""};
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[256];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, count);
    int status = pclose(pipe);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}
