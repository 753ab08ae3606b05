// Request bodies from outside, as every route that takes one reads them: whatever the bytes,
// the parsers answer a request or a refusal, never crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/gateway/request_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t route = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string problem;
  const auto body = gateway::parseBody(text, problem);
  if (!body) return 0;
  const host::Operator cashier;
  static constexpr std::string_view kReports[] = {"x", "fiscal", "totals", "sections", "shifts", "period"};
  switch (route % 5) {
    case 0: gateway::documentOrder(static_cast<gateway::DocumentKind>(route / 5 % 5), *body, cashier, problem); break;
    case 1: gateway::reportRequest(kReports[route / 5 % 6], *body, cashier, problem); break;
    case 2: gateway::tapeRequest(*body, cashier, problem); gateway::copyRequest(*body, cashier, problem); break;
    case 3: gateway::clockTime(*body, problem); gateway::paperWidth(*body, problem); break;
    default: gateway::bodyOperator(*body, cashier, problem); break;
  }
  if (body->dump() != gateway::BodyJson::parse(body->dump()).dump()) __builtin_trap();  // canonical form is stable
  return 0;
}
