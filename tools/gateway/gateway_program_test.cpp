// frgate as a program: its options, its token file and its stop on a signal, each frgate
// started for its case on one board.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>

#include "tools/gateway/gateway_testing.h"
#include "tools/gateway/request_store.h"
#include "tools/sim/testing.h"

namespace {

using nlohmann::json;
using gateway::testing::bodyOf;

constexpr std::uint8_t kDepositFinish = 163;

class GatewayProgram : public ::testing::Test {
 protected:
  std::filesystem::path database() const { return board_.root() / "frgate.db"; }
  gateway::testing::GatewayProcess start(std::vector<std::string> arguments = {}) {
    return gateway::testing::GatewayProcess(board_.port(), database(), std::move(arguments));
  }
  static httplib::Result deposit(const gateway::testing::GatewayProcess& frgate, const std::string& key,
                                 const json& body = {{"amount", "1.00"}}) {
    return frgate.client().Post("/v1/cash/deposit", {{"Idempotency-Key", key}}, body.dump(), "application/json");
  }

  gateway::testing::RegisterBoard board_;
};

TEST_F(GatewayProgram, OperatorAndPassword_AreTheCashierOfRequestsThatNameNone) {
  {
    auto frgate = start();
    const auto made = frgate.client().Put("/v1/cashiers/5", R"({"name": "Касса", "rights": 2, "password": 5555})",
                                          "application/json");
    ASSERT_TRUE(made);
    ASSERT_EQ(made->status, 200) << made->body;
  }
  const json sale = {{"items", {{{"name", "Хлеб"}, {"price", "10.00"}}}}};
  struct Case {
    const char* what;
    std::vector<std::string> options;
    const char* path;
    json body;
    int status;
    json code;
  };
  json administrator = sale;
  administrator.update({{"operator", 20}, {"password", 30}});
  const std::vector<std::string> cashier = {"--operator", "5", "--password", "5555"};
  const Case cases[] = {
      {"the cashier may deposit", cashier, "/v1/cash/deposit", {{"amount", "1.00"}}, 201, nullptr},
      {"but not sell", cashier, "/v1/receipts", sale, 403, 16},
      {"a body names another", cashier, "/v1/receipts", administrator, 201, nullptr},
      {"a wrong password", {"--operator", "5", "--password", "1"}, "/v1/cash/deposit", {{"amount", "1.00"}}, 403, 18},
      {"the administrator by default", {}, "/v1/receipts", sale, 201, nullptr},
  };
  int key = 0;
  for (const Case& c : cases) {
    auto frgate = start(c.options);
    const auto answer = frgate.client().Post(c.path, {{"Idempotency-Key", "cashier-" + std::to_string(++key)}},
                                             c.body.dump(), "application/json");
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, c.status) << c.what << ": " << answer->body;
    if (c.status != 201) {
      EXPECT_EQ(bodyOf(answer)["error"]["code"], c.code) << c.what;
    }
  }
}

TEST_F(GatewayProgram, TokenFile_ItsTrailingLineEndIsNotPartOfTheToken) {
  for (const char* text : {"t0ken", "t0ken\n", "t0ken\r\n"}) {
    const auto file = board_.root() / "token";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    auto frgate = start({"--token-file", file.string()});
    EXPECT_EQ(frgate.client().Get("/v1/status", {{"Authorization", "Bearer t0ken"}})->status, 200) << json(text);
    EXPECT_EQ(frgate.client().Get("/v1/status")->status, 401) << json(text);
  }
}

// A signal while a request is on the line: the request ends and is settled, answered, recorded,
// and frgate exits 0.
TEST_F(GatewayProgram, StopSignal_FinishesTheRequestOnTheLineAndExitsZero) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    const std::string key = "stopped-" + std::to_string(signal);
    auto frgate = start({"--timeout", "1000"});
    const pid_t pid = frgate.pid();
    // The reply is lost, so the request is still on the line when the signal comes.
    board_.faults().dropReplyTo(kDepositFinish, [pid, signal] { ::kill(pid, signal); });
    const auto answer = deposit(frgate, key);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 201) << answer->body;
    EXPECT_EQ(bodyOf(answer)["settled"], true);
    EXPECT_EQ(frgate.stop(SIGTERM), 0);

    std::string problem;
    auto store = gateway::RequestStore::open(database().string(), problem);
    ASSERT_TRUE(store.has_value()) << problem;
    const auto record = store->find(key);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->state, gateway::RequestState::kDone);
    EXPECT_EQ(record->document, bodyOf(answer)["document"]["number"].get<std::uint32_t>());
  }
}

// A command line that is not valid exits 2 (CLI11 or frgate saying why) before it touches anything.
TEST(GatewayUsage, ACommandLineThatIsNotValidExitsTwo) {
  const platform::TemporaryDirectory directory;
  const std::string database = (directory.path() / "frgate.db").string();
  const std::string port = (directory.path() / "host").string();
  const std::string empty = (directory.path() / "empty-token").string();
  std::ofstream(empty) << "\n";
  const std::vector<std::vector<std::string>> cases = {
      {"--db", database},
      {"--port", port},
      {"--port", port, "--db", database, "--timeout", "0"},
      {"--port", port, "--db", database, "--operator", "21"},
      {"--port", port, "--db", database, "--listen", "8080"},
      {"--port", port, "--db", database, "--listen", "127.0.0.1:65536"},
      {"--port", port, "--db", database, "--token-file", empty},
      {"--port", port, "--db", database, "--colour", "red"},
  };
  for (const auto& arguments : cases) {
    std::string command;
    for (const std::string& word : sim::launcherFromEnvironment()) command += word + " ";
    command += FRGATE_BINARY;
    for (const std::string& word : arguments) command += " '" + word + "'";
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 2) << command;
  }
  EXPECT_FALSE(std::filesystem::exists(database)) << "nothing was made";
}

}  // namespace
