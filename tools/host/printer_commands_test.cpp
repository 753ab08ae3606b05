#include "tools/host/printer_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "values/cp866.h"

namespace {

using bytes::Bytes;

std::optional<Bytes> payloadFor(std::vector<std::string_view> arguments) { return host::printTextPayload(arguments); }

Bytes withText(Bytes header, std::string_view cp866Text) {
  header.insert(header.end(), cp866Text.begin(), cp866Text.end());
  return header;
}

TEST(PrintTextPayload, TextAlone_IsLeftOrdinaryFontNoStyle) {
  EXPECT_EQ(payloadFor({"hello"}), withText({0, 0, 1, 0}, "hello"));
}

TEST(PrintTextPayload, EveryOption_SetsItsFieldOrBit) {
  EXPECT_EQ(payloadFor({"--center", "--bold", "--reverse", "--double", "--cut", "--font", "3", "--spacing", "5", "Итог"}),
            withText({5, 1, 3, 0x1D}, "Итог"_cp866));
  EXPECT_EQ(payloadFor({"--right", "x"}), withText({0, 2, 1, 0}, "x"));
  // The last alignment given counts.
  EXPECT_EQ(payloadFor({"--right", "--center", "x"}), withText({0, 1, 1, 0}, "x"));
  EXPECT_EQ(payloadFor({"--font", "0", "--spacing", "0", "x"}), withText({0, 0, 0, 0}, "x"));
}

TEST(PrintTextPayload, Words_AreJoinedAndConvertedToCp866) {
  EXPECT_EQ(payloadFor({"Сумма", "12.00", "€"}), withText({0, 0, 1, 0}, "Сумма 12.00 ?"_cp866));
  // After -- every word is text, even one that looks like an option.
  EXPECT_EQ(payloadFor({"--bold", "--", "--cut"}), withText({0, 0, 1, 1}, "--cut"));
  EXPECT_EQ(payloadFor({""}), (Bytes{0, 0, 1, 0}));
}

TEST(PrintTextPayload, BadArguments_GiveNothing) {
  for (const std::vector<std::string_view>& arguments : std::vector<std::vector<std::string_view>>{
           {},
           {"--bold"},
           {"--"},
           {"--italic", "x"},
           {"--font", "4", "x"},
           {"--spacing", "6", "x"},
           {"--spacing", "-1", "x"},
           {"--font", "one", "x"},
           {"--font"},
       }) {
    EXPECT_FALSE(payloadFor(arguments)) << (arguments.empty() ? "" : arguments[0]);
  }
}

}  // namespace
