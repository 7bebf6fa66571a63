// Sound files read as the program reads its samples, through SDL's WAV loader: signed 16-bit
// mono at 22050 Hz, the one format the mixer plays and the stage records.
#pragma once

#include <string>
#include <vector>

// velmora_marker's click, which velmora_probe finds: a burst of 3 ms at 8820 Hz (0.4 cycles a
// value), where the notes have next to nothing, under a smooth envelope, so that a server that
// resamples it keeps it whole. Below full scale, to leave room for the notes ringing under it.
inline constexpr int clickValues = 66;
inline constexpr double clickCycles = 0.4, clickLevel = 24000;

// The file's values, or none (after saying why) if SDL cannot read it or it holds another
// format. SDL must be bound.
std::vector<double> LoadRecording(const std::string &path);
