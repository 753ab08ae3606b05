#include "tools/host/result_codes.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

#include "core/state/result_code.h"

namespace {

// Every code the register names has a text of its own, and a code it does not name has none:
// a code added to the register without its meaning fails here.
TEST(ResultMeaning, EveryNamedCodeHasItsOwnMeaningAndNoOtherCodeHasOne) {
  const std::set<int> named(std::begin(result::kAllCodes), std::end(result::kAllCodes));
  std::set<std::string> meanings;
  for (int code = 0; code <= 255; ++code) {
    const std::string meaning = host::resultMeaning(static_cast<std::uint8_t>(code));
    if (!named.contains(code)) {
      EXPECT_EQ(meaning, "unknown code") << "a meaning for the unnamed code " << code;
      continue;
    }
    EXPECT_NE(meaning, "unknown code") << "no meaning for code " << code;
    EXPECT_TRUE(meanings.insert(meaning).second) << "code " << code << " shares its meaning: " << meaning;
  }
}

}  // namespace
