// An answer of the gateway: its HTTP status and JSON body, and the error answers.
//
// An error is {"error": {"code": C, "meaning": TEXT, "message": TEXT}}: `code` is the
// register's result code, or null when the gateway itself refuses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/gateway/answer_forms.h"
#include "values/bytes.h"

namespace gateway {

struct Answer {
  int status = 200;
  Json body = Json::object();
  // A recorded answer given again to a later request with its idempotency key.
  bool replayed = false;
};

// The HTTP status that fits a result code of the register: 400 bad content, 403 the cashier may
// not, 404 no such record or nothing to report, 409 the register's state forbids it now, 503
// the register, its printer or its card cannot serve.
int statusForCode(int code);

// The gateway's own refusal.
Answer refusal(int status, std::string_view message);
// The register's refusal of `what` with `code`; a missing item (37) names the item's tag from
// `data`.
Answer registerRefusal(int code, std::string_view what, bytes::View data = {});
// No reply came from the register.
Answer noReply(std::string_view message);

}  // namespace gateway
