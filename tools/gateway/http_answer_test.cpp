#include "tools/gateway/http_answer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tools/host/result_codes.h"

namespace {

// The HTTP status of each result code the register sends, by the class of its cause.
struct CodeClass {
  int status;
  std::vector<int> codes;
};
const CodeClass kClasses[] = {
    {400, {7, 19, 20, 22, 30, 34, 35, 36, 37, 39, 41, 42, 43, 44, 45, 46, 47, 48}},  // bad content
    {403, {16, 18}},                                                                 // the cashier may not
    {404, {17}},                                                                     // no such record
    {409, {23, 24, 26, 27, 28, 29, 31, 33, 38, 40, 50, 51, 52}},                     // not in this state
    {503, {3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 15, 21, 25, 32, 53, 54, 254, 255}},     // cannot serve
};

TEST(HttpAnswer, EveryCodeTheRegisterSendsHasTheStatusOfItsClass) {
  std::set<int> classified;
  for (const CodeClass& entry : kClasses) {
    for (const int code : entry.codes) {
      EXPECT_EQ(gateway::statusForCode(code), entry.status) << "code " << code;
      classified.insert(code);
    }
  }
  // Every code with a meaning is in one class, and only those.
  for (int code = 1; code <= 255; ++code) {
    const bool known = std::string(host::resultMeaning(static_cast<std::uint8_t>(code))) != "unknown code";
    EXPECT_EQ(known || code >= 254, classified.contains(code)) << "code " << code;
  }
}

TEST(HttpAnswer, ErrorsTellCodeMeaningAndMessage) {
  const auto missing = gateway::registerRefusal(37, "the finish", bytes::Bytes{0x0A, 0x04});
  EXPECT_EQ(missing.status, 400);
  EXPECT_EQ(missing.body["error"]["code"], 37);
  EXPECT_EQ(missing.body["error"]["meaning"], host::resultMeaning(37));
  EXPECT_NE(missing.body["error"]["message"].get<std::string>().find("tag 1034"), std::string::npos)
      << missing.body.dump();

  struct Own {
    gateway::Answer answer;
    int status;
  };
  const Own own[] = {{gateway::refusal(422, "reused"), 422}, {gateway::noReply("silent"), 503}};
  for (const Own& o : own) {
    EXPECT_EQ(o.answer.status, o.status);
    EXPECT_EQ(o.answer.body["error"]["code"], nullptr) << "the gateway's own refusal has no register code";
    EXPECT_TRUE(o.answer.body["error"]["meaning"].is_string());
    EXPECT_TRUE(o.answer.body["error"]["message"].is_string());
  }
}

}  // namespace
