// How a wait for a message is split where the system timer wakes sleepers only at coarse ticks
// (Windows: every 15.6 ms unless timeBeginPeriod): shared by the win32 backend and its headless model.
#pragma once

#include "platform/platform.h"

// The wait runs on the coarse timer until this long before its deadline, then with the timer at 1 ms
// for the rest. It exceeds one coarse tick, so the first part never overruns the deadline, and keeps
// the fine timer in force only briefly.
constexpr uint32_t kPreciseWaitMs = 40;

// The part of a wait of timeout_ms that runs on the coarse timer (INFINITE for INFINITE).
inline uint32_t coarse_part_of_wait(uint32_t timeout_ms) {
  if (timeout_ms == INFINITE) return INFINITE;
  return timeout_ms > kPreciseWaitMs ? timeout_ms - kPreciseWaitMs : 0;
}
