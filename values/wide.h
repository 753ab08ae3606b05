// Signed 128-bit products and quotients for exact money arithmetic, alike on every machine.
//
// Int128 is a two's-complement 128-bit integer held in two 64-bit words. The operations
// come in two builds: `portable` in plain 64-bit arithmetic, compiled everywhere, and
// `native` on the compiler's own 128-bit type where it has one. The unqualified functions
// use the native build when there is one, else the portable build; both give the same bits.
#pragma once

#include <compare>
#include <cstdint>

namespace wide {

struct Int128 {
  std::uint64_t high = 0;  // bit 63 is the sign
  std::uint64_t low = 0;

  friend bool operator==(const Int128&, const Int128&) = default;
  // Signed order.
  friend std::strong_ordering operator<=>(const Int128& a, const Int128& b) {
    if (a.high != b.high) return static_cast<std::int64_t>(a.high) <=> static_cast<std::int64_t>(b.high);
    return a.low <=> b.low;
  }
};

// A quotient truncated toward zero and the remainder, which has the numerator's sign
// (numerator = quotient × divisor + remainder, |remainder| < divisor).
struct Division {
  Int128 quotient;
  std::int64_t remainder = 0;
};

namespace portable {
Int128 multiply(std::int64_t a, std::int64_t b);
// `divisor` must not be 0.
Division divide(Int128 numerator, std::uint32_t divisor);
}  // namespace portable

#if defined(__SIZEOF_INT128__)
#define FRCORE_NATIVE_INT128 1
namespace native {
Int128 multiply(std::int64_t a, std::int64_t b);
Division divide(Int128 numerator, std::uint32_t divisor);
}  // namespace native
namespace chosen = native;
#else
namespace chosen = portable;
#endif

// The exact product a × b; |a × b| <= 2^126, so it never wraps.
inline Int128 multiply(std::int64_t a, std::int64_t b) { return chosen::multiply(a, b); }
// numerator / divisor and numerator % divisor as C++ integer division gives them; `divisor`
// must not be 0.
inline Division divide(Int128 numerator, std::uint32_t divisor) { return chosen::divide(numerator, divisor); }

// The low 64 bits as a signed number: the value modulo 2^64.
inline std::int64_t wrapped(Int128 value) { return static_cast<std::int64_t>(value.low); }

}  // namespace wide
