#include "tools/host/session.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/sim/testing.h"

namespace {

using Show = host::Session::Show;

// A session whose line is never used: what report prints and how the exit status adds up.
class SessionReportTest : public ::testing::Test {
 protected:
  host::Session session(bool json) { return host::Session(line_, {.firstIdentifier = 1, .json = json}, out_, notes_); }

  host::HostPort line_{-1};
  std::ostringstream out_;
  std::ostringstream notes_;
};

TEST_F(SessionReportTest, Json_OneObjectPerReportWhateverItShows) {
  host::Session json = session(true);
  json.report("open", 21, {.code = 0, .identifier = 7, .data = {0xAB}}, {host::moneyField("total", 15100)},
              Show::kJsonOnly);
  json.report("finish", 22, {.code = 37, .identifier = 8, .data = {0x1A, 0x2B}});
  std::istringstream lines(out_.str());
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(nlohmann::json::parse(first),
            nlohmann::json::parse(R"({"request":"open","command":21,"code":0,"meaning":"success","identifier":7,
                                      "data":"AB","total":"151.00"})"));
  EXPECT_EQ(nlohmann::json::parse(second)["missing_tag"], 0x2B1A);
  EXPECT_EQ(notes_.str(), "");
  EXPECT_EQ(json.exitStatus(), host::kExitRefused);
}

TEST_F(SessionReportTest, Text_ShowsWhatItIsAsked) {
  host::Session text = session(false);
  const host::Fields fields{host::numberField("document", 3), {"json only", 1, ""}};
  text.report("open", 21, {.code = 0, .identifier = 7, .data = {}}, fields, Show::kLine);
  text.report("quiet", 7, {.code = 0, .identifier = 8, .data = {}}, fields, Show::kJsonOnly);
  text.report("fields", 1, {.code = 0, .identifier = 9, .data = {}}, fields, Show::kFields);
  text.report("whole", 22, {.code = 0, .identifier = 10, .data = {1, 2}}, {});
  EXPECT_EQ(out_.str(),
            "open: 0 (success)\n"
            "document        3\n"
            "document        3\n"
            "result          0 (success)\n"
            "identifier      0x0000000A\n"
            "data            01 02\n");
  EXPECT_EQ(text.exitStatus(), host::kExitSuccess);
  text.markFailed();
  EXPECT_EQ(text.exitStatus(), host::kExitNoReply);
}

TEST(Session, EveryRequestHasAFreshNonZeroIdentifier_AndAMissingReplyFails) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  std::ostringstream out, notes;
  host::Session session(board.host(), {.firstIdentifier = 0xFFFFFFFF}, out, notes);
  const auto first = session.transact(0x33);
  const auto second = session.transact(0x33);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->identifier, 0xFFFFFFFFu);
  EXPECT_EQ(second->identifier, 1u) << "0 would let the register pick";
  EXPECT_EQ(session.exitStatus(), host::kExitSuccess);

  board.board().stopService();
  host::Session lost(board.host(), {.timeout = std::chrono::milliseconds(100)}, out, notes);
  EXPECT_FALSE(lost.transact(0x33));
  EXPECT_EQ(lost.exitStatus(), host::kExitNoReply);
  EXPECT_NE(notes.str().find("no reply"), std::string::npos);
}

}  // namespace
