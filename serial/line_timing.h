// How long bytes take on an asynchronous serial line of 8 data bits, no parity and one stop
// bit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace rs {

// Each byte goes out as a start bit, eight data bits and a stop bit.
inline constexpr std::uint64_t kBitsPerByte = 10;

// The time `count` bytes take at `bitsPerSecond`, rounded up to the nanosecond; zero for a
// line without a speed (0 bit/s, such as a pseudo-terminal that carries bytes at once).
// Exact below 1.8e9 bytes.
constexpr std::chrono::nanoseconds transmissionTime(std::size_t count, int bitsPerSecond) {
  if (bitsPerSecond <= 0) return std::chrono::nanoseconds(0);
  const std::uint64_t bitNanoseconds = static_cast<std::uint64_t>(count) * kBitsPerByte * 1'000'000'000u;
  const auto rate = static_cast<std::uint64_t>(bitsPerSecond);
  return std::chrono::nanoseconds(static_cast<std::int64_t>((bitNanoseconds + rate - 1) / rate));
}

}  // namespace rs
