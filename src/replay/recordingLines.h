// Inside the replays only: the lines of a recording's text, as the reader takes them.
#pragma once

#include <string>

#include "replay.h"

// The first line and the header: names, touch limit, computers, the simulated clock.
std::string headerText(const Recording& recording);
// One press's line.
std::string pressText(const RecordedPress& press);
// The end line: when a fencer won, and the score.
std::string endText(Milliseconds at, std::int32_t leftTouches, std::int32_t rightTouches);
// The stop line: when the game ended before a win.
std::string stopText(Milliseconds at);
