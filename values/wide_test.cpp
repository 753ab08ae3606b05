#include "values/wide.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr wide::Int128 kMostNegative{0x8000000000000000ull, 0};
constexpr wide::Int128 kMostPositive{0x7fffffffffffffffull, 0xffffffffffffffffull};

::testing::AssertionResult same(const wide::Int128& actual, const wide::Int128& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << actual.high << ":" << actual.low << ", want "
                                       << expected.high << ":" << expected.low;
}

// Worked out by hand-checked big-integer arithmetic; both builds must give these bits.
TEST(Wide, KnownProductsAndQuotients_InBothBuilds) {
  struct Product {
    std::int64_t a, b;
    wide::Int128 expected;
  };
  for (const Product& c : std::vector<Product>{
           {kMin, kMin, {0x4000000000000000ull, 0}},
           {kMax, kMax, {0x3fffffffffffffffull, 1}},
           {kMin, kMax, {0xc000000000000000ull, 0x8000000000000000ull}},
           {-1, 1, {~0ull, ~0ull}},
           {0, kMin, {0, 0}},
           {0xffffffff, 0xffffffff, {0, 0xfffffffe00000001ull}},
           {-7, 3, {~0ull, 0xffffffffffffffebull}},
           {0x123456789abcdef, -0xfedcba987654321, {0xffede05ff528828bull, 0xdddc927701a9e731ull}},
       }) {
    EXPECT_TRUE(same(wide::portable::multiply(c.a, c.b), c.expected)) << c.a << " x " << c.b;
    EXPECT_TRUE(same(wide::multiply(c.a, c.b), c.expected)) << c.a << " x " << c.b;
  }

  struct Quotient {
    wide::Int128 numerator;
    std::uint32_t divisor;
    wide::Int128 quotient;
    std::int64_t remainder;
  };
  for (const Quotient& c : std::vector<Quotient>{
           {{0x4000000000000000ull, 0}, 10, {0x0666666666666666ull, 0x6666666666666666ull}, 4},
           {kMostNegative, 1, kMostNegative, 0},
           {kMostNegative, 0xffffffff, {0xffffffff7fffffffull, 0x7fffffff80000000ull}, -2147483648},
           {kMostPositive, 0xffffffff, {0x80000000ull, 0x8000000080000000ull}, 2147483647},
           {{~0ull, 0xffffffffffffffebull}, 4, {~0ull, 0xfffffffffffffffbull}, -1},  // -21 / 4
           {{0, 21}, 4, {0, 5}, 1},
           {{0xfffffff360d3632full, 0xb98b1215bffffff9ull}, 1000000000, {0xffffffffffffffc9ull, 0xca36523a21600000ull}, -7},
       }) {
    for (const wide::Division& result :
         {wide::portable::divide(c.numerator, c.divisor), wide::divide(c.numerator, c.divisor)}) {
      EXPECT_TRUE(same(result.quotient, c.quotient)) << c.divisor;
      EXPECT_EQ(result.remainder, c.remainder) << c.divisor;
    }
  }
}

TEST(Wide, Order_IsSignedAndWrappedIsTheLowWord) {
  const wide::Int128 zero{}, lowWordFull{0, ~0ull}, twoToThe64{1, 0};
  EXPECT_LT(zero, lowWordFull);
  EXPECT_LT(lowWordFull, twoToThe64);
  EXPECT_LT(kMostNegative, zero);
  EXPECT_LT(wide::multiply(-1, 1), zero);
  EXPECT_EQ(wide::wrapped(wide::multiply(kMax, 4)), -4);
  EXPECT_EQ(wide::wrapped(wide::multiply(-21, 1)), -21);
}

#if defined(FRCORE_NATIVE_INT128)
// The portable build against the compiler's 128-bit type on edge and random operands.
TEST(Wide, PortableBuild_AgreesWithNative) {
  const std::vector<std::int64_t> edges{0,          1,           -1,         2,          kMax,       kMin,
                                        kMax - 1,   kMin + 1,    0xffffffff, 0x100000000, -0xffffffffll,
                                        -0x100000000, 0x7fffffff, -0x80000000ll};
  const std::vector<std::uint32_t> divisors{1, 2, 3, 10, 100, 1000000000, 0x7fffffff, 0x80000000, 0xffffffff};
  std::mt19937_64 random(2038);
  std::vector<std::int64_t> operands = edges;
  for (int i = 0; i < 2000; ++i) {
    // Random bit lengths, so that small and full-width operands both occur.
    operands.push_back(static_cast<std::int64_t>(random() >> (random() % 64)) * (random() % 2 ? 1 : -1));
  }
  for (std::size_t i = 0; i < operands.size(); ++i) {
    const std::int64_t a = operands[i];
    const std::int64_t b = operands[(i * 7 + 3) % operands.size()];
    for (const std::int64_t other : {b, edges[i % edges.size()]}) {
      const wide::Int128 product = wide::native::multiply(a, other);
      ASSERT_TRUE(same(wide::portable::multiply(a, other), product)) << a << " x " << other;

      const std::uint32_t divisor = i % 2 ? divisors[i % divisors.size()] : static_cast<std::uint32_t>(random() | 1);
      const wide::Int128 fullWidth{random(), random()};
      for (const wide::Int128& numerator : {product, fullWidth, kMostNegative, kMostPositive}) {
        const wide::Division expected = wide::native::divide(numerator, divisor);
        const wide::Division actual = wide::portable::divide(numerator, divisor);
        ASSERT_TRUE(same(actual.quotient, expected.quotient)) << std::hex << numerator.high << ":" << numerator.low << " / " << divisor;
        ASSERT_EQ(actual.remainder, expected.remainder);
      }
    }
  }
}
#endif

}  // namespace
