// Request bodies from outside, as every route that takes one reads them: whatever the bytes,
// the parsers answer a request or a refusal, never crash. The first byte picks the route.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/gateway/request_bodies.h"

namespace {

// A record edit on record `number` as the register would hold it unset.
template <typename Record>
void edit(std::uint8_t number, const gateway::BodyJson& body, std::string& problem) {
  Record stored;
  stored.number = number;
  gateway::editedRecord(stored, number, body, problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t route = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string problem;
  const auto body = gateway::parseBody(text, problem);
  if (!body) return 0;
  const host::Operator cashier;
  static constexpr std::string_view kReports[] = {"x", "fiscal", "totals", "sections", "shifts", "period"};
  const auto number = static_cast<std::uint8_t>(route / 15 % 21);  // 0 and 1 to 20
  switch (route % 5) {
    case 0: gateway::documentOrder(static_cast<gateway::DocumentKind>(route / 5 % 5), *body, cashier, problem); break;
    case 1: gateway::reportRequest(kReports[route / 5 % 6], *body, cashier, problem); break;
    case 2: gateway::tapeRequest(*body, cashier, problem); gateway::copyRequest(*body, cashier, problem); break;
    case 3: gateway::clockTime(*body, problem); gateway::paperWidth(*body, problem); break;
    default:
      gateway::bodyOperator(*body, cashier, problem);
      switch (route / 5 % 3) {
        case 0: edit<Cashier>(number, *body, problem); break;
        case 1: edit<Section>(number, *body, problem); break;
        default: edit<Discount>(number, *body, problem); break;
      }
      break;
  }
  if (body->dump() != gateway::BodyJson::parse(body->dump()).dump()) __builtin_trap();  // canonical form is stable
  return 0;
}
