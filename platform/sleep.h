// Sleeping for a whole interval.
#pragma once

#include <chrono>

namespace platform {

// Sleeps for the whole interval: a nanosleep interrupted by a signal sleeps again for the rest.
void sleepFor(std::chrono::nanoseconds interval);

}  // namespace platform
