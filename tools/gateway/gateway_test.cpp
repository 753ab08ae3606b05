// frgate's routes end to end: the built program on a simulated board, driven over HTTP as a
// point-of-sale program drives it. One board and one frgate serve the whole suite, in order.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "tools/gateway/gateway.h"
#include "tools/gateway/gateway_testing.h"
#include "tools/sim/printer_state.h"

namespace {

using nlohmann::json;
using gateway::testing::bodyOf;

constexpr const char* kToken = "s3cret-token";

// ISO 8601 with the offset: "2026-12-08T09:30:15+03:00".
bool isoTime(const json& value) {
  static const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  return value.is_string() && std::regex_match(value.get<std::string>(), form);
}

class GatewayRoutes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    board_ = new gateway::testing::RegisterBoard();
    const auto tokenFile = board_->root() / "token";
    std::ofstream(tokenFile) << kToken << "\n";
    frgate_ = new gateway::testing::GatewayProcess(board_->port(), board_->root() / "frgate.db",
                                                   {"--token-file", tokenFile.string()});
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(frgate_->stop(SIGTERM), 0) << "a clean stop exits 0";
    delete frgate_;
    delete board_;
  }

  static httplib::Headers auth(httplib::Headers more = {}) {
    more.emplace("Authorization", std::string("Bearer ") + kToken);
    return more;
  }
  static httplib::Result get(const std::string& path) { return frgate_->client().Get(path.c_str(), auth()); }
  static httplib::Result post(const std::string& path, const json& body, const std::string& key = "") {
    httplib::Headers headers = key.empty() ? auth() : auth({{"Idempotency-Key", key}});
    return frgate_->client().Post(path.c_str(), headers, body.dump(), "application/json");
  }
  static httplib::Result put(const std::string& path, const json& body) {
    return frgate_->client().Put(path.c_str(), auth(), body.dump(), "application/json");
  }
  static json status() { return bodyOf(get("/v1/status")); }
  static std::size_t cancellations() {
    std::size_t count = 0;
    for (const std::string& line : board_->paper()) count += line.find("ДОКУМЕНТ ОТМЕНЕН") != std::string::npos;
    return count;
  }

  static gateway::testing::RegisterBoard* board_;
  static gateway::testing::GatewayProcess* frgate_;
};

gateway::testing::RegisterBoard* GatewayRoutes::board_ = nullptr;
gateway::testing::GatewayProcess* GatewayRoutes::frgate_ = nullptr;

TEST_F(GatewayRoutes, Status_TellsTheRegistersState) {
  const auto answer = get("/v1/status");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  const json state = bodyOf(answer);
  EXPECT_EQ(state["serial"], "0000012345");
  EXPECT_EQ(state["registered"], true);
  EXPECT_EQ(state["shift"], json({{"open", true}, {"number", 1}}));
  EXPECT_EQ(state["printer"], "ok");
  EXPECT_EQ(state["open_document"], nullptr);
  EXPECT_EQ(state["last_document"]["number"], 2) << "the registration and the shift opening";
  EXPECT_TRUE(isoTime(state["last_document"]["time"])) << state.dump();
  EXPECT_EQ(state["receipts_in_shift"], 0);
  EXPECT_EQ(state["drawer_cash"], "0.00");
  const auto flags = state["flags"].get<std::set<std::string>>();
  EXPECT_TRUE(flags.contains("shift open")) << state.dump();
}

// The printer's state as the register last found it, at a document's start.
TEST_F(GatewayRoutes, Status_NamesThePrinterAsTheLastDocumentFoundIt) {
  struct Case {
    sim::PrinterState state;
    int status;  // of a deposit
    json code;
    const char* printer;
  };
  const Case cases[] = {
      {sim::PrinterState::Out, 503, 54, "paper-out"},
      {sim::PrinterState::NearEnd, 201, nullptr, "near-end"},
      {sim::PrinterState::Ok, 201, nullptr, "ok"},
  };
  int key = 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(sim::writePrinterState(board_->board().printerStatePath(), c.state));
    const json before = status()["last_document"];
    const auto answer = post("/v1/cash/deposit", {{"amount", "1.00"}}, "printer-" + std::to_string(++key));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, c.status) << c.printer << ": " << answer->body;
    if (c.status != 201) {
      EXPECT_EQ(bodyOf(answer)["error"]["code"], c.code) << c.printer;
      EXPECT_EQ(status()["last_document"], before) << "nothing was made";
    }
    EXPECT_EQ(status()["printer"], c.printer);
  }
}

TEST_F(GatewayRoutes, Documents_EachMadeOnceAndItsAnswerReplayedForItsKey) {
  const json receipt = {{"items", {{{"name", "Батон"}, {"price", "45.50"}, {"qty", "2.000"}}}},
                        {"payment", {{"cash", "100.00"}}}};
  struct Case {
    const char* path;
    json body;
    const char* type;
    json extra;  // fields of the answer beyond the document
  };
  const Case cases[] = {
      {"/v1/cash/deposit", {{"amount", "100.00"}}, "deposit", {{"amount", "100.00"}, {"drawer_cash", "100.00"}}},
      {"/v1/receipts", receipt, "receipt", {{"receipt", 1}, {"total", "91.00"}, {"change", "9.00"}}},
      {"/v1/cash/payout", {{"amount", "191.00"}}, "payout", {{"amount", "191.00"}, {"drawer_cash", "0.00"}}},
      {"/v1/shifts/close", json::object(), "shift-close", json::object()},
      {"/v1/shifts/open", json::object(), "shift-open", json::object()},
  };
  std::uint32_t number = status()["last_document"]["number"];
  for (const Case& c : cases) {
    const std::string key = std::string("made-once-") + c.type;
    const auto first = post(c.path, c.body, key);
    ASSERT_TRUE(first) << c.path;
    ASSERT_EQ(first->status, 201) << c.path << ": " << first->body;
    const json made = bodyOf(first);
    EXPECT_EQ(made["document"]["type"], c.type);
    EXPECT_EQ(made["document"]["number"], ++number) << "numbered without gaps";
    EXPECT_TRUE(made["document"]["fiscal_sign"].is_number_integer());
    EXPECT_TRUE(made["document"]["shift"].is_number_integer());
    EXPECT_TRUE(isoTime(made["document"]["time"])) << made.dump();
    EXPECT_EQ(made["settled"], false);
    for (const auto& [field, value] : c.extra.items()) EXPECT_EQ(made[field], value) << c.type << " " << field;
    EXPECT_FALSE(first->has_header("Idempotency-Replayed"));

    const auto again = post(c.path, c.body, key);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 201);
    EXPECT_EQ(again->body, first->body);
    EXPECT_EQ(again->get_header_value("Idempotency-Replayed"), "true");
  }
  EXPECT_EQ(status()["last_document"]["number"], number) << "the replays made nothing";
  EXPECT_EQ(status()["shift"]["number"], 2);
}

TEST_F(GatewayRoutes, Reports_PrintAndAnswerTheirFigures) {
  // A closed shift with a sale, then a deposit and a sale in the next one.
  const json sale = {{"items", {{{"name", "Хлеб"}, {"price", "10.00"}, {"section", 2}}}}};
  const std::pair<const char*, json> documents[] = {
      {"/v1/receipts", sale},         {"/v1/cash/payout", {{"amount", "10.00"}}}, {"/v1/shifts/close", json::object()},
      {"/v1/shifts/open", json::object()}, {"/v1/cash/deposit", {{"amount", "25.00"}}}, {"/v1/receipts", sale}};
  int key = 0;
  for (const auto& [path, body] : documents) {
    ASSERT_EQ(post(path, body, "report-" + std::to_string(++key))->status, 201) << path;
  }
  const json x = bodyOf(post("/v1/reports/x", json::object()));
  EXPECT_EQ(x["printed"], true);
  EXPECT_EQ(x["counters"]["shift"], 2);
  EXPECT_EQ(x["counters"]["deposits"], json({{"count", 1}, {"sum", "25.00"}}));
  EXPECT_EQ(x["counters"]["drawer_cash"], "35.00");
  EXPECT_EQ(x["counters"]["kinds"]["sale"]["taxes"]["1"], "1.67") << "20 % included in 10.00";
  const json fiscal = bodyOf(post("/v1/reports/fiscal", json::object()));
  EXPECT_EQ(fiscal["counters"]["shifts"], 2);
  EXPECT_FALSE(fiscal["counters"].contains("drawer_cash"));
  const json totals = bodyOf(post("/v1/reports/totals", json::object()));
  EXPECT_EQ(totals["totals"]["kinds"]["sale"]["receipts"], 2);
  EXPECT_EQ(totals["totals"]["kinds"]["sale"]["total"], "20.00");
  const json sections = bodyOf(post("/v1/reports/sections", json::object()));
  EXPECT_EQ(sections["sections"], json::parse(R"([{"section": 2, "sale": "10.00", "purchase": "0.00",
                                                   "sale-return": "0.00", "purchase-return": "0.00"}])"));

  struct Printed {
    const char* path;
    json body;
    int status;
  };
  const Printed printed[] = {
      {"/v1/reports/shifts", {{"from", 1}, {"to", 1}}, 200},
      {"/v1/reports/period", {{"from", "2000-01-01"}, {"to", "2099-12-31"}}, 200},
      {"/v1/tape", json::object(), 200},
      {"/v1/copies", {{"number", 3}}, 200},
      {"/v1/copies", {{"number", 999}}, 404},
      {"/v1/reports/shifts", {{"from", 1}}, 400},
      {"/v1/reports/period", {{"from", "yesterday"}, {"to", "2099-12-31"}}, 400},
  };
  for (const Printed& p : printed) {
    const auto answer = post(p.path, p.body);
    ASSERT_TRUE(answer) << p.path;
    EXPECT_EQ(answer->status, p.status) << p.path << " " << p.body.dump() << ": " << answer->body;
  }
  const auto paper = board_->paper();
  EXPECT_NE(std::find_if(paper.begin(), paper.end(), [](const std::string& line) {
              return line.find("КОПИЯ") != std::string::npos;
            }), paper.end());
}

TEST_F(GatewayRoutes, Tables_ClockAndPaperWidth_ReadAndChangedFieldByField) {
  EXPECT_EQ(bodyOf(get("/v1/cashiers/20"))["rights"], 1023);
  EXPECT_EQ(bodyOf(put("/v1/sections/2", {{"name", "Молоко"}})), json({{"number", 2}, {"name", "Молоко"}}));
  EXPECT_EQ(bodyOf(get("/v1/sections/2"))["name"], "Молоко");
  EXPECT_EQ(bodyOf(put("/v1/discounts/1", {{"name", "Клуб"}, {"percent", "10.00"}}))["percent"], "10.00");
  const json unset = bodyOf(put("/v1/discounts/1", {{"percent", nullptr}}));
  EXPECT_EQ(unset, json({{"number", 1}, {"name", "Клуб"}})) << "null withdraws the discount, the name stays";
  const auto cashier = put("/v1/cashiers/3", {{"name", "Анна"}, {"rights", 1}, {"password", 1111}});
  EXPECT_EQ(bodyOf(cashier)["password"], 1111) << cashier->body;
  EXPECT_EQ(get("/v1/cashiers/21")->status, 404);
  EXPECT_EQ(put("/v1/cashiers/3", {{"number", 4}})->status, 400);
  EXPECT_EQ(put("/v1/sections/2", {{"colour", "red"}})->status, 400);

  const json clock = bodyOf(get("/v1/clock"));
  ASSERT_TRUE(clock["time"].is_string()) << clock.dump();
  EXPECT_EQ(put("/v1/clock", {{"time", "2001-01-01T00:00:00+00:00"}})->status, 409) << "not after the last document";
  EXPECT_EQ(put("/v1/clock", {{"time", "soon"}})->status, 400);

  EXPECT_EQ(bodyOf(put("/v1/paper-width", {{"paper_width", 80}})), json({{"paper_width", 80}}));
  EXPECT_EQ(bodyOf(get("/v1/paper-width")), json({{"paper_width", 80}}));
  EXPECT_EQ(put("/v1/paper-width", {{"paper_width", 0}})->status, 400);
  EXPECT_EQ(put("/v1/paper-width", {{"paper_width", 60}})->status, 200);
}

TEST_F(GatewayRoutes, Requests_NewestFirstAndOpenApiNamesEveryRoute) {
  ASSERT_EQ(post("/v1/cash/deposit", {{"amount", "1.00"}}, "listed")->status, 201);
  const json listed = bodyOf(get("/v1/requests?limit=1"));
  ASSERT_EQ(listed["requests"].size(), 1u);
  EXPECT_EQ(listed["requests"][0]["key"], "listed");
  EXPECT_EQ(listed["requests"][0]["path"], "/v1/cash/deposit");
  EXPECT_EQ(listed["requests"][0]["state"], "done");
  EXPECT_EQ(listed["requests"][0]["status"], 201);
  EXPECT_TRUE(listed["requests"][0]["document"].is_number_integer());
  EXPECT_TRUE(isoTime(listed["requests"][0]["time"]));
  ASSERT_EQ(post("/v1/cash/deposit", {{"amount", "1.00"}}, "listed-next")->status, 201);
  const json both = bodyOf(get("/v1/requests?limit=2"))["requests"];
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0]["key"], "listed-next") << "newest first";
  EXPECT_EQ(both[1]["key"], "listed");
  for (const char* limit : {"0", "1001", "x", ""}) {
    EXPECT_EQ(get(std::string("/v1/requests?limit=") + limit)->status, 400) << limit;
  }

  // Neither needs the token.
  const auto openApi = frgate_->client().Get("/openapi.json");
  ASSERT_TRUE(openApi);
  ASSERT_EQ(openApi->status, 200);
  const json document = bodyOf(openApi);
  EXPECT_TRUE(document["openapi"].get<std::string>().starts_with("3."));
  for (const gateway::Route& route : gateway::Gateway::routes()) {
    std::string method = route.method;
    std::transform(method.begin(), method.end(), method.begin(), ::tolower);
    EXPECT_TRUE(document["paths"][route.path].contains(method)) << route.method << " " << route.path;
  }
  const auto page = frgate_->client().Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("/v1/status"), std::string::npos);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(GatewayRoutes, BadRequests_GetTheirStatusAndAJsonErrorAndChangeNothing) {
  const json sale = {{"items", {{{"name", "Хлеб"}, {"price", "10.00"}}}}};
  ASSERT_EQ(post("/v1/receipts", sale, "taken")->status, 201);
  ASSERT_EQ(put("/v1/cashiers/5", {{"name", "Касса"}, {"rights", 2}, {"password", 5555}})->status, 200);
  const json before = status();
  const std::size_t cancelled = cancellations();
  const std::size_t recorded = bodyOf(get("/v1/requests?limit=1000"))["requests"].size();

  struct Case {
    const char* what;
    std::string method, path, body;
    httplib::Headers headers;
    int status;
    json code;  // the register's code, or null
  };
  const httplib::Headers noToken = {{"Idempotency-Key", "bad-1"}};
  const httplib::Headers keyed = auth({{"Idempotency-Key", "bad-1"}});
  const std::string big(2 * 1024 * 1024, ' ');
  const Case cases[] = {
      {"bad JSON", "POST", "/v1/receipts", "{\"items\": [", keyed, 400, nullptr},
      {"no token", "POST", "/v1/receipts", sale.dump(), noToken, 401, nullptr},
      {"wrong token", "GET", "/v1/status", "", {{"Authorization", "Bearer nope"}}, 401, nullptr},
      {"2 MiB body", "POST", "/v1/receipts", big, keyed, 413, nullptr},
      {"unknown route", "GET", "/v1/nothing", "", auth(), 404, nullptr},
      {"reused key, other body", "POST", "/v1/receipts", json({{"items", {{{"name", "Хлеб"}, {"price", "11.00"}}}}}).dump(),
       auth({{"Idempotency-Key", "taken"}}), 422, nullptr},
      {"negative price", "POST", "/v1/receipts", json({{"items", {{{"name", "Хлеб"}, {"price", "-1.00"}}}}}).dump(),
       keyed, 400, nullptr},
      {"price as a number", "POST", "/v1/receipts", json({{"items", {{{"name", "Хлеб"}, {"price", 10.5}}}}}).dump(),
       keyed, 400, nullptr},
      {"no key", "POST", "/v1/cash/deposit", R"({"amount": "1.00"})", auth(), 400, nullptr},
      {"key with a blank", "POST", "/v1/cash/deposit", R"({"amount": "1.00"})", auth({{"Idempotency-Key", "a b"}}),
       400, nullptr},
      {"unknown field", "POST", "/v1/cash/deposit", R"({"amount": "1.00", "note": 1})", keyed, 400, nullptr},
      {"payment short (47)", "POST", "/v1/receipts",
       json({{"items", {{{"name", "Хлеб"}, {"price", "10.00"}}}}, {"payment", {{"cash", "1.00"}}}}).dump(), keyed, 400, 47},
      {"payout above the drawer (40)", "POST", "/v1/cash/payout", R"({"amount": "99999.00"})", keyed, 409, 40},
      {"shift already open (26)", "POST", "/v1/shifts/open", "{}", keyed, 409, 26},
      {"unknown cashier (18)", "POST", "/v1/cash/deposit", R"({"amount": "1.00", "operator": 7, "password": 1})",
       keyed, 403, 18},
      {"cashier may not (16)", "POST", "/v1/receipts", json({{"items", sale["items"]}, {"operator", 5}, {"password", 5555}}).dump(),
       keyed, 403, 16},
      {"key of 256 characters", "POST", "/v1/cash/deposit", R"({"amount": "1.00"})",
       auth({{"Idempotency-Key", std::string(256, 'k')}}), 400, nullptr},
      {"key outside ASCII", "POST", "/v1/cash/deposit", R"({"amount": "1.00"})",
       auth({{"Idempotency-Key", "ключ"}}), 400, nullptr},
      {"an item refused part-way (45)", "POST", "/v1/receipts",
       json({{"items", {{{"name", "Хлеб"}, {"price", "10.00"}}, {{"name", "Соль"}, {"price", "5.00"}, {"tax", 3}}}}})
           .dump(),
       keyed, 400, 45},
      {"no such record (17)", "POST", "/v1/copies", R"({"number": 999})", auth(), 404, 17},
      {"a route without its method", "DELETE", "/v1/status", "", auth(), 404, nullptr},
  };
  for (const Case& c : cases) {
    httplib::Client client = frgate_->client();
    const auto answer = c.method == "GET"      ? client.Get(c.path.c_str(), c.headers)
                        : c.method == "DELETE" ? client.Delete(c.path.c_str(), c.headers)
                                               : client.Post(c.path.c_str(), c.headers, c.body, "application/json");
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, c.status) << c.what << ": " << answer->body;
    const json error = bodyOf(answer);
    EXPECT_EQ(error["error"]["code"], c.code) << c.what << ": " << answer->body;
    EXPECT_TRUE(error["error"]["meaning"].is_string() && error["error"]["message"].is_string()) << c.what;
  }
  const json after = status();
  EXPECT_EQ(after["last_document"], before["last_document"]) << "no document was made";
  EXPECT_EQ(after["open_document"], nullptr) << "none was left open";
  EXPECT_EQ(after["drawer_cash"], before["drawer_cash"]);
  EXPECT_EQ(cancellations(), cancelled + 3) << "the short payment, the item and the payout refused part-way";
  const json requests = bodyOf(get("/v1/requests?limit=1000"))["requests"];
  EXPECT_EQ(requests.size(), recorded + 1) << "the refusals the register gave share their unspent key";
  EXPECT_EQ(requests[0]["state"], "failed");

  // The key no refusal spent makes its document once the request is right; so does the longest.
  for (const std::string& key : {std::string("bad-1"), std::string(255, '~')}) {
    const auto made = post("/v1/cash/deposit", {{"amount", "1.00"}}, key);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 201) << made->body;
  }
}

// A client that hangs up before its answer: the request is served to its end all the same,
// recorded, and its key then answers the recorded document.
TEST_F(GatewayRoutes, ClientGoneAway_ItsDocumentMadeOnceAndRecorded) {
  const std::uint32_t before = status()["last_document"]["number"];
  const std::string body = R"({"amount": "3.00"})";
  const std::string request = "POST /v1/cash/deposit HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                              std::string(kToken) + "\r\nIdempotency-Key: hung-up\r\nContent-Type: application/json\r\n" +
                              "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(socket, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(frgate_->port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::send(socket, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  ::close(socket);

  json record = json::object();
  for (int wait = 0; wait < 300 && record.value("state", "") != "done"; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const json listed = bodyOf(get("/v1/requests?limit=1"))["requests"];
    if (!listed.empty()) record = listed[0];
  }
  EXPECT_EQ(record["key"], "hung-up");
  EXPECT_EQ(record["state"], "done");
  const auto again = post("/v1/cash/deposit", json::parse(body), "hung-up");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 201);
  EXPECT_EQ(again->get_header_value("Idempotency-Replayed"), "true");
  EXPECT_EQ(bodyOf(again)["document"]["number"], before + 1);
  EXPECT_EQ(status()["last_document"]["number"], before + 1) << "made once";
}

TEST_F(GatewayRoutes, Port_HeldForItselfWhileItRuns) {
  const int fd = ::open(board_->port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "frgate holds the line's lock, as frhost does";
  ::close(fd);
}

}  // namespace
