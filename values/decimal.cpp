#include "values/decimal.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "values/tlv.h"
#include "values/wide.h"

namespace {

// The divisor that gives a number its value: its scale, or 1 for a number without scale.
std::uint32_t valueScale(std::uint32_t scale) { return scale == 0 ? 1 : scale; }

// numerator / denominator (denominator > 0) reduced to an integer by the first dropped
// digit: above 5 rounds up, exactly 5 rounds to even, later digits are ignored. A negative
// quotient leaves a remainder that is not positive, so it is truncated toward zero. The
// result wraps to 64 bits.
std::int64_t roundedQuotient(wide::Int128 numerator, std::uint32_t denominator) {
  const wide::Division division = wide::divide(numerator, denominator);
  const auto quotient = static_cast<std::uint64_t>(wide::wrapped(division.quotient));
  // |remainder| < denominator < 2^32, so ten times it fits in 64 bits.
  const std::int64_t firstDropped = division.remainder * 10 / denominator;
  const bool roundUp = firstDropped > 5 || (firstDropped == 5 && quotient % 2 != 0);
  return static_cast<std::int64_t>(roundUp ? quotient + 1 : quotient);
}

Decimal sumOrDifference(const Decimal& a, const Decimal& b, bool subtract) {
  const auto combine = [subtract](std::uint64_t left, std::uint64_t right) {
    return static_cast<std::int64_t>(subtract ? left - right : left + right);
  };
  const auto bits = [](std::int64_t mantissa) { return static_cast<std::uint64_t>(mantissa); };
  if (a.scale() == b.scale()) return Decimal(a.scale(), combine(bits(a.mantissa()), bits(b.mantissa())));

  const std::uint32_t larger = std::max(a.scale(), b.scale());
  const auto factor = [larger](std::uint32_t scale) -> std::uint64_t { return scale == 0 ? 0 : larger / scale; };
  return Decimal(larger, combine(bits(a.mantissa()) * factor(a.scale()), bits(b.mantissa()) * factor(b.scale())));
}

}  // namespace

Decimal::Decimal(std::uint32_t scale, double value) : scale_(scale) { setDouble(value); }

int Decimal::digits() const {
  int places = 0;
  for (std::uint32_t rest = scale_; rest > 1; rest /= 10) ++places;
  return places;
}

void Decimal::setDigits(int places) {
  if (places < 0) return;
  std::uint32_t scale = 1;
  // Once the power has wrapped to 0 it stays 0, so the loop may stop there.
  for (int i = 0; i < places && scale != 0; ++i) scale *= 10;
  scale_ = scale;
}

bool Decimal::isRepresentable() const {
  std::uint32_t power = 1;
  for (int places = 0; places <= kMaxDigits; ++places, power *= 10) {
    if (scale_ == power) return true;
  }
  return false;
}

double Decimal::toDouble() const {
  const auto value = static_cast<double>(mantissa_);
  return scale_ == 0 ? value : value / scale_;
}

void Decimal::setDouble(double value) {
  // The mantissa as a double, and the same pre-rounded to one decimal place.
  const double scaled = static_cast<double>(scale_) * value;
  const double preRounded = std::round(10 * scaled) / 10;
  constexpr double kTwoToThe63 = 0x1p63;
  if (std::isnan(preRounded)) {
    mantissa_ = 0;
  } else if (preRounded >= kTwoToThe63) {
    mantissa_ = std::numeric_limits<std::int64_t>::max();
  } else if (preRounded < -kTwoToThe63) {
    mantissa_ = std::numeric_limits<std::int64_t>::min();
  } else {
    // Below 2^63 a double is at most 2^63 - 1024, so kept + 1 cannot overflow.
    const auto kept = static_cast<std::int64_t>(preRounded);
    const double firstDropped = std::round(10 * (scaled - static_cast<double>(kept)));
    mantissa_ = firstDropped > 5 || (firstDropped == 5 && kept % 2 != 0) ? kept + 1 : kept;
  }
}

Decimal Decimal::rescaled(std::uint32_t newScale) const {
  if (newScale == scale_) return *this;
  const wide::Int128 numerator = wide::multiply(mantissa_, valueScale(newScale));
  return Decimal(newScale, roundedQuotient(numerator, valueScale(scale_)));
}

Decimal operator+(const Decimal& a, const Decimal& b) { return sumOrDifference(a, b, false); }

Decimal operator-(const Decimal& a, const Decimal& b) { return sumOrDifference(a, b, true); }

Decimal& Decimal::operator+=(const Decimal& other) {
  if (other.scale_ == 0) return *this;
  *this = scale_ == 0 ? other : *this + other;
  return *this;
}

Decimal operator*(const Decimal& price, const Decimal& quantity) {
  // The product has scale price.scale × quantity.scale; brought back to the price's scale
  // that is the exact product of the mantissas divided by the quantity's scale.
  const wide::Int128 product = wide::multiply(price.mantissa_, quantity.mantissa_);
  return Decimal(price.scale_, roundedQuotient(product, valueScale(quantity.scale_)));
}

bool operator==(const Decimal& a, const Decimal& b) {
  if (a.scale_ == b.scale_ && a.mantissa_ == b.mantissa_) return true;
  return std::fabs(a.toDouble() - b.toDouble()) <= std::numeric_limits<double>::epsilon();
}

std::strong_ordering compare(const Decimal& a, const Decimal& b) {
  // a.m / a.s against b.m / b.s, both multiplied by a.s × b.s (at most 2^95 in magnitude).
  const wide::Int128 left = wide::multiply(a.mantissa_, valueScale(b.scale_));
  const wide::Int128 right = wide::multiply(b.mantissa_, valueScale(a.scale_));
  return left <=> right;
}

std::string Decimal::format(char separator, char group) const {
  if (scale_ <= 1) return std::to_string(mantissa_);

  const bool negative = mantissa_ < 0;
  // |mantissa| in unsigned arithmetic, where the most negative mantissa has its magnitude.
  const auto bits = static_cast<std::uint64_t>(mantissa_);
  const std::uint64_t magnitude = negative ? 0 - bits : bits;

  std::string integer = std::to_string(magnitude / scale_);
  if (group != 0) {
    for (std::size_t end = integer.size(); end > 3; end -= 3) integer.insert(end - 3, 1, group);
  }
  const auto places = static_cast<std::size_t>(digits());
  std::string fraction = std::to_string(magnitude % scale_);
  if (fraction.size() < places) {
    fraction.insert(0, places - fraction.size(), '0');
  } else {
    fraction.resize(places);  // only a scale that is not a power of ten leaves longer text
  }
  return (negative ? "-" : "") + integer + separator + fraction;
}

std::string Decimal::toString() const { return format('.', 0); }

bytes::Bytes Decimal::toTlvValue() const {
  bytes::Bytes value{static_cast<std::uint8_t>(digits())};
  bytes::appendBytes(value, encodeVarInt(static_cast<std::uint64_t>(mantissa_)));
  return value;
}

Decimal Decimal::fromTlvValue(bytes::View value) {
  Decimal number(1, 0);
  if (value.empty()) return number;
  number.setDigits(value.front());
  number.mantissa_ = static_cast<std::int64_t>(decodeVarInt(value.subspan(1)));
  return number;
}
