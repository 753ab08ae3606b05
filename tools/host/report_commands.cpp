#include "tools/host/report_commands.h"

#include <charconv>

#include "link/host_protocol.h"
#include "tools/common/moment.h"

namespace host {

namespace {

template <typename Number>
std::optional<Number> parseDecimal(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Plan onePlan(std::uint8_t command, const Operator& cashier, bytes::View body) {
  bytes::Bytes payload = operatorPrefix(cashier);
  bytes::appendBytes(payload, body);
  return Plan{.steps = {{.label = "", .request = {.command = command, .payload = std::move(payload)}}}};
}

}  // namespace

std::optional<Plan> reportPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                               std::string& problem) {
  problem = "the report is x, fiscal, totals, sections, shifts A B or period FROM TO";
  if (arguments.empty()) return std::nullopt;
  const std::string_view kind = arguments[0];
  bytes::Bytes body;
  if (arguments.size() == 1) {
    constexpr std::pair<std::string_view, std::uint8_t> kSimple[] = {{"x", 1}, {"fiscal", 2}, {"totals", 3}, {"sections", 4}};
    for (const auto& [name, selector] : kSimple) {
      if (kind == name) body.push_back(selector);
    }
  } else if (arguments.size() == 3 && kind == "shifts") {
    const auto a = parseDecimal<std::uint16_t>(arguments[1]), b = parseDecimal<std::uint16_t>(arguments[2]);
    if (!a || !b) {
      problem = "shift numbers are 0 to 65535";
      return std::nullopt;
    }
    body.push_back(6);
    bytes::appendU16(body, *a);
    bytes::appendU16(body, *b);
  } else if (arguments.size() == 3 && kind == "period") {
    const auto period = moment::parsePeriod(arguments[1], arguments[2], problem);
    if (!period) return std::nullopt;
    body.push_back(5);
    bytes::appendU32(body, period->from);
    bytes::appendU32(body, period->to);
  }
  if (body.empty()) return std::nullopt;
  problem.clear();
  return onePlan(protocol::kReport, cashier, body);
}

std::optional<Plan> tapePlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem) {
  bytes::Bytes body;
  if (arguments.size() == 1) {
    const auto from = parseDecimal<std::uint32_t>(arguments[0]);
    if (!from) {
      problem = "FROM-NUMBER is a document number";
      return std::nullopt;
    }
    bytes::appendU32(body, *from);
  } else if (!arguments.empty()) {
    return std::nullopt;
  }
  return onePlan(protocol::kControlTape, cashier, body);
}

std::optional<Plan> copyPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem) {
  const auto number = arguments.size() == 1 ? parseDecimal<std::uint32_t>(arguments[0]) : std::nullopt;
  if (!number) {
    problem = "N is a document number";
    return std::nullopt;
  }
  bytes::Bytes body;
  bytes::appendU32(body, *number);
  return onePlan(protocol::kDocumentCopy, cashier, body);
}

std::string tapeContinuation(std::uint8_t command, std::uint8_t code, bytes::View data) {
  if (command != protocol::kControlTape || code == 0 || data.size() != sizeof(std::uint32_t)) return {};
  const std::uint32_t last = bytes::loadU32(data, 0);
  const std::string done = last == 0 ? "no receipt was printed completely"
                                     : "printed completely up to receipt document " + std::to_string(last);
  return "the tape stopped: " + done + "; once the printer is ready, go on with: frhost tape " +
         std::to_string(std::uint64_t{last} + 1) + "\n";
}

}  // namespace host
