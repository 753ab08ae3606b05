#include "tools/gateway/request_store.h"

#include <gtest/gtest.h>

#include "platform/temporary_directory.h"

namespace {

using gateway::RequestState;

class RequestStoreTest : public ::testing::Test {
 protected:
  gateway::RequestStore open() {
    std::string problem;
    auto store = gateway::RequestStore::open((directory_.path() / "frgate.db").string(), problem);
    EXPECT_TRUE(store.has_value()) << problem;
    return std::move(*store);
  }
  static gateway::RequestRecord record(const std::string& key, const std::string& body = "{}") {
    return {.key = key, .path = "/v1/receipts", .body = body, .lastNumber = 7, .finishIdentifier = 42};
  }
  platform::TemporaryDirectory directory_;
};

TEST_F(RequestStoreTest, Records_SurviveReopeningAndAKeyIsTakenOnlyByAFailedOne) {
  constexpr std::int64_t kNow = 1'800'000'000;
  {
    auto store = open();
    ASSERT_TRUE(store.beginPending(record("done"), kNow));
    ASSERT_TRUE(store.saveOpenState("done", bytes::Bytes{3, 0, 1}, kNow));
    ASSERT_TRUE(store.beginPending(record("failed"), kNow + 1));
    ASSERT_TRUE(store.beginPending(record("pending"), kNow + 2));
    ASSERT_TRUE(store.finish("done", RequestState::kDone, 201, R"({"a":1})", 8, kNow + 3));
    ASSERT_TRUE(store.finish("failed", RequestState::kFailed, 409, "{}", std::nullopt, kNow + 3));
  }
  auto store = open();
  const auto done = store.find("done");
  ASSERT_TRUE(done.has_value());
  EXPECT_EQ(done->state, RequestState::kDone);
  EXPECT_EQ(done->status, 201);
  EXPECT_EQ(done->answer, R"({"a":1})");
  EXPECT_EQ(done->document, 8u);
  EXPECT_EQ(done->lastNumber, 7u);
  EXPECT_EQ(done->finishIdentifier, 42u);
  EXPECT_EQ(done->openState, (bytes::Bytes{3, 0, 1}));
  ASSERT_EQ(store.pending().size(), 1u);
  EXPECT_EQ(store.pending()[0].key, "pending");

  EXPECT_FALSE(store.beginPending(record("done", "{\"other\":1}"), kNow + 4)) << "a done key is spent";
  EXPECT_FALSE(store.beginPending(record("pending"), kNow + 4)) << "a pending key is being settled";
  EXPECT_TRUE(store.beginPending(record("failed", "{\"other\":1}"), kNow + 4)) << "a failed key is served anew";
  EXPECT_EQ(store.find("failed")->body, "{\"other\":1}");
  EXPECT_EQ(store.find("failed")->state, RequestState::kPending);

  const auto newest = store.newest(2);
  ASSERT_EQ(newest.size(), 2u);
  EXPECT_EQ(newest[0].key, "failed");
  EXPECT_EQ(newest[1].key, "pending");
}

TEST_F(RequestStoreTest, FinishedRecordsOlderThanThirtyDaysArePrunedPendingOnesKept) {
  constexpr std::int64_t kThen = 1'800'000'000;
  auto store = open();
  ASSERT_TRUE(store.beginPending(record("old"), kThen));
  ASSERT_TRUE(store.finish("old", RequestState::kDone, 201, "{}", 1, kThen));
  ASSERT_TRUE(store.beginPending(record("old-pending"), kThen));
  ASSERT_TRUE(store.beginPending(record("kept"), kThen + 1));
  const std::int64_t later = kThen + gateway::RequestStore::kKeptSeconds;
  ASSERT_TRUE(store.finish("kept", RequestState::kDone, 201, "{}", 2, later));
  EXPECT_TRUE(store.find("old").has_value()) << "exactly 30 days old: still kept";
  ASSERT_TRUE(store.finish("kept", RequestState::kDone, 201, "{}", 2, later + 1));
  EXPECT_FALSE(store.find("old").has_value());
  EXPECT_TRUE(store.find("old-pending").has_value()) << "a pending record waits to be settled";
  EXPECT_TRUE(store.find("kept").has_value());
}

}  // namespace
