// Exact decimal fixed-point numbers: every amount, price, quantity and counter total.
//
// A Decimal is a signed 64-bit mantissa over an unsigned 32-bit scale; its value is
// mantissa / scale. The scale is normally a power of ten (money always has scale 100, two
// decimal places). Sums and differences are integer arithmetic; doubles appear only when a
// number is set from a double and in the tolerance of operator==.
//
// Every operation is total: no value makes it crash or divide by zero.
//  - Overflow of the mantissa or of the scale wraps modulo 2^64 or 2^32, as integer
//    registers do; nothing reports it.
//  - A scale of 0 marks a number without scale. Addition ignores such an operand beside a
//    scaled one; conversion, text, rescaling, products and ordering read its mantissa as the
//    value (as if the scale were 1).
//  - A number read from outside can announce more than nine decimal places; its scale then
//    wraps to something that is not a power of ten, or to 0. isRepresentable() tells such a
//    number apart, and callers that keep numbers refuse it.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <string>

#include "values/bytes.h"

class Decimal {
 public:
  static constexpr std::uint32_t kMoneyScale = 100;
  // The most decimal places whose scale, 10^places, fits in 32 bits.
  static constexpr int kMaxDigits = 9;

  // Zero roubles: scale 100, mantissa 0.
  constexpr Decimal() = default;
  constexpr explicit Decimal(std::uint32_t scale) : scale_(scale) {}
  // Both fields as stored; the mantissa is taken modulo 2^64 (an unsigned amount keeps its bits).
  template <std::integral Integer>
  constexpr Decimal(std::uint32_t scale, Integer mantissa)
      : scale_(scale), mantissa_(static_cast<std::int64_t>(mantissa)) {}
  // The given scale, mantissa set by setDouble(value).
  Decimal(std::uint32_t scale, double value);

  std::uint32_t scale() const { return scale_; }
  std::int64_t mantissa() const { return mantissa_; }

  // Number of decimal places: how often the scale divides by 10 while above 1
  // (scale 100 gives 2; scales 1 and 0 give 0).
  int digits() const;
  // Scale := 10^places by repeated 32-bit multiplication (wrapping; 32 places or more give
  // 0). Negative places change nothing. The mantissa is kept.
  void setDigits(int places);
  // True when the scale is 10^n for n in 0..9: the number says what it means.
  bool isRepresentable() const;

  // mantissa / scale; with scale 0 the mantissa itself.
  double toDouble() const;
  // Mantissa := scale × value rounded to an integer, the scale kept. The digit below the
  // kept place comes from a pre-rounding to one decimal: above 5 rounds up, exactly 5 rounds
  // to an even mantissa, and a negative value is truncated toward zero after the
  // pre-rounding (with scale 100: 1.005 gives 1.00, 1.015 gives 1.02; with scale 1: 2.46
  // gives 2, 3.46 gives 4, -2.94 gives -2, -2.96 gives -3). Values beyond the 64-bit range
  // saturate to its ends; NaN gives 0.
  void setDouble(double value);

  // The same value at another scale. When places are dropped, the first dropped digit
  // decides: above 5 rounds up, exactly 5 rounds to even, later digits are ignored, and a
  // negative value is truncated toward zero (scale 100 to 1: 2.50 gives 2, 3.50 gives 4,
  // 2.61 gives 3, -2.99 gives -2). Computed exactly; only the final mantissa wraps.
  Decimal rescaled(std::uint32_t newScale) const;

  // Sum and difference at the larger scale. Each operand is multiplied up by
  // larger / its own scale (integer division; an operand of scale 0 contributes nothing);
  // mantissas wrap.
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  // As a + b, except that an operand of scale 0 on the right changes nothing and a number
  // of scale 0 on the left becomes a copy of the right.
  Decimal& operator+=(const Decimal& other);

  // Price × quantity with the price's scale, rounded like rescaled() (12.35 × 0.333 = 4.11).
  // The product is formed exactly, so only a result beyond 64 bits wraps.
  friend Decimal operator*(const Decimal& price, const Decimal& quantity);

  // Tolerant equality: equal fields, or values whose doubles differ by at most the double
  // epsilon (2^-52). So 1.50 == 1.5 and 1.50 != 1.51. Beyond 2^53 units the doubles lose
  // the last places and distinct numbers can compare equal; use compare() for exactness.
  friend bool operator==(const Decimal& a, const Decimal& b);

  // Exact order of the values, compared at a common scale without doubles. Ordering
  // operators (<, <=, >, >=) use it; (a <=> b) == 0 is exact equality.
  friend std::strong_ordering compare(const Decimal& a, const Decimal& b);
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) { return compare(a, b); }

  // Text with `separator` between integer and fraction, and `group` (0 for none) between
  // groups of three integer digits: scale 100, mantissa 123456789 with ',' and ' ' gives
  // "1 234 567,89". Scales 0 and 1 print the bare mantissa. The fraction has exactly
  // digits() characters.
  std::string format(char separator, char group) const;
  // format('.', 0): "123.45", "-0.05", "1.500", "42".
  std::string toString() const;

  // Byte form inside a TLV item: one byte digits() (low 8 bits), then the mantissa as a
  // variable integer: its 8 little-endian two's-complement bytes without trailing zero
  // bytes, at least one. 123.45 is 02 39 30; a negative mantissa always takes 8 bytes.
  bytes::Bytes toTlvValue() const;
  // Reads the byte form; missing bytes read as zero and bytes after the ninth are ignored,
  // so this never fails. The first byte gives the places (setDigits), so a value announcing
  // more than nine places is not representable.
  static Decimal fromTlvValue(bytes::View value);

 private:
  std::uint32_t scale_ = kMoneyScale;
  std::int64_t mantissa_ = 0;
};
