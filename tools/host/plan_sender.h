// Sending the requests a command planned, and cancelling the document one of them opened and
// could not finish.
#pragma once

#include <string_view>

#include "tools/host/plan.h"
#include "tools/host/session.h"
#include "values/bytes.h"

namespace host {

// What the data of a successful last reply say.
using DescribeReply = Fields (*)(bytes::View data);

struct PlanReplies {
  // The label of the reply of a plan of one request; a longer plan labels each with its step's.
  std::string_view name;
  // Null when the last reply's data add nothing.
  DescribeReply describe = nullptr;
  // The state block has no flags: after it the status flags are asked for and shown too.
  bool withFlags = false;
};

// Sends the plan's requests in order until one is answered with a non-zero code, showing a line
// for each success and the whole reply of the last request sent. A document the plan opened is
// cancelled when a later request is refused, and when any reply of a document's plan is lost
// (even a lost open may have opened it); the note then says what the cancel's answer tells:
// whether the register still held the document or had already stored it.
void sendPlan(Session& session, const Plan& plan, const PlanReplies& replies);

}  // namespace host
