#include "values/decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::uint32_t powerOfTen(int places) {
  std::uint32_t power = 1;
  for (int i = 0; i < places; ++i) power *= 10;
  return power;
}

#if defined(__SIZEOF_INT128__)
// The exact oracle below uses the compiler's 128-bit type; on a machine without one the
// digest test pins the same results.
__extension__ typedef __int128 Int128;

Int128 wideTen(int places) {
  Int128 power = 1;
  for (int i = 0; i < places; ++i) power *= 10;
  return power;
}

// Drops `places` decimal digits from `value` the way money is rounded, worked on digits:
// a positive value goes up when the first dropped digit is above 5, or is 5 and the kept
// part is odd; a negative value is truncated toward zero.
Int128 dropDigits(Int128 value, int places) {
  if (places == 0) return value;
  if (value < 0) return -(-value / wideTen(places));
  const Int128 kept = value / wideTen(places);
  const auto firstDropped = static_cast<int>(value / wideTen(places - 1) % 10);
  return kept + (firstDropped > 5 || (firstDropped == 5 && kept % 2 == 1) ? 1 : 0);
}
#endif

// A representable number whose mantissa has a random count of digits, so that both small
// and full-range mantissas occur.
Decimal randomDecimal(std::mt19937_64& random) {
  const int places = static_cast<int>(random() % (Decimal::kMaxDigits + 1));
  const auto bits = static_cast<std::int64_t>(random());
  const int mantissaDigits = static_cast<int>(random() % 20);
  if (mantissaDigits >= 19) return Decimal(powerOfTen(places), bits);
  std::int64_t modulus = 1;
  for (int i = 0; i < mantissaDigits; ++i) modulus *= 10;
  return Decimal(powerOfTen(places), bits % modulus);
}

TEST(Decimal, Default_IsZeroMoney) {
  const Decimal zero;
  EXPECT_EQ(zero.scale(), 100u);
  EXPECT_EQ(zero.mantissa(), 0);
  EXPECT_EQ(zero.toString(), "0.00");
  EXPECT_EQ(Decimal(1, 0).toString(), "0");
}

TEST(Decimal, Digits_CountPlacesAndOnlyPowersUpToNineAreRepresentable) {
  EXPECT_EQ(Decimal(100).digits(), 2);
  EXPECT_EQ(Decimal(1).digits(), 0);
  EXPECT_EQ(Decimal(0).digits(), 0);

  Decimal number(100, 1234);
  number.setDigits(3);
  EXPECT_EQ(number.scale(), 1000u);
  EXPECT_EQ(number.mantissa(), 1234);
  number.setDigits(-1);
  EXPECT_EQ(number.scale(), 1000u);

  for (int places = 0; places <= Decimal::kMaxDigits; ++places) {
    number.setDigits(places);
    EXPECT_TRUE(number.isRepresentable()) << places;
  }
  number.setDigits(10);  // 10^10 wraps in 32 bits
  EXPECT_FALSE(number.isRepresentable());
  number.setDigits(INT_MAX);  // wraps to 0 and stays there
  EXPECT_EQ(number.scale(), 0u);
  EXPECT_FALSE(number.isRepresentable());
  EXPECT_FALSE(Decimal(20).isRepresentable());
}

TEST(Decimal, SetDouble_PreRoundsThenRoundsHalfToEvenAndTruncatesNegatives) {
  struct Case {
    std::uint32_t scale;
    double value;
    std::int64_t mantissa;
  };
  const Case cases[] = {
      {100, 1.005, 100}, {100, 1.015, 102}, {100, 0.125, 12}, {100, 0.135, 14},
      {1, 2.96, 3},      {1, 3.46, 4},      {1, 2.46, 2},      {1, -2.94, -2},
      {1, -2.96, -3},    {1, 2.5, 2},       {1, 3.5, 4},       {0, 123.0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decimal(c.scale, c.value).mantissa(), c.mantissa) << c.value << " at scale " << c.scale;
  }
  EXPECT_EQ(Decimal(100, 1.005).toString(), "1.00");
}

TEST(Decimal, SetDouble_OutsideRange_SaturatesAndNanGivesZero) {
  EXPECT_EQ(Decimal(100, 1e300).mantissa(), kMax);
  EXPECT_EQ(Decimal(100, 1e17).mantissa(), kMax);
  EXPECT_EQ(Decimal(1, -1e300).mantissa(), kMin);
  EXPECT_EQ(Decimal(1, std::numeric_limits<double>::infinity()).mantissa(), kMax);
  EXPECT_EQ(Decimal(1, -std::numeric_limits<double>::infinity()).mantissa(), kMin);
  EXPECT_EQ(Decimal(1, std::nan("")).mantissa(), 0);
  EXPECT_EQ(Decimal(1, -0x1p63).mantissa(), kMin);
}

TEST(Decimal, Rescaled_FirstDroppedDigitDecides) {
  struct Case {
    std::int64_t cents;
    std::int64_t units;
  };
  const Case toUnits[] = {{250, 2}, {350, 4}, {251, 2}, {261, 3}, {-251, -2}, {-299, -2}, {-350, -3}};
  for (const Case& c : toUnits) {
    const Decimal units = Decimal(100, c.cents).rescaled(1);
    EXPECT_EQ(units.scale(), 1u);
    EXPECT_EQ(units.mantissa(), c.units) << c.cents;
  }
  EXPECT_EQ(Decimal(10, 25).rescaled(1000).mantissa(), 2500);
  EXPECT_EQ(Decimal(1000, 2459).rescaled(10).mantissa(), 24);  // 2.459: only the 5 counts
}

TEST(Decimal, Rescaled_UnusualScales_StayTotal) {
  EXPECT_EQ(Decimal(0, 7).rescaled(100).mantissa(), 700);
  EXPECT_EQ(Decimal(100, 250).rescaled(0).mantissa(), 2);
  EXPECT_EQ(Decimal(15, 14).rescaled(2).mantissa(), 2);  // 14/15 × 2 = 1.86: the 8 rounds up
  // A mantissa that overflows only on the way still gives the exact result.
  EXPECT_EQ(Decimal(100000000, kMax / 10).rescaled(1000000000).mantissa(), kMax / 10 * 10);
}

TEST(Decimal, AddSubtract_TakeLargerScaleAndIgnoreScaleZero) {
  const Decimal oneAndHalf(10, 15);
  const Decimal twoAndQuarter(100, 225);
  const Decimal sum = oneAndHalf + twoAndQuarter;
  EXPECT_EQ(sum.scale(), 100u);
  EXPECT_EQ(sum.mantissa(), 375);
  EXPECT_EQ((oneAndHalf - twoAndQuarter).toString(), "-0.75");
  EXPECT_EQ((twoAndQuarter + Decimal(0, 5)).mantissa(), 225);
  EXPECT_EQ((Decimal(1, kMax) + Decimal(1, 1)).mantissa(), kMin);  // wraps, defined
  EXPECT_EQ((Decimal(1, kMin) - Decimal(1, 1)).mantissa(), kMax);
}

TEST(Decimal, PlusAssign_ScaleZeroOnEitherSide) {
  Decimal unscaled(0, 99);
  unscaled += Decimal(1000, 1500);
  EXPECT_EQ(unscaled.scale(), 1000u);
  EXPECT_EQ(unscaled.mantissa(), 1500);

  Decimal money(100, 300);
  money += Decimal(0, 7);
  EXPECT_EQ(money.mantissa(), 300);
  money += Decimal(10, 5);
  EXPECT_EQ(money.mantissa(), 350);
}

TEST(Decimal, Product_HasPriceScaleAndRoundsLikeRescaled) {
  const Decimal cost = Decimal(100, 1235) * Decimal(1000, 333);
  EXPECT_EQ(cost.scale(), 100u);
  EXPECT_EQ(cost.toString(), "4.11");
  EXPECT_EQ((Decimal(100, 5) * Decimal(10, 5)).mantissa(), 2);   // 0.025 halves to even
  EXPECT_EQ((Decimal(100, 15) * Decimal(10, 5)).mantissa(), 8);  // 0.075 halves to even
  EXPECT_EQ((Decimal(100, -15) * Decimal(10, 5)).mantissa(), -7);
  EXPECT_EQ((Decimal(100, 4550) * Decimal(0, 2)).mantissa(), 9100);
  // 10^11 overflows the 32-bit intermediate scale; the product is still exact.
  EXPECT_EQ((Decimal(100, 200) * Decimal(1000000000, 1500000000)).toString(), "3.00");
}

TEST(Decimal, Equality_ToleratesScaleButOrderingIsExact) {
  EXPECT_TRUE(Decimal(100, 150) == Decimal(10, 15));
  EXPECT_FALSE(Decimal(100, 150) == Decimal(100, 151));

  EXPECT_EQ(compare(Decimal(100, 150), Decimal(10, 15)), std::strong_ordering::equal);
  EXPECT_LT(Decimal(10, 15), Decimal(100, 151));
  EXPECT_LT(Decimal(100, -1), Decimal());
  EXPECT_GT(Decimal(1000000000, kMax), Decimal(1, 9223372036));
  EXPECT_EQ(compare(Decimal(0, 3), Decimal(1, 3)), std::strong_ordering::equal);
  // Doubles cannot tell these apart; the ordering can.
  EXPECT_TRUE(Decimal(1, kMax) == Decimal(1, kMax - 1));
  EXPECT_GT(Decimal(1, kMax), Decimal(1, kMax - 1));
}

TEST(Decimal, Format_TextFormsAndGrouping) {
  EXPECT_EQ(Decimal(100, 12345).toString(), "123.45");
  EXPECT_EQ(Decimal(100, -5).toString(), "-0.05");
  EXPECT_EQ(Decimal(100, 100000).toString(), "1000.00");
  EXPECT_EQ(Decimal(1000, 1500).toString(), "1.500");
  EXPECT_EQ(Decimal(1, 42).toString(), "42");
  EXPECT_EQ(Decimal(0, -42).toString(), "-42");
  EXPECT_EQ(Decimal(100, 123456789).format('.', ' '), "1 234 567.89");
  EXPECT_EQ(Decimal(100, 12300).format(',', ' '), "123,00");
  EXPECT_EQ(Decimal(100, -123456).format('.', ' '), "-1 234.56");
  EXPECT_EQ(Decimal(100, kMin).toString(), "-92233720368547758.08");
  EXPECT_EQ(Decimal(15, 29).toString(), "1.1");  // fraction 14 cut to one place
}

TEST(Decimal, ByteForm_Examples) {
  EXPECT_EQ(Decimal(100, 12345).toTlvValue(), (bytes::Bytes{0x02, 0x39, 0x30}));
  EXPECT_EQ(Decimal(100, 0).toTlvValue(), (bytes::Bytes{0x02, 0x00}));
  EXPECT_EQ(Decimal(1, 5).toTlvValue(), (bytes::Bytes{0x00, 0x05}));
  EXPECT_EQ(Decimal(1000, 1500).toTlvValue(), (bytes::Bytes{0x03, 0xDC, 0x05}));
  EXPECT_EQ(Decimal(100, -1).toTlvValue(), (bytes::Bytes{0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

  EXPECT_EQ(Decimal::fromTlvValue(bytes::Bytes{0x02}).toString(), "0.00");
  EXPECT_EQ(Decimal::fromTlvValue(bytes::Bytes{0x02, 0x39, 0x30}).toString(), "123.45");
  const Decimal empty = Decimal::fromTlvValue({});
  EXPECT_EQ(empty.scale(), 1u);
  EXPECT_EQ(empty.mantissa(), 0);
  // A short mantissa is zero-extended, never sign-extended; a tenth byte is ignored.
  EXPECT_EQ(Decimal::fromTlvValue(bytes::Bytes{0x00, 0xFF}).mantissa(), 255);
  EXPECT_EQ(Decimal::fromTlvValue(bytes::Bytes{0x00, 1, 0, 0, 0, 0, 0, 0, 0, 7}).mantissa(), 1);
}

TEST(Decimal, ByteForm_TooManyPlaces_NotRepresentableYetEveryOperationTotal) {
  for (std::uint8_t places : {std::uint8_t{10}, std::uint8_t{31}, std::uint8_t{32}, std::uint8_t{255}}) {
    const Decimal odd = Decimal::fromTlvValue(bytes::Bytes{places, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88});
    EXPECT_FALSE(odd.isRepresentable()) << int{places};
    const Decimal money(100, 12345);
    Decimal sum = money;
    sum += odd;
    const Decimal results[] = {odd + money,       money - odd,  odd * money, money * odd,
                               odd.rescaled(100), money.rescaled(odd.scale()), sum};
    for (const Decimal& result : results) EXPECT_FALSE(result.format(',', ' ').empty());
    EXPECT_FALSE(odd == money);
    EXPECT_TRUE(std::isfinite(odd.toDouble()));
  }
}

TEST(DecimalProperty, ByteForm_RandomValuesRoundTrip) {
  std::mt19937_64 random(20240501);
  for (int i = 0; i < 20000; ++i) {
    const Decimal number = randomDecimal(random);
    const bytes::Bytes value = number.toTlvValue();
    ASSERT_LE(value.size(), 9u);
    const Decimal back = Decimal::fromTlvValue(value);
    ASSERT_EQ(back.scale(), number.scale()) << number.toString();
    ASSERT_EQ(back.mantissa(), number.mantissa()) << number.toString();
  }
}

#if defined(__SIZEOF_INT128__)
TEST(DecimalProperty, RescaledAndProduct_AgreeWithExactArithmetic) {
  std::mt19937_64 random(77);
  for (int i = 0; i < 20000; ++i) {
    const Decimal number = randomDecimal(random);
    const Decimal other = randomDecimal(random);
    const int places = number.digits();
    const int targetPlaces = other.digits();

    const Int128 exactRescaled = targetPlaces >= places
                                     ? Int128{number.mantissa()} * wideTen(targetPlaces - places)
                                     : dropDigits(number.mantissa(), places - targetPlaces);
    const Decimal rescaled = number.rescaled(other.scale());
    ASSERT_EQ(rescaled.scale(), other.scale());
    ASSERT_EQ(rescaled.mantissa(), static_cast<std::int64_t>(exactRescaled))
        << number.toString() << " to " << targetPlaces << " places";

    const Decimal product = number * other;
    ASSERT_EQ(product.scale(), number.scale());
    ASSERT_EQ(product.mantissa(),
              static_cast<std::int64_t>(dropDigits(Int128{number.mantissa()} * other.mantissa(), targetPlaces)))
        << number.toString() << " x " << other.toString();
  }
}
#endif

// Every machine must compute the same money: a digest of many random rescalings, products
// and comparisons against the value the x86-64 build gives (the random engine is the same
// everywhere).
TEST(DecimalProperty, ResultsDigest_IsTheSameOnEveryMachine) {
  std::mt19937_64 random(1234);
  std::uint64_t digest = 0xcbf29ce484222325u;  // 64-bit FNV-1a over the result words
  const auto mix = [&digest](std::int64_t word) {
    for (int shift = 0; shift < 64; shift += 8) {
      digest = (digest ^ ((static_cast<std::uint64_t>(word) >> shift) & 0xff)) * 0x100000001b3u;
    }
  };
  for (int i = 0; i < 20000; ++i) {
    const Decimal number = randomDecimal(random);
    const Decimal other = randomDecimal(random);
    mix(number.rescaled(other.scale()).mantissa());
    mix((number * other).mantissa());
    const std::strong_ordering order = compare(number, other);
    mix(order < 0 ? -1 : order > 0 ? 1 : 0);
  }
  EXPECT_EQ(digest, 3014712050679671569u);
}

TEST(DecimalProperty, Ordering_AgreesWithSignOfDifference) {
  std::mt19937_64 random(5);
  for (int i = 0; i < 20000; ++i) {
    // Mantissas below 10^9 keep the difference at the larger scale inside 64 bits.
    const Decimal a(powerOfTen(static_cast<int>(random() % 10)), static_cast<std::int64_t>(random() % 2000000000) - 1000000000);
    const Decimal b(powerOfTen(static_cast<int>(random() % 10)), static_cast<std::int64_t>(random() % 2000000000) - 1000000000);
    ASSERT_EQ(compare(a, b), (a - b).mantissa() <=> 0) << a.toString() << " vs " << b.toString();
  }
}

}  // namespace
