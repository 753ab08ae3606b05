#include "tools/gateway/answer_forms.h"

#include <ctime>

#include "core/state/status_records.h"
#include "documents/base_document.h"
#include "tools/host/reply_fields.h"
#include "values/decimal.h"

namespace gateway {
namespace {

constexpr std::size_t kStateBlockSize = 29;
constexpr std::size_t kStateDrawerCash = 21;  // after shift flag, shift, receipts and four u32

// The receipt kinds in the order the counter blocks hold them.
constexpr const char* kKindWords[kReceiptKinds] = {"sale", "purchase", "sale-return", "purchase-return"};

Json countJson(std::uint32_t count, std::int64_t sum) { return {{"count", count}, {"sum", moneyText(sum)}}; }

template <typename PerKind>
Json kindJson(const PerKind& counters) {
  return {{"receipts", counters.receipts},
          {"total", moneyText(counters.total)},
          {"cash", moneyText(counters.cash)},
          {"card", moneyText(counters.electronic)}};
}

}  // namespace

std::string isoTime(std::int64_t seconds) {
  const std::time_t moment = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (::localtime_r(&moment, &local) == nullptr) return {};
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[24];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return std::string(text) + zone;
}

std::string moneyText(std::int64_t hundredths) { return Decimal(Decimal::kMoneyScale, hundredths).toString(); }

std::optional<std::string> documentTypeWord(std::uint8_t type) {
  switch (type) {
    case DocumentType::kFiscalization: return "fiscalization";
    case DocumentType::kShiftClosing: return "shift-close";
    case DocumentType::kReceipt: return "receipt";
    case DocumentType::kArchiveClosing: return "archive-close";
    case DocumentType::kCashDeposit: return "deposit";
    case DocumentType::kCashPayout: return "payout";
    case DocumentType::kShiftOpening: return "shift-open";
    default: return std::nullopt;
  }
}

std::optional<RegisterStatus> parseStatus(bytes::View data) {
  using Layout = FrStatus::StatusStruct;
  if (data.size() < Layout::kSize) return std::nullopt;
  const std::size_t serialSize = data.size() - Layout::kSize;
  const bytes::View record = data.subspan(serialSize);
  RegisterStatus status;
  status.serial = bytes::fieldText(data.first(serialSize));
  status.flags = bytes::loadU16(record, Layout::kFlags);
  status.fiscalizations = bytes::loadU8(record, Layout::kFiscalizationCount);
  status.shift = bytes::loadU16(record, Layout::kShiftNumber);
  status.lastNumber = bytes::loadU32(record, Layout::kLastDocumentNumber);
  status.lastTime = bytes::loadU32(record, Layout::kLastDocumentTime);
  status.receipts = bytes::loadU16(record, Layout::kReceiptCounter);
  status.openDocument = bytes::loadU8(record, Layout::kOpenDocumentState);
  return status;
}

std::optional<std::int64_t> drawerCash(bytes::View stateBlock) {
  if (stateBlock.size() != kStateBlockSize) return std::nullopt;
  return bytes::loadI64(stateBlock, kStateDrawerCash);
}

Json statusJson(const RegisterStatus& status, std::optional<std::int64_t> drawer) {
  const char* printer = (status.flags & FrStatus::kPrinterNotAnswering) ? "not-answering"
                        : (status.flags & FrStatus::kPaperOut)          ? "paper-out"
                        : (status.flags & FrStatus::kPaperNearEnd)      ? "near-end"
                                                                        : "ok";
  Json answer = {{"serial", status.serial},
                 {"registered", status.fiscalizations > 0},
                 {"shift", {{"open", (status.flags & FrStatus::kShiftOpen) != 0}, {"number", status.shift}}},
                 {"receipts_in_shift", status.receipts},
                 {"drawer_cash", drawer ? Json(moneyText(*drawer)) : Json(nullptr)},
                 {"last_document", nullptr},
                 {"open_document", nullptr},
                 {"printer", printer},
                 {"flags", host::statusFlagNames(status.flags)}};
  if (status.lastNumber != 0) {
    answer["last_document"] = {{"number", status.lastNumber}, {"time", isoTime(status.lastTime)}};
  }
  if (const auto type = documentTypeWord(status.openDocument)) answer["open_document"] = *type;
  return answer;
}

Json countersJson(const CounterSet& block, bool shiftCounters) {
  Json answer;
  answer[shiftCounters ? "shift" : "shifts"] = block.shiftNumber;
  answer["deposits"] = countJson(block.deposits, block.depositSum);
  answer["payouts"] = countJson(block.payouts, block.payoutSum);
  answer["receipts"] = block.receipts;
  if (shiftCounters) answer["drawer_cash"] = moneyText(block.drawerCash);
  Json kinds;
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    const OperationCounters& counters = block.byKind[kind];
    Json entry = kindJson(counters);
    Json taxes = Json::object();
    for (std::size_t index = 0; index < OperationCounters::kTaxSums; ++index) {
      if (counters.taxSums[index] != 0) taxes[std::to_string(index + 1)] = moneyText(counters.taxSums[index]);
    }
    entry["taxes"] = taxes;
    kinds[kKindWords[kind]] = entry;
  }
  answer["kinds"] = kinds;
  return answer;
}

Json totalsJson(const TotalCounters& block) {
  Json answer = {{"shift", block.shiftNumber},
                 {"deposits", countJson(block.deposits, block.depositSum)},
                 {"payouts", countJson(block.payouts, block.payoutSum)},
                 {"receipts", block.receipts}};
  Json kinds;
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) kinds[kKindWords[kind]] = kindJson(block.byKind[kind]);
  answer["kinds"] = kinds;
  return answer;
}

Json sectionsJson(const std::array<SectionSums, kReceiptKinds>& sums) {
  Json sections = Json::array();
  for (std::size_t section = 0; section < SectionSums::kSections; ++section) {
    Json entry = {{"section", section + 1}};
    bool any = false;
    for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
      entry[kKindWords[kind]] = moneyText(sums[kind].bySection[section]);
      any = any || sums[kind].bySection[section] != 0;
    }
    if (any) sections.push_back(entry);
  }
  return sections;
}

}  // namespace gateway
