#include "values/cp866.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace {

TEST(Cp866, Literal_ConvertsWhileCompiling) {
  constexpr std::string_view name = "ТЕРНА-1-К"_cp866;
  static_assert(name.size() == 9);
  EXPECT_EQ(name, "\x92\x85\x90\x8D\x80-1-\x8A");
  EXPECT_EQ("ЗН №ё"_cp866, "\x87\x8D \xFC\xF1");
}

// Every byte of the upper half against the system's own converter.
TEST(Cp866, Table_AgreesWithIconv) {
  iconv_t converter = iconv_open("UTF-8", "CP866");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1));
  for (int byte = 0; byte < 256; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft), static_cast<std::size_t>(-1));
    const std::string expected(out, sizeof out - outLeft);
    EXPECT_EQ(cp866::toUtf8(std::string(1, in[0])), expected) << "byte " << byte;
    EXPECT_EQ(cp866::fromUtf8(expected), std::string(1, in[0])) << "byte " << byte;
  }
  iconv_close(converter);
}

TEST(Cp866, FromUtf8_CharacterOutsideTheSetBecomesQuestionMark) {
  EXPECT_EQ(cp866::fromUtf8("a€b"), "a?b");
  EXPECT_EQ(cp866::fromUtf8("\xD0"), "?");  // a lead byte cut short
}

}  // namespace
