// The program's spine: start-up in its fixed order, the event loop and the ways out.
#pragma once

// Process entry: binds SDL, runs the piano, and ends the process with exit code 0.
[[noreturn]] void AppEntry();

// Starts everything up, then waits in the event loop; returns on a start-up failure or a way out.
void RunPiano();
