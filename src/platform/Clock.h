#pragma once
// The one clock type of the program: steady time for deadlines, debounces and timers.

#include <chrono>

namespace keyglass {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = std::chrono::microseconds;

} // namespace keyglass
