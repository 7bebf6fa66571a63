// Sound files read as the program reads its samples, through SDL's WAV loader: signed 16-bit
// mono at 22050 Hz, the one format the mixer plays and the stage records.
#pragma once

#include <string>
#include <vector>

// The file's values, or none (after saying why) if SDL cannot read it or it holds another
// format. SDL must be bound.
std::vector<double> LoadRecording(const std::string &path);
