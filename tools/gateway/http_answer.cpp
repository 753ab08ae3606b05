#include "tools/gateway/http_answer.h"

#include "core/state/result_code.h"
#include "tools/host/document_commands.h"
#include "tools/host/result_codes.h"

namespace gateway {
namespace {

struct CodeStatus {
  int code;
  int status;
};

// Codes not listed are the register, its card or its line failing: 503.
constexpr CodeStatus kCodeStatuses[] = {
    {result::kTooLong, 400},           {result::kBadOperatorPrefix, 400}, {result::kUnknownSelector, 400},
    {result::kBadPayload, 400},        {result::kWrongType, 400},         {result::kItemNotTaken, 400},
    {result::kBadRegistrationText, 400}, {result::kRegistrationIncomplete, 400},
    {result::kMandatoryMissing, 400},  {result::kOpenDataShort, 400},     {result::kDepositTooLarge, 400},
    {result::kBadReceiptKind, 400},    {result::kSectionNotFound, 400},   {result::kDiscountNotFound, 400},
    {result::kTaxRateNotFound, 400},   {result::kBadReceiptItem, 400},    {result::kPaymentShort, 400},
    {result::kOverpaid, 400},
    {result::kNoPermission, 403},      {result::kBadOperator, 403},
    {result::kNotFound, 404},
    {result::kTimeNotLater, 409},      {result::kSerialAlreadySet, 409},  {result::kShiftOpen, 409},
    {result::kNoShiftOpen, 409},       {result::kDocumentOpen, 409},      {result::kNoDocumentOpen, 409},
    {result::kArchiveClosed, 409},     {result::kRegistrationLimit, 409}, {result::kRegistrationMissing, 409},
    {result::kDrawerShort, 409},       {result::kReceiptLimit, 409},      {result::kShiftTooOld, 409},
    {result::kDrawerNotEmpty, 409},
};

constexpr const char* meaningForStatus(int status) {
  switch (status) {
    case 400: return "request not valid";
    case 401: return "no or wrong token";
    case 404: return "no such route or record";
    case 409: return "not now";
    case 413: return "body too large";
    case 422: return "idempotency key reused with another body";
    case 503: return "register not available";
    default: return "gateway fault";
  }
}

Json errorBody(std::optional<int> code, std::string_view meaning, std::string_view message) {
  return {{"error",
           {{"code", code ? Json(*code) : Json(nullptr)}, {"meaning", meaning}, {"message", message}}}};
}

}  // namespace

int statusForCode(int code) {
  for (const CodeStatus& entry : kCodeStatuses) {
    if (entry.code == code) return entry.status;
  }
  return 503;
}

Answer refusal(int status, std::string_view message) {
  return {status, errorBody(std::nullopt, meaningForStatus(status), message)};
}

Answer registerRefusal(int code, std::string_view what, bytes::View data) {
  const std::string meaning = host::resultMeaning(static_cast<std::uint8_t>(code));
  std::string message = "the register refused " + std::string(what) + ": " + meaning;
  if (code == result::kMandatoryMissing && data.size() == sizeof(std::uint16_t)) {
    const std::uint16_t tag = bytes::loadU16(data, 0);
    const std::string_view name = host::missingItemName(tag);
    message += " (tag " + std::to_string(tag) + (name.empty() ? "" : ", " + std::string(name)) + ")";
  }
  return {statusForCode(code), errorBody(code, meaning, message)};
}

Answer noReply(std::string_view message) { return {503, errorBody(std::nullopt, meaningForStatus(503), message)}; }

}  // namespace gateway
