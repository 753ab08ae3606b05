#include "values/wide.h"

namespace wide {
namespace {

constexpr std::uint64_t kLow32 = 0xffffffffu;

// |value| in unsigned arithmetic, where the most negative value has its magnitude.
std::uint64_t magnitude(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  return value < 0 ? 0 - bits : bits;
}

bool isNegative(const Int128& value) { return (value.high >> 63) != 0; }

// 2^128 - value: the two's-complement negation.
Int128 negated(const Int128& value) {
  return Int128{~value.high + (value.low == 0 ? 1 : 0), 0 - value.low};
}

}  // namespace

namespace portable {

Int128 multiply(std::int64_t a, std::int64_t b) {
  // Schoolbook product of the magnitudes in 32-bit halves; every partial product and the
  // middle column sum (below 3 × 2^32) fit in 64 bits.
  const std::uint64_t x = magnitude(a);
  const std::uint64_t y = magnitude(b);
  const std::uint64_t lowLow = (x & kLow32) * (y & kLow32);
  const std::uint64_t lowHigh = (x & kLow32) * (y >> 32);
  const std::uint64_t highLow = (x >> 32) * (y & kLow32);
  const std::uint64_t highHigh = (x >> 32) * (y >> 32);
  const std::uint64_t middle = (lowLow >> 32) + (lowHigh & kLow32) + (highLow & kLow32);
  const Int128 product{highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
                       (middle << 32) | (lowLow & kLow32)};
  return (a < 0) != (b < 0) ? negated(product) : product;
}

Division divide(Int128 numerator, std::uint32_t divisor) {
  // Long division of the magnitude, one 32-bit digit at a time from the top: the running
  // remainder stays below the divisor, so remainder × 2^32 + digit fits in 64 bits.
  const bool negative = isNegative(numerator);
  const Int128 dividend = negative ? negated(numerator) : numerator;
  const std::uint64_t digits[4] = {dividend.high >> 32, dividend.high & kLow32, dividend.low >> 32,
                                   dividend.low & kLow32};
  std::uint64_t quotientDigits[4] = {};
  std::uint64_t remainder = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t current = (remainder << 32) | digits[i];
    quotientDigits[i] = current / divisor;
    remainder = current % divisor;
  }
  const Int128 quotient{(quotientDigits[0] << 32) | quotientDigits[1], (quotientDigits[2] << 32) | quotientDigits[3]};
  const auto signedRemainder = static_cast<std::int64_t>(remainder);
  return negative ? Division{negated(quotient), -signedRemainder} : Division{quotient, signedRemainder};
}

}  // namespace portable

#if defined(FRCORE_NATIVE_INT128)
namespace native {
namespace {

__extension__ typedef __int128 NativeInt;
__extension__ typedef unsigned __int128 NativeUnsigned;

Int128 fromNative(NativeInt value) {
  const auto bits = static_cast<NativeUnsigned>(value);
  return Int128{static_cast<std::uint64_t>(bits >> 64), static_cast<std::uint64_t>(bits)};
}

NativeInt toNative(const Int128& value) {
  return static_cast<NativeInt>((static_cast<NativeUnsigned>(value.high) << 64) | value.low);
}

}  // namespace

Int128 multiply(std::int64_t a, std::int64_t b) { return fromNative(NativeInt{a} * b); }

Division divide(Int128 numerator, std::uint32_t divisor) {
  const NativeInt dividend = toNative(numerator);
  return Division{fromNative(dividend / divisor), static_cast<std::int64_t>(dividend % divisor)};
}

}  // namespace native
#endif

}  // namespace wide
