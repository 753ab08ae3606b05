// Exactly once when replies are lost: frgate on a simulated board whose host line loses the
// frames a test chooses, whose service restarts, and frgate itself killed and started again on
// the same database.
#include <signal.h>

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>

#include "tools/gateway/gateway_testing.h"

namespace {

using nlohmann::json;
using gateway::testing::bodyOf;

constexpr std::uint8_t kReceiptFinish = 22;
const json kSale = {{"items", {{{"name", "Хлеб"}, {"price", "10.00"}}}}, {"payment", {{"cash", "20.00"}}}};

class GatewayFaults : public ::testing::Test {
 protected:
  void start() {
    frgate_.emplace(board_.port(), board_.root() / "frgate.db", std::vector<std::string>{"--timeout", "2000"});
  }
  httplib::Result sell(const std::string& key) {
    return frgate_->client().Post("/v1/receipts", {{"Idempotency-Key", key}}, kSale.dump(), "application/json");
  }
  json status() { return bodyOf(frgate_->client().Get("/v1/status")); }
  std::uint32_t lastNumber() { return status()["last_document"]["number"]; }
  std::size_t cancellations() const {
    std::size_t count = 0;
    for (const std::string& line : board_.paper()) count += line.find("ДОКУМЕНТ ОТМЕНЕН") != std::string::npos;
    return count;
  }

  gateway::testing::RegisterBoard board_;
  std::optional<gateway::testing::GatewayProcess> frgate_;
};

TEST_F(GatewayFaults, FinishReplyLost_AnsweredWithTheRegistersNumberAndSign) {
  start();
  const std::uint32_t before = lastNumber();
  board_.faults().dropReplyTo(kReceiptFinish);
  const auto answer = sell("lost-reply");
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 201) << answer->body;
  const json made = bodyOf(answer);
  EXPECT_EQ(made["settled"], true);
  EXPECT_EQ(made["document"]["number"], before + 1);
  EXPECT_TRUE(made["document"]["fiscal_sign"].is_number_integer()) << "the re-sent reply carries the sign";
  EXPECT_EQ(made["total"], "10.00");
  EXPECT_EQ(made["change"], "10.00");
  EXPECT_EQ(board_.faults().dropped(), 1u);
  EXPECT_EQ(sell("lost-reply")->body, answer->body);
  EXPECT_EQ(lastNumber(), before + 1);
}

TEST_F(GatewayFaults, RegisterRestartedRightAfterItStored_SettledFromItsState) {
  start();
  const std::uint32_t before = lastNumber();
  std::promise<void> stored;
  board_.faults().dropReplyTo(kReceiptFinish, [&] {
    board_.board().stopService();
    stored.set_value();
  });
  auto answer = std::async(std::launch::async, [&] { return sell("restarted"); });
  stored.get_future().wait();
  board_.board().startService();  // from the thread the board belongs to
  const auto result = answer.get();
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 201) << result->body;
  const json made = bodyOf(result);
  EXPECT_EQ(made["settled"], true);
  EXPECT_EQ(made["document"]["number"], before + 1);
  EXPECT_EQ(made["document"]["fiscal_sign"], nullptr) << "the restarted register no longer holds its reply";
  EXPECT_EQ(made["total"], "10.00") << "read from the open receipt before the finish";
  EXPECT_EQ(made["change"], "10.00");
  EXPECT_EQ(made["receipt"], 1);
}

TEST_F(GatewayFaults, FinishThatNeverArrived_RetryMakesOneReceiptAndLeavesNoneOpen) {
  start();
  const std::uint32_t before = lastNumber();
  board_.faults().dropRequest(kReceiptFinish);
  const auto lost = sell("never-arrived");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->status, 503) << lost->body;
  EXPECT_EQ(bodyOf(lost)["error"]["code"], nullptr);
  EXPECT_EQ(status()["open_document"], nullptr) << "the receipt it left open was cancelled";
  EXPECT_EQ(cancellations(), 1u);

  const auto retried = sell("never-arrived");
  ASSERT_TRUE(retried);
  ASSERT_EQ(retried->status, 201) << retried->body;
  EXPECT_EQ(bodyOf(retried)["document"]["number"], before + 1);
  EXPECT_EQ(bodyOf(retried)["settled"], false);
  EXPECT_EQ(lastNumber(), before + 1);
  EXPECT_EQ(status()["open_document"], nullptr);
}

// frgate killed on the line, then started again on the same database: it settles the request
// before it listens.
TEST_F(GatewayFaults, KilledOnTheLine_SettledAtTheNextStart) {
  struct Case {
    const char* key;
    bool finishArrives;  // the register stored the receipt before frgate was killed
  };
  for (const Case c : {Case{"killed-before-finish", false}, Case{"killed-after-store", true}}) {
    SCOPED_TRACE(c.key);
    start();
    const std::uint32_t before = lastNumber();
    const std::size_t cancelled = cancellations();
    const pid_t pid = frgate_->pid();
    const auto kill = [pid] { ::kill(pid, SIGKILL); };
    if (c.finishArrives) {
      board_.faults().dropReplyTo(kReceiptFinish, kill);
    } else {
      board_.faults().dropRequest(kReceiptFinish, kill);
    }
    EXPECT_FALSE(sell(c.key)) << "killed before it could answer";
    frgate_->stop(SIGKILL);
    start();

    const json record = bodyOf(frgate_->client().Get("/v1/requests?limit=1"))["requests"][0];
    EXPECT_EQ(record["key"], c.key);
    EXPECT_EQ(record["state"], c.finishArrives ? "done" : "failed");
    EXPECT_EQ(status()["open_document"], nullptr);
    EXPECT_EQ(cancellations(), cancelled + (c.finishArrives ? 0 : 1));

    const auto again = sell(c.key);
    ASSERT_TRUE(again);
    ASSERT_EQ(again->status, 201) << again->body;
    EXPECT_EQ(bodyOf(again)["document"]["number"], before + 1) << "one receipt, whichever way";
    if (c.finishArrives) {
      EXPECT_EQ(again->get_header_value("Idempotency-Replayed"), "true");
      EXPECT_EQ(bodyOf(again)["settled"], true);
      EXPECT_TRUE(bodyOf(again)["document"]["fiscal_sign"].is_number_integer());
    }
    EXPECT_EQ(lastNumber(), before + 1);
  }
}

TEST_F(GatewayFaults, RegisterSilent_RecordStaysPendingAndIsSettledWhenItAnswers) {
  start();
  const std::uint32_t before = lastNumber();
  board_.faults().dropReplyTo(163, [this] { board_.faults().cut(true); });
  const auto silent = frgate_->client().Post("/v1/cash/deposit", {{"Idempotency-Key", "silent"}},
                                             R"({"amount": "5.00"})", "application/json");
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->status, 503);
  EXPECT_EQ(bodyOf(frgate_->client().Get("/v1/requests"))["requests"][0]["state"], "pending");

  board_.faults().cut(false);
  EXPECT_EQ(lastNumber(), before + 1) << "the status request came after the settlement";
  const auto settled = frgate_->client().Post("/v1/cash/deposit", {{"Idempotency-Key", "silent"}},
                                              R"({"amount": "5.00"})", "application/json");
  ASSERT_TRUE(settled);
  EXPECT_EQ(settled->status, 201) << settled->body;
  EXPECT_EQ(bodyOf(settled)["settled"], true);
  EXPECT_EQ(bodyOf(settled)["amount"], "5.00");
  EXPECT_EQ(bodyOf(settled)["drawer_cash"], "5.00");
}

// While a key's first request is served (here: waiting for its lost reply), the key answers
// 409 to the same request and 422 to another, and neither waits for the line.
TEST_F(GatewayFaults, KeyStillBeingServed_409ForTheSameRequest422ForAnother) {
  start();
  const auto deposit = [this](const char* amount) {
    return frgate_->client().Post("/v1/cash/deposit", {{"Idempotency-Key", "served"}},
                                  json({{"amount", amount}}).dump(), "application/json");
  };
  std::optional<httplib::Result> same, other, otherRoute;
  std::promise<void> asked;
  board_.faults().dropReplyTo(163, [&] {
    same = deposit("5.00");
    other = deposit("6.00");
    otherRoute = frgate_->client().Post("/v1/cash/payout", {{"Idempotency-Key", "served"}},
                                        json({{"amount", "5.00"}}).dump(), "application/json");
    asked.set_value();
  });
  const auto first = deposit("5.00");
  asked.get_future().wait();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 201) << first->body;
  struct Case {
    const char* what;
    const std::optional<httplib::Result>& answer;
    int status;
  };
  for (const Case& c : {Case{"the same request", same, 409}, Case{"another amount", other, 422},
                        Case{"another route", otherRoute, 422}}) {
    ASSERT_TRUE(c.answer && *c.answer) << c.what;
    EXPECT_EQ((*c.answer)->status, c.status) << c.what << ": " << (*c.answer)->body;
    EXPECT_EQ(bodyOf(*c.answer)["error"]["code"], nullptr) << c.what;
  }
  EXPECT_EQ(deposit("5.00")->get_header_value("Idempotency-Replayed"), "true") << "the key is free once served";
}

TEST_F(GatewayFaults, ConcurrentClientsWithTheSameKeys_OneDocumentPerKeyWithoutGaps) {
  start();
  const std::uint32_t before = lastNumber();
  constexpr int kKeys = 4;
  std::vector<std::future<std::uint32_t>> clients;
  for (int client = 0; client < 2 * kKeys; ++client) {
    clients.push_back(std::async(std::launch::async, [this, client] {
      const std::string key = "shared-" + std::to_string(client % kKeys);
      while (true) {  // 409 while the key's first request is served
        const auto answer = frgate_->client().Post("/v1/cash/deposit", {{"Idempotency-Key", key}},
                                                   R"({"amount": "1.00"})", "application/json");
        if (!answer || answer->status != 409) {
          return answer && answer->status == 201 ? bodyOf(answer)["document"]["number"].get<std::uint32_t>() : 0u;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }));
  }
  std::vector<std::uint32_t> numbers;
  for (auto& client : clients) numbers.push_back(client.get());
  for (int key = 0; key < kKeys; ++key) {
    EXPECT_NE(numbers[static_cast<std::size_t>(key)], 0u);
    EXPECT_EQ(numbers[static_cast<std::size_t>(key)], numbers[static_cast<std::size_t>(key + kKeys)])
        << "both clients of a key got its one document";
  }
  const std::set<std::uint32_t> made(numbers.begin(), numbers.end());
  EXPECT_EQ(made, (std::set<std::uint32_t>{before + 1, before + 2, before + 3, before + 4}));
  EXPECT_EQ(lastNumber(), before + kKeys);
}

}  // namespace
