#include "tools/gateway/document_maker.h"

#include <ctime>

#include "documents/base_document.h"
#include "link/host_protocol.h"
#include "tools/host/document_commands.h"
#include "tools/host/pacing.h"
#include "tools/host/receipt_commands.h"

namespace gateway {
namespace {

// The state of an open receipt: type, kind, receipt number (u16), operations (u16), total (i64).
constexpr std::size_t kReceiptStateSize = 14;
constexpr std::size_t kReceiptStateNumber = 2;
constexpr std::size_t kReceiptStateTotal = 6;

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// What the answer of a made document tells.
struct Made {
  std::uint32_t number = 0;
  std::uint32_t time = 0;
  std::optional<std::uint32_t> fiscalSign = {};
  std::uint16_t shift = 0;
  // Receipts.
  std::optional<std::uint16_t> receipt = {};
  std::optional<std::int64_t> total = {};
  std::optional<std::int64_t> change = {};
  // Deposits and payouts: the drawer after the document.
  std::optional<std::int64_t> drawer = {};
};

Answer madeAnswer(const DocumentOrder& order, const Made& made, bool settled) {
  Json document = {{"type", documentTypeWord(order.type).value_or("")},
                   {"number", made.number},
                   {"time", isoTime(made.time)},
                   {"fiscal_sign", made.fiscalSign ? Json(*made.fiscalSign) : Json(nullptr)},
                   {"shift", made.shift}};
  Json body = {{"document", document}, {"settled", settled}};
  const auto optionalMoney = [](const std::optional<std::int64_t>& value) {
    return value ? Json(moneyText(*value)) : Json(nullptr);
  };
  if (order.type == DocumentType::kReceipt) {
    body["receipt"] = made.receipt ? Json(*made.receipt) : Json(nullptr);
    body["total"] = optionalMoney(made.total);
    body["change"] = optionalMoney(made.change);
  } else if (order.type == DocumentType::kCashDeposit || order.type == DocumentType::kCashPayout) {
    body["amount"] = moneyText(order.amount);
    body["drawer_cash"] = optionalMoney(made.drawer);
  }
  return {201, body};
}

// The change the register handed back on a receipt of `total`: only an incoming receipt paid
// above its total gives change; no payment at all is the total in cash.
std::int64_t changeFor(const DocumentOrder& order, std::int64_t total) {
  const std::int64_t paid = order.cash + order.card;
  return order.incoming && paid > total ? paid - total : 0;
}

// Shown in answers and diagnostics: "the finish of a receipt".
std::string stepName(const host::Step& step) { return "\"" + step.label + "\""; }

}  // namespace

DocumentMaker::DocumentMaker(RegisterLine& line, RequestStore& store, std::ostream& log)
    : line_(line), store_(store), log_(log) {}

std::optional<DocumentMaker::Exchanged> DocumentMaker::exchange(const host::Request& request) {
  if (auto reply = line_.transact(request)) return Exchanged{std::move(*reply), false};
  // The re-send byte comes before anything else: any other request replaces the last reply.
  auto resent = line_.resend();
  if (resent && resent->identifier == request.identifier) return Exchanged{std::move(*resent), true};
  return std::nullopt;
}

void DocumentMaker::cancelOpenDocument() {
  const auto reply = line_.transact(protocol::kCancelDocument);
  if (reply && reply->code == 0) log_ << "frgate: cancelled the document left open in the register\n";
}

DocumentMaker::Outcome DocumentMaker::finished(const DocumentOrder& order, const host::Reply& finish, bool settled) {
  if (finish.code != 0) {
    cancelOpenDocument();  // a refused finish leaves the document open
    return {RequestState::kFailed, registerRefusal(finish.code, "the finish", finish.data), std::nullopt};
  }
  Made made;
  if (order.type == DocumentType::kReceipt) {
    const auto reply = host::parseReceiptReply(finish.data);
    if (reply) {
      made = {.number = reply->documentNumber, .time = reply->dateTime, .fiscalSign = reply->fiscalSign,
              .shift = reply->shiftNumber, .receipt = reply->receiptNumber, .total = reply->total,
              .change = reply->change};
    }
  } else if (const auto reply = host::parseCloseReply(order.type, finish.data)) {
    made = {.number = reply->documentNumber, .time = reply->dateTime, .fiscalSign = reply->fiscalSign,
            .shift = reply->shiftNumber.value_or(0)};
    if (reply->drawerCash) made.drawer = static_cast<std::int64_t>(*reply->drawerCash);
  }
  if (made.number == 0) {
    log_ << "frgate: a close reply of " << finish.data.size() << " bytes that is not its document's\n";
  }
  return {RequestState::kDone, madeAnswer(order, made, settled), made.number};
}

std::optional<DocumentMaker::Outcome> DocumentMaker::settleFromState(const RequestRecord& record,
                                                                     const DocumentOrder& order) {
  const auto statusReply = line_.transact(protocol::kStatus);
  const auto status = statusReply && statusReply->code == 0 ? parseStatus(statusReply->data) : std::nullopt;
  if (!status) return std::nullopt;
  if (status->openDocument != 0) cancelOpenDocument();
  if (status->lastNumber <= record.lastNumber) {
    return Outcome{RequestState::kFailed,
                   noReply("the register's reply was lost and the document was not made; a retry with the same "
                           "idempotency key makes it once"),
                   std::nullopt};
  }
  Made made{.number = status->lastNumber, .time = status->lastTime, .shift = status->shift};
  if (order.type == DocumentType::kReceipt) {
    made.receipt = status->receipts;
    if (record.openState.size() == kReceiptStateSize) {
      made.total = bytes::loadI64(record.openState, kReceiptStateTotal);
      made.receipt = bytes::loadU16(record.openState, kReceiptStateNumber);
      made.change = changeFor(order, *made.total);
    }
  } else if (order.type == DocumentType::kCashDeposit || order.type == DocumentType::kCashPayout) {
    if (const auto state = line_.transact(protocol::kState); state && state->code == 0) {
      made.drawer = drawerCash(state->data);
    }
  }
  return Outcome{RequestState::kDone, madeAnswer(order, made, true), made.number};
}

std::optional<DocumentMaker::Outcome> DocumentMaker::settle(const RequestRecord& record, const DocumentOrder& order,
                                                           const std::optional<host::Reply>& resent) {
  if (resent && resent->identifier == record.finishIdentifier) return finished(order, *resent, true);
  return settleFromState(record, order);
}

Answer DocumentMaker::conclude(const RequestRecord& record, const Outcome& outcome) {
  if (!store_.finish(record.key, outcome.state, outcome.answer.status, outcome.answer.body.dump(), outcome.document,
                     now())) {
    // The record stays pending and is settled again from the register before the next document.
    mayBePending_ = true;
    log_ << "frgate: the outcome of request " << record.key << " could not be recorded: " << store_.lastError()
         << "\n";
  }
  if (outcome.answer.body.value("settled", false)) {
    log_ << "frgate: settled request " << record.key << ": " << stateName(outcome.state) << "\n";
  }
  return outcome.answer;
}

Answer DocumentMaker::stillPending(const RequestRecord& record) {
  mayBePending_ = true;
  log_ << "frgate: request " << record.key << " stays pending: the register does not answer\n";
  return noReply("the register does not answer; the request stays pending and is settled as soon as it answers");
}

bool DocumentMaker::settlePending() {
  if (!mayBePending_) return true;
  for (const RequestRecord& record : store_.pending()) {
    std::string problem;
    const auto body = parseBody(record.body, problem);
    const auto kind = documentKindForPath(record.path);
    const auto order = body && kind ? documentOrder(*kind, *body, host::Operator{}, problem) : std::nullopt;
    if (!order) {  // written by this program from a body it had taken: cannot happen
      store_.finish(record.key, RequestState::kFailed, 500, refusal(500, "unreadable record").body.dump(),
                    std::nullopt, now());
      continue;
    }
    const auto resent = line_.resend();
    const auto outcome = settle(record, *order, resent);
    if (!outcome) {
      stillPending(record);
      return false;
    }
    conclude(record, *outcome);
  }
  mayBePending_ = false;
  return true;
}

Answer DocumentMaker::make(const std::string& key, const std::string& path, const std::string& body,
                           const DocumentOrder& order) {
  if (const auto earlier = store_.find(key); earlier && earlier->state != RequestState::kFailed) {
    if (earlier->body != body || earlier->path != path) {
      return refusal(422, "the idempotency key was used with another request");
    }
    if (earlier->state == RequestState::kPending) return stillPending(*earlier);
    return {earlier->status.value_or(201), Json::parse(earlier->answer, nullptr, false), true};
  }

  const auto statusReply = line_.transact(protocol::kStatus);
  if (!statusReply) return noReply("the register does not answer");
  if (statusReply->code != 0) return registerRefusal(statusReply->code, "the status request");
  const auto status = parseStatus(statusReply->data);
  if (!status) return noReply("the register's status could not be read");
  if (status->openDocument != 0) cancelOpenDocument();  // left by a request that ended
  // The register refuses a document opened in the second of the last one.
  const bool paced = host::waitPastMoment([this](std::uint8_t command) { return line_.transact(command); },
                                          status->lastTime);
  if (!paced) return noReply("the register does not answer");

  const bool readsState = order.type == DocumentType::kReceipt;
  const auto requests = static_cast<std::uint32_t>(order.plan.steps.size() + (readsState ? 1 : 0));
  std::uint32_t identifier = line_.reserveIdentifiers(requests);
  RequestRecord record{.key = key, .path = path, .body = body, .lastNumber = status->lastNumber,
                       .finishIdentifier = identifier + requests - 1};
  if (!store_.beginPending(record, now())) {
    log_ << "frgate: request " << key << " could not be recorded: " << store_.lastError() << "\n";
    return refusal(503, "the gateway cannot write its records; nothing was made");
  }
  // Pending until its outcome is recorded, however the serving ends: the next request looks.
  mayBePending_ = true;

  const auto lost = [&] {
    const auto outcome = settleFromState(record, order);
    return outcome ? conclude(record, *outcome) : stillPending(record);
  };
  const auto failed = [&](Answer answer) {
    return conclude(record, {RequestState::kFailed, std::move(answer), std::nullopt});
  };
  for (std::size_t i = 0; i < order.plan.steps.size(); ++i) {
    const host::Step& step = order.plan.steps[i];
    const bool finishing = i + 1 == order.plan.steps.size();
    if (finishing && readsState) {
      // Read before the finish, so that a receipt settled from the register's state still
      // answers its total and change.
      const auto state = exchange({.command = protocol::kOpenDocumentState, .identifier = identifier++});
      if (!state) return lost();
      if (state->reply.code != 0 || state->reply.data.size() != kReceiptStateSize) {
        cancelOpenDocument();
        return failed(registerRefusal(state->reply.code, "the open receipt's state"));
      }
      record.openState = state->reply.data;
      if (!store_.saveOpenState(key, record.openState, now())) {
        cancelOpenDocument();
        return failed(refusal(503, "the gateway cannot write its records; nothing was made"));
      }
    }
    host::Request request = step.request;
    request.identifier = identifier++;
    const auto exchanged = exchange(request);
    if (!exchanged) return lost();
    const host::Reply& reply = exchanged->reply;
    if (finishing) return conclude(record, finished(order, reply, exchanged->resent));
    if (reply.code != 0) {
      if (i != 0) cancelOpenDocument();
      return failed(registerRefusal(reply.code, stepName(step), reply.data));
    }
  }
  return failed(refusal(500, "a document request without a finish"));  // every plan ends with one
}

}  // namespace gateway
