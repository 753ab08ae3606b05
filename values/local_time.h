// Moments as the register prints them, in local time.
#pragma once

#include <cstdint>
#include <string>

// `seconds` since the epoch formatted with strftime's `format` in local time; empty when the
// moment cannot be converted.
std::string localTimeText(std::int64_t seconds, const char* format);
