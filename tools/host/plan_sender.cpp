#include "tools/host/plan_sender.h"

#include <optional>
#include <string>

#include "core/state/result_code.h"
#include "link/host_protocol.h"
#include "tools/host/number_text.h"
#include "tools/host/reply_fields.h"
#include "tools/host/report_commands.h"

namespace host {
namespace {

void printDocumentMayBeOpen(Session& session) {
  session.note() << "the register may still hold the document; \"frhost document\" tells, \"frhost cancel\" "
                    "drops it\n";
}

// After the reply to a request of a document's plan was lost, what a cancel answered 0 (the
// register still held the document) and one answered 29 (it held none) tell.
struct LostReply {
  std::string_view cancelled;
  std::string_view noneOpen;
};

LostReply lostReplyTo(const Plan& plan, std::size_t step) {
  if (step + 1 == plan.steps.size()) {
    return {"the finish never reached the register: the document was cancelled",
            "the register had stored the document before the reply was lost (\"frhost status\" shows the last "
            "document)"};
  }
  return {"the register still held the document open: it was cancelled",
          step == 0 ? "the open never reached the register" : "the register no longer held it"};
}

// Cancels the document a plan opened and could not finish, or whose request's reply was lost.
void cancelUnfinished(Session& session, std::optional<LostReply> lost = {}) {
  const auto reply = session.transact(protocol::kCancelDocument);
  if (!reply) {
    printDocumentMayBeOpen(session);
    return;
  }
  session.report("cancel " + decimalCodes({protocol::kCancelDocument}), protocol::kCancelDocument, *reply, {},
                 Session::Show::kLine);
  if (reply->code == 0) {
    session.note() << (lost ? lost->cancelled
                            : "the unfinished document was cancelled: the register holds no half-made document")
                   << "\n";
  } else if (reply->code == result::kNoDocumentOpen && lost) {
    session.note() << "no document was open: " << lost->noneOpen << "\n";
  } else if (reply->code != result::kNoDocumentOpen) {
    printDocumentMayBeOpen(session);
  }
}

// The status flags in words, after another reply: a line for people, an object in JSON.
void showFlags(Session& session) {
  const auto reply = session.transact(protocol::kStatus);
  if (!reply) return;
  const Fields fields = reply->code == 0 ? statusFlagFields(reply->data) : Fields{};
  session.report("status flags", protocol::kStatus, *reply, fields,
                 reply->code == 0 ? Session::Show::kFields : Session::Show::kLine);
}

}  // namespace

void sendPlan(Session& session, const Plan& plan, const PlanReplies& replies) {
  const bool labelled = plan.steps.size() > 1;
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const Step& step = plan.steps[i];
    const bool last = i + 1 == plan.steps.size();
    // Once the open has succeeded, a document is open until the last request finishes it.
    const bool documentOpen = plan.opensDocument && i > 0;
    const auto reply = session.transact(step.request.command, step.request.payload);
    if (!reply) {
      if (plan.opensDocument) cancelUnfinished(session, lostReplyTo(plan, i));
      return;
    }
    const std::string_view label = labelled ? std::string_view(step.label) : replies.name;
    if (reply->code == 0 && !last) {
      session.report(label, step.request.command, *reply, {}, Session::Show::kLine);
      continue;
    }
    if (labelled && !session.json()) session.out() << step.label << ":\n";
    const Fields fields = reply->code == 0 && replies.describe ? replies.describe(reply->data) : Fields{};
    session.report(label, step.request.command, *reply, fields);
    session.note() << tapeContinuation(step.request.command, reply->code, reply->data);
    if (reply->code == 0) {
      if (replies.withFlags) showFlags(session);
      return;
    }
    if (labelled) session.note() << "stopped at " << step.label << ", code " << unsigned{reply->code} << "\n";
    if (documentOpen) cancelUnfinished(session);
    return;
  }
}

}  // namespace host
