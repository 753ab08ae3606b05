#include "tools/gateway/gateway.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <regex>
#include <string_view>
#include <variant>

#include "link/host_protocol.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "storage/counter_blocks.h"
#include "tools/gateway/embedded_files.h"
#include "tools/gateway/paper_tail.h"
#include "tools/gateway/request_bodies.h"
#include "tools/host/config_commands.h"
#include "tools/host/document_commands.h"
#include "tools/host/report_commands.h"
#include "tools/host/tables_json.h"

namespace gateway {
namespace {

constexpr std::size_t kMaxKeySize = 255;
constexpr int kDefaultListed = 20;
constexpr int kDefaultPaperLines = 100;
constexpr int kMostListed = 1000;

// An Idempotency-Key: 1 to 255 visible ASCII characters.
bool validKey(std::string_view key) {
  return !key.empty() && key.size() <= kMaxKeySize &&
         std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// Equal texts, in a time that does not depend on where they first differ.
bool sameSecret(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
  }
  return difference == 0;
}

void write(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
  if (answer.replayed) response.set_header("Idempotency-Replayed", "true");
}

// The query parameter `name`, a number from 1 to kMostListed; `fallback` when it is not given,
// nullopt when it is not such a number.
std::optional<int> countParameter(const httplib::Request& request, const char* name, int fallback) {
  if (!request.has_param(name)) return fallback;
  const std::string text = request.get_param_value(name);
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || count < 1 || count > kMostListed) {
    return std::nullopt;
  }
  return count;
}

// The record number N of a path ending in /N: 1 to 20.
std::optional<std::uint8_t> recordNumber(const httplib::Request& request) {
  unsigned number = 0;
  const std::string text = request.matches.size() > 1 ? std::string(request.matches[1]) : "";
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 1 ||
      number > Cashier::kCount) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(number);
}

template <typename Block>
std::optional<Block> blockOf(const std::optional<host::Reply>& reply) {
  if (!reply || reply->code != 0 || reply->data.size() != Block::kSize) return std::nullopt;
  return Block::load(reply->data);
}

// "/v1/cashiers/{n}" as httplib matches it, the number captured.
std::string pathPattern(std::string_view path) {
  std::string pattern(path);
  if (const std::size_t at = pattern.find("{n}"); at != std::string::npos) pattern.replace(at, 3, R"((\d+))");
  return pattern;
}

}  // namespace

Gateway::Gateway(RegisterLine line, RequestStore store, GatewayOptions options, std::ostream& log)
    : line_(std::move(line)),
      store_(std::move(store)),
      options_(std::move(options)),
      log_(log),
      maker_(line_, store_, log_),
      queue_([this] { settleWhileIdle(); }) {}

void Gateway::settleWhileIdle() {
  try {
    maker_.settlePending();
  } catch (const std::exception& failure) {
    log_ << "frgate: settling the pending requests failed: " << failure.what() << "\n";
  }
}

bool Gateway::settleAtStart() {
  const auto settled = queue_.run([this] { return Answer{maker_.settlePending() ? 200 : 503}; },
                                  LineQueue<Answer>::Clock::time_point::max());
  return settled && settled->status == 200;
}

Answer Gateway::onLine(const std::function<Answer()>& work) {
  const auto deadline = LineQueue<Answer>::Clock::now() + options_.queueWait;
  auto answer = queue_.run(
      [&] {
        if (!maker_.settlePending()) {
          return noReply("the register does not answer; an earlier document request waits to be settled");
        }
        return work();
      },
      deadline);
  if (!answer) return refusal(503, "the line was busy past the request's deadline, or the gateway is stopping");
  return std::move(*answer);
}

Answer Gateway::single(const host::Request& request, std::string_view what,
                       const std::function<Json(const host::Reply&)>& describe) {
  return onLine([&] {
    const auto reply = line_.transact(request);
    if (!reply) return noReply("the register does not answer");
    if (reply->code != 0) return registerRefusal(reply->code, what, reply->data);
    return Answer{200, describe(*reply)};
  });
}

bool Gateway::authorized(const httplib::Request& request) const {
  if (options_.token.empty()) return true;
  if (request.method == "GET" && (request.path == "/" || request.path == "/openapi.json")) return true;
  return sameSecret(request.get_header_value("Authorization"), "Bearer " + options_.token);
}

Answer Gateway::status(const httplib::Request&) {
  return onLine([this] {
    const auto reply = line_.transact(protocol::kStatus);
    if (!reply) return noReply("the register does not answer");
    if (reply->code != 0) return registerRefusal(reply->code, "the status request");
    const auto status = parseStatus(reply->data);
    if (!status) return noReply("the register's status could not be read");
    const auto state = line_.transact(protocol::kState);
    return Answer{200, statusJson(*status, state && state->code == 0 ? drawerCash(state->data) : std::nullopt)};
  });
}

Answer Gateway::document(const httplib::Request& request) {
  const std::string key = request.get_header_value("Idempotency-Key");
  if (!validKey(key)) {
    return refusal(400, "a document request carries an Idempotency-Key header of 1 to 255 visible ASCII characters");
  }
  std::string problem;
  const auto body = parseBody(request.body, problem);
  const auto kind = documentKindForPath(request.path);
  const auto order = body && kind ? documentOrder(*kind, *body, options_.cashier, problem) : std::nullopt;
  if (!order) return refusal(400, problem);
  const std::string canonical = body->dump();

  // A key already done answers at once, without waiting for the line.
  if (const auto earlier = store_.find(key); earlier && earlier->state == RequestState::kDone) {
    if (earlier->body != canonical || earlier->path != request.path) {
      return refusal(422, "the idempotency key was used with another request");
    }
    return {earlier->status.value_or(201), Json::parse(earlier->answer, nullptr, false), true};
  }
  const auto claim = inFlight_.claim(key, request.path + " " + canonical);
  if (const auto* taken = std::get_if<KeyClaims::Taken>(&claim)) {
    return *taken == KeyClaims::Taken::kOtherRequest
               ? refusal(422, "the idempotency key was used with another request")
               : refusal(409, "a request with this idempotency key is being served");
  }
  return onLine([&] { return maker_.make(key, request.path, canonical, *order); });
}

Answer Gateway::report(const httplib::Request& request) {
  const std::string name = request.path.substr(request.path.rfind('/') + 1);
  std::string problem;
  const auto body = parseBody(request.body, problem);
  const auto report = body ? reportRequest(name, *body, options_.cashier, problem) : std::nullopt;
  if (!report) return refusal(400, problem);
  return onLine([&] {
    const auto reply = line_.transact(*report);
    if (!reply) return noReply("the register does not answer");
    if (reply->code != 0) return registerRefusal(reply->code, "the report");
    // The figures the report printed, as the archive holds them right after it.
    Json answer = {{"report", name}, {"printed", true}};
    if (name == "x" || name == "sections") {
      if (const auto counters = blockOf<CounterSet>(line_.transact(protocol::kShiftCounters))) {
        answer["counters"] = countersJson(*counters, true);
      }
    } else if (name == "fiscal") {
      if (const auto counters = blockOf<CounterSet>(line_.transact(protocol::kPeriodCounters))) {
        answer["counters"] = countersJson(*counters, false);
      }
    } else if (name == "totals") {
      if (const auto totals = blockOf<TotalCounters>(line_.transact(protocol::kArchiveTotals))) {
        answer["totals"] = totalsJson(*totals);
      }
    }
    if (name == "sections") {
      const auto sumsReply = line_.transact(protocol::kSectionSums);
      if (sumsReply && sumsReply->code == 0 && sumsReply->data.size() == kReceiptKinds * SectionSums::kSize) {
        std::array<SectionSums, kReceiptKinds> sums;
        for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
          sums[kind] = SectionSums::load(sumsReply->data, kind * SectionSums::kSize);
        }
        answer["sections"] = sectionsJson(sums);
      }
    }
    return Answer{200, answer};
  });
}

Answer Gateway::tape(const httplib::Request& request) {
  std::string problem;
  const auto body = parseBody(request.body, problem);
  const auto tape = body ? tapeRequest(*body, options_.cashier, problem) : std::nullopt;
  if (!tape) return refusal(400, problem);
  return onLine([&] {
    const auto reply = line_.transact(*tape);
    if (!reply) return noReply("the register does not answer");
    if (reply->code == 0) return Answer{200, {{"printed", true}}};
    Answer refused = registerRefusal(reply->code, "the control tape");
    if (reply->data.size() == sizeof(std::uint32_t)) {
      // It stopped part-way: the last receipt printed whole, and where to go on once the
      // printer is ready.
      const std::uint32_t last = bytes::loadU32(reply->data, 0);
      refused.body["tape"] = {{"last_printed", last}, {"continue_from", std::uint64_t{last} + 1}};
    }
    return refused;
  });
}

Answer Gateway::copy(const httplib::Request& request) {
  std::string problem;
  const auto body = parseBody(request.body, problem);
  const auto copy = body ? copyRequest(*body, options_.cashier, problem) : std::nullopt;
  if (!copy) return refusal(400, problem);
  const std::uint32_t number = body->at("number").get<std::uint32_t>();
  return single(*copy, "the copy", [number](const host::Reply&) { return Json{{"printed", true}, {"number", number}}; });
}

Answer Gateway::clock(const httplib::Request& request) {
  const auto timeAnswer = [](const host::Reply& reply) {
    return reply.data.size() == sizeof(std::uint32_t) ? Json{{"time", isoTime(bytes::loadU32(reply.data, 0))}}
                                                      : Json{{"time", nullptr}};
  };
  if (request.method == "GET") return single({.command = protocol::kReadClock}, "the clock", timeAnswer);
  std::string problem;
  const auto body = parseBody(request.body, problem);
  const auto cashier = body ? bodyOperator(*body, options_.cashier, problem) : std::nullopt;
  const auto time = cashier ? clockTime(*body, problem) : std::nullopt;
  if (!time) return refusal(400, problem);
  bytes::Bytes payload = host::operatorPrefix(*cashier);
  bytes::appendU32(payload, *time);
  return single({.command = protocol::kSetClock, .payload = payload}, "the clock", timeAnswer);
}

Answer Gateway::paperWidth(const httplib::Request& request) {
  std::string problem;
  const auto body = request.method == "GET" ? std::optional<BodyJson>(BodyJson::object()) : parseBody(request.body, problem);
  const auto cashier = body ? bodyOperator(*body, options_.cashier, problem) : std::nullopt;
  const auto width = cashier && request.method != "GET" ? gateway::paperWidth(*body, problem) : std::nullopt;
  if (!cashier || (request.method != "GET" && !width)) return refusal(400, problem);
  bytes::Bytes payload = host::operatorPrefix(*cashier);
  payload.push_back(host::kPaperWidthSetting);
  const bool setting = width.has_value();
  const unsigned newWidth = width.value_or(0);
  if (setting) payload.push_back(static_cast<std::uint8_t>(newWidth));
  const std::uint8_t command = setting ? protocol::kWriteSetting : protocol::kReadSetting;
  return single({.command = command, .payload = payload}, "the paper width", [setting, newWidth](const host::Reply& reply) {
    const unsigned value = setting ? newWidth : reply.data.empty() ? 0u : unsigned{reply.data[0]};
    return Json{{"paper_width", value}};
  });
}

template <typename Record>
Answer Gateway::record(const httplib::Request& request) {
  const auto number = recordNumber(request);
  if (!number) return refusal(404, "records are numbered 1 to 20");
  std::string problem;
  const bool reading = request.method == "GET";
  const auto body = reading ? std::optional<BodyJson>(BodyJson::object()) : parseBody(request.body, problem);
  if (!body) return refusal(400, problem);
  // The body is the record's fields (a cashier's own "password" among them): the gateway's
  // cashier reads and writes it.
  const host::Operator* cashier = &options_.cashier;
  constexpr host::Table table = host::tableOf<Record>();
  return onLine([&] {
    const auto read = line_.transact({.command = protocol::kReadRecord,
                                      .payload = host::readRecordPayload(*cashier, table, *number)});
    if (!read) return noReply("the register does not answer");
    if (read->code != 0) return registerRefusal(read->code, "reading the record");
    Record record;
    if (!Record::decodeChecked(read->data, record)) return noReply("the register sent a record that does not decode");
    if (reading) return Answer{200, host::recordToJson(record)};
    std::string invalid;
    const auto edited = editedRecord(record, *number, *body, invalid);
    if (!edited) return refusal(400, invalid);
    const auto slot = edited->encode();
    const auto written = line_.transact({.command = protocol::kWriteRecord,
                                         .payload = host::writeRecordPayload(*cashier, table, slot)});
    if (!written) return noReply("the register does not answer");
    if (written->code != 0) return registerRefusal(written->code, "writing the record");
    return Answer{200, host::recordToJson(*edited)};
  });
}

Answer Gateway::requests(const httplib::Request& request) {
  const auto limit = countParameter(request, "limit", kDefaultListed);
  if (!limit) return refusal(400, "limit is a number from 1 to 1000");
  Json list = Json::array();
  for (const RequestRecord& record : store_.newest(*limit)) {
    list.push_back({{"key", record.key},
                    {"path", record.path},
                    {"state", stateName(record.state)},
                    {"status", record.status ? Json(*record.status) : Json(nullptr)},
                    {"document", record.document ? Json(*record.document) : Json(nullptr)},
                    {"time", isoTime(record.created)}});
  }
  return {200, {{"requests", list}}};
}

// An addition to the contract's routes, for the admin page: what a simulated board printed.
Answer Gateway::paper(const httplib::Request& request) {
  if (options_.paper.empty()) {
    return refusal(404, "no paper to show: a real register prints on paper (frgate shows a simulated board's "
                        "paper when started with --paper DIR/paper/paper.txt)");
  }
  const auto count = countParameter(request, "lines", kDefaultPaperLines);
  if (!count) return refusal(400, "lines is a number from 1 to 1000");
  const auto lines = lastLines(options_.paper, static_cast<std::size_t>(*count));
  if (!lines) return refusal(503, "the paper file " + options_.paper.string() + " cannot be read");
  return {200, {{"lines", *lines}}};
}

void Gateway::attach(httplib::Server& server) {
  server.set_payload_max_length(kMaxBody);
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (authorized(request)) return httplib::Server::HandlerResponse::Unhandled;
    write(response, refusal(401, "this request needs \"Authorization: Bearer TOKEN\" with the gateway's token"));
    response.set_header("WWW-Authenticate", "Bearer");
    // The body, if any, is left unread: the connection ends with this answer.
    response.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    const char* message = response.status == 404   ? "no such route"
                          : response.status == 413 ? "the body holds more than 1 MiB"
                                                   : "the request could not be read (a body needs its Content-Length)";
    write(response, refusal(response.status, message));
  });
  server.set_exception_handler([this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
    log_ << "frgate: a request failed inside the gateway\n";
    write(response, refusal(500, "the gateway failed to serve the request"));
  });

  for (const RouteHandler& route : routeTable()) {
    const auto serve = [this, &route](const httplib::Request& request, httplib::Response& response) {
      const Answer answer = (this->*route.handler)(request);
      if (answer.status != 200 || !answer.body.is_string()) return write(response, answer);
      // The static pages: their text as it stands.
      const bool page = std::string_view(route.path) == "/";
      response.set_content(answer.body.get<std::string>(), page ? "text/html; charset=utf-8" : "application/json");
    };
    const std::string pattern = pathPattern(route.path);
    const std::string_view method = route.method;
    if (method == "GET") server.Get(pattern, serve);
    if (method == "POST") server.Post(pattern, serve);
    if (method == "PUT") server.Put(pattern, serve);
  }
}

Answer Gateway::openApi(const httplib::Request&) { return {200, std::string(openApiDocument())}; }

Answer Gateway::adminPage(const httplib::Request&) { return {200, std::string(gateway::adminPage())}; }

const std::vector<Gateway::RouteHandler>& Gateway::routeTable() {
  static const std::vector<RouteHandler> table = {
      {"GET", "/v1/status", &Gateway::status},
      {"POST", "/v1/receipts", &Gateway::document},
      {"POST", "/v1/shifts/open", &Gateway::document},
      {"POST", "/v1/shifts/close", &Gateway::document},
      {"POST", "/v1/cash/deposit", &Gateway::document},
      {"POST", "/v1/cash/payout", &Gateway::document},
      {"POST", "/v1/reports/x", &Gateway::report},
      {"POST", "/v1/reports/fiscal", &Gateway::report},
      {"POST", "/v1/reports/totals", &Gateway::report},
      {"POST", "/v1/reports/sections", &Gateway::report},
      {"POST", "/v1/reports/shifts", &Gateway::report},
      {"POST", "/v1/reports/period", &Gateway::report},
      {"POST", "/v1/tape", &Gateway::tape},
      {"POST", "/v1/copies", &Gateway::copy},
      {"GET", "/v1/cashiers/{n}", &Gateway::record<Cashier>},
      {"PUT", "/v1/cashiers/{n}", &Gateway::record<Cashier>},
      {"GET", "/v1/sections/{n}", &Gateway::record<Section>},
      {"PUT", "/v1/sections/{n}", &Gateway::record<Section>},
      {"GET", "/v1/discounts/{n}", &Gateway::record<Discount>},
      {"PUT", "/v1/discounts/{n}", &Gateway::record<Discount>},
      {"GET", "/v1/clock", &Gateway::clock},
      {"PUT", "/v1/clock", &Gateway::clock},
      {"GET", "/v1/paper-width", &Gateway::paperWidth},
      {"PUT", "/v1/paper-width", &Gateway::paperWidth},
      {"GET", "/v1/requests", &Gateway::requests},
      {"GET", "/v1/paper", &Gateway::paper},
      {"GET", "/openapi.json", &Gateway::openApi},
      {"GET", "/", &Gateway::adminPage},
  };
  return table;
}

std::vector<Route> Gateway::routes() {
  std::vector<Route> list;
  for (const RouteHandler& route : routeTable()) list.push_back({route.method, route.path});
  return list;
}

}  // namespace gateway
