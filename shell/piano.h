// The program's spine: start-up in its fixed order, the event loop and the ways out.
#pragma once

// Process entry: finds the files, binds SDL, runs the piano, and ends the process with exit
// code 0 once the user has left it. A start-up failure ends it with status 1 and one line on
// standard error. startedAs is the path the program was started by (argv[0]), or null.
[[noreturn]] void AppEntry(const char *startedAs);

// Starts everything up, then waits in the event loop; returns by a way out, and ends the process
// itself on a start-up failure.
void RunPiano();
