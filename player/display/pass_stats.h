// The drawing thread's pass times and the report SONFARA_DRAW_STATS asks for.
#pragma once

#include <string>

#include "player/platform/time_histogram.h"

namespace sonfara::display {

using PassStats = platform::TimeHistogram;

// The pass count, then median and p99 of the wall time and of the drawing
// thread's processor time, in µs.
std::string PassStatsReport(const PassStats& wall, const PassStats& cpu);

}  // namespace sonfara::display
