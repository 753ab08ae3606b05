#include "tools/host/document_commands.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <set>
#include <tuple>

#include "documents/base_document.h"
#include "documents/cash_ctrl_document.h"
#include "documents/fiscalization_document.h"
#include "documents/reg_data.h"
#include "link/host_protocol.h"
#include "reference/tax_rate.h"
#include "tools/host/number_text.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace host {
namespace {


// Finishing data of a registration: taxpayer number (12 bytes), then registration number (16),
// each padded with zero bytes.
constexpr std::size_t kTaxpayerNumberSize = 12;
constexpr std::size_t kRegistrationNumberSize = 16;

// Open data: a length byte, then that many bytes of cashier name.
constexpr std::size_t kMaxOpenDataName = 255;

constexpr std::size_t kSerialNumberDigits = 10;
// 99.99 %, the highest percentage a tax rate holds.
constexpr std::uint64_t kMaxPercentage = 9999;

constexpr std::size_t kCloseReplyBaseSize = 12;

bool allDigits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string label(std::string_view what, std::uint8_t code) {
  return std::string(what) + " (" + std::to_string(code) + ")";
}

std::optional<LabelledItem> registrationText(std::uint16_t tag, std::string_view name, std::string_view utf8,
                                             std::string& problem) {
  const std::string text = cp866::fromUtf8(utf8);
  if (text.empty() || text.size() > FiscalizationDocument::kMaxTextSize) {
    problem = std::string(name) + " must have 1 to " + std::to_string(FiscalizationDocument::kMaxTextSize) +
              " characters";
    return std::nullopt;
  }
  LabelledItem labelled{std::string(name) + " " + std::to_string(tag), {}};
  labelled.item.setText(tag, text);
  return labelled;
}

// SLOT:KIND:PERCENT:NAME as the container of tax index SLOT.
std::optional<LabelledItem> taxRateItem(std::string_view spec, std::set<unsigned>& slotsTaken, std::string& problem) {
  std::array<std::string_view, 3> fields;
  for (std::string_view& field : fields) {
    const std::size_t colon = spec.find(':');
    if (colon == std::string_view::npos) {
      problem = "a tax rate is SLOT:KIND:PERCENT:NAME";
      return std::nullopt;
    }
    field = spec.substr(0, colon);
    spec.remove_prefix(colon + 1);
  }
  const auto slot = decimalBetween(fields[0], 1, static_cast<unsigned>(RegData::kTaxRateSlots));
  const auto kind = decimalBetween(fields[1], 0, 2);
  const auto percentage = parseHundredths(fields[2], kMaxPercentage);
  if (!slot) {
    problem = "a tax rate's SLOT is 1 to 5";
    return std::nullopt;
  }
  if (!slotsTaken.insert(*slot).second) {
    problem = "tax rate " + std::to_string(*slot) + " is given twice";
    return std::nullopt;
  }
  if (!kind) {
    problem = "a tax rate's KIND is 0 (without tax), 1 (included in prices) or 2 (on top)";
    return std::nullopt;
  }
  if (!percentage) {
    problem = "a tax rate's PERCENT is below 100 with at most two decimals";
    return std::nullopt;
  }

  TaxRate rate;
  rate.setKind(static_cast<std::uint8_t>(*kind));
  rate.setPercentage(static_cast<std::uint16_t>(*percentage));
  rate.setName(cp866::fromUtf8(spec));
  if (!rate.isValid()) {
    problem = "a tax rate's NAME has 1 to " + std::to_string(TaxRate::kNameField.size()) + " characters";
    return std::nullopt;
  }
  const std::size_t index = *slot - 1;
  return LabelledItem{"tax rate " + std::to_string(*slot) + " " + std::to_string(tag::kFirstTaxRate + index),
                      rate.toTlv(index)};
}

}  // namespace

bytes::Bytes operatorPrefix(const Operator& cashier) {
  bytes::Bytes prefix;
  bytes::appendU8(prefix, cashier.number);
  bytes::appendU32(prefix, cashier.password);
  return prefix;
}

Plan documentPlan(const DocumentCodes& codes, const Operator& cashier, bytes::View openData,
                  const std::vector<LabelledItem>& items, bytes::View finishingData) {
  const std::string type(documentTypeName(codes.type));
  bytes::Bytes openPayload = operatorPrefix(cashier);
  bytes::appendBytes(openPayload, openData);

  Plan plan{.opensDocument = true};
  plan.steps.push_back({label("open " + type, codes.open), {.command = codes.open, .payload = openPayload}});
  for (const LabelledItem& labelled : items) {
    plan.steps.push_back({label("add " + labelled.label, protocol::kAddItem),
                          {.command = protocol::kAddItem, .payload = labelled.item.encode()}});
  }
  plan.steps.push_back(
      {label("finish " + type, codes.finish),
       {.command = codes.finish, .payload = bytes::Bytes(finishingData.begin(), finishingData.end())}});
  return plan;
}

std::optional<std::uint64_t> parseHundredths(std::string_view text, std::uint64_t maximum) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() || !allDigits(whole) || !allDigits(fraction) || fraction.size() > 2 ||
      (point != std::string_view::npos && fraction.empty())) {
    return std::nullopt;
  }
  std::uint64_t units = 0;
  if (std::from_chars(whole.data(), whole.data() + whole.size(), units).ec != std::errc()) return std::nullopt;
  // units * 100 + 99 must not wrap.
  if (units > (std::numeric_limits<std::uint64_t>::max() - 99) / 100) return std::nullopt;
  std::uint64_t hundredths = units * 100;
  if (!fraction.empty()) hundredths += static_cast<std::uint64_t>(fraction[0] - '0') * 10;
  if (fraction.size() == 2) hundredths += static_cast<std::uint64_t>(fraction[1] - '0');
  if (hundredths > maximum) return std::nullopt;
  return hundredths;
}

std::optional<bytes::Bytes> amountData(std::string_view roubles) {
  const auto hundredths = parseHundredths(roubles, std::numeric_limits<std::int64_t>::max());
  if (!hundredths) return std::nullopt;
  bytes::Bytes data;
  bytes::appendI64(data, static_cast<std::int64_t>(*hundredths));
  return data;
}

std::optional<bytes::Bytes> serialNumberPayload(const Operator& cashier, std::string_view digits) {
  if (digits.size() != kSerialNumberDigits || !allDigits(digits)) return std::nullopt;
  bytes::Bytes payload = operatorPrefix(cashier);
  bytes::appendBytes(payload, bytes::view(digits));
  return payload;
}

void RegistrationArguments::declare(CLI::App& command) {
  // A value given twice: the last counts.
  command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  command.add_option("--user", user_, "user name")->required()->type_name("TEXT");
  command.add_option("--place", place_, "place of settlement")->required()->type_name("TEXT");
  command.add_option("--address", address_, "address of settlement")->required()->type_name("TEXT");
  command.add_option("--inn", taxpayerNumber_, "taxpayer number, 10 to 12 digits")->required()->type_name("DIGITS");
  command.add_option("--regnum", registrationNumber_, "registration number, 10 to 16 digits")
      ->required()
      ->type_name("DIGITS");
  command
      .add_option("--tax", taxRates_,
                  "a tax rate: index 1-5; kind 0 without tax, 1 included in prices, 2 on top; PERCENT like 20 or "
                  "20.00; repeat for each rate")
      ->type_name("SLOT:KIND:PERCENT:NAME")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  command.add_option("--cashier-name", cashierName_, "the cashier name the document carries")->type_name("TEXT");
}

std::optional<Plan> RegistrationArguments::plan(const Operator& cashier, std::string& problem) const {
  // The register's own digit rules decide, on the fields as the finishing data fill them.
  RegData numbers;
  if (!numbers.setText(RegData::Text::TaxpayerNumber, taxpayerNumber_) || !numbers.taxpayerNumberValid()) {
    problem = "--inn takes the taxpayer number: 10 to 12 digits";
    return std::nullopt;
  }
  if (!numbers.setText(RegData::Text::RegistrationNumber, registrationNumber_) ||
      !numbers.registrationNumberValid()) {
    problem = "--regnum takes the registration number: 10 to 16 digits";
    return std::nullopt;
  }

  std::vector<LabelledItem> items;
  for (const auto& [itemTag, name, text] : {std::tuple{tag::kUserName, "user name", std::string_view(user_)},
                                            std::tuple{tag::kPlace, "place", std::string_view(place_)},
                                            std::tuple{tag::kAddress, "address", std::string_view(address_)}}) {
    auto item = registrationText(itemTag, name, text, problem);
    if (!item) return std::nullopt;
    items.push_back(std::move(*item));
  }
  std::set<unsigned> slotsTaken;
  for (const std::string_view spec : taxRates_) {
    auto item = taxRateItem(spec, slotsTaken, problem);
    if (!item) return std::nullopt;
    items.push_back(std::move(*item));
  }

  bytes::Bytes openData;
  if (cashierName_) {
    const std::string name = cp866::fromUtf8(*cashierName_);
    if (name.size() > kMaxOpenDataName) {
      problem = "--cashier-name takes at most " + std::to_string(kMaxOpenDataName) + " characters";
      return std::nullopt;
    }
    bytes::appendU8(openData, static_cast<std::uint8_t>(name.size()));
    bytes::appendBytes(openData, bytes::view(name));
  }

  bytes::Bytes finishingData(kTaxpayerNumberSize + kRegistrationNumberSize, 0);
  bytes::storeBytes(finishingData, 0, kTaxpayerNumberSize, bytes::view(taxpayerNumber_));
  bytes::storeBytes(finishingData, kTaxpayerNumberSize, kRegistrationNumberSize, bytes::view(registrationNumber_));
  return documentPlan(kFiscalizationCodes, cashier, openData, items, finishingData);
}

std::optional<Plan> registrationPlan(const Operator& cashier, Arguments words, std::string& problem) {
  RegistrationArguments registration;
  return planFromWords(registration, cashier, words, problem);
}

std::optional<CloseReply> parseCloseReply(std::uint8_t type, bytes::View data) {
  bool withShift = false;
  bool withDrawerCash = false;
  switch (type) {
    case DocumentType::kFiscalization:
    case DocumentType::kArchiveClosing:
      break;
    case DocumentType::kShiftOpening:
    case DocumentType::kShiftClosing:
      withShift = true;
      break;
    case DocumentType::kCashDeposit:
    case DocumentType::kCashPayout:
      withShift = true;
      withDrawerCash = true;
      break;
    default:
      return std::nullopt;
  }
  const std::size_t size = kCloseReplyBaseSize + (withShift ? sizeof(std::uint16_t) : 0) +
                           (withDrawerCash ? sizeof(std::uint64_t) : 0);
  if (data.size() != size) return std::nullopt;

  bytes::ByteReader reader(data);
  CloseReply reply;
  reply.documentNumber = reader.u32();
  reply.fiscalSign = reader.u32();
  reply.dateTime = reader.u32();
  if (withShift) reply.shiftNumber = reader.u16();
  if (withDrawerCash) reply.drawerCash = reader.u64();
  return reply;
}

std::string_view documentTypeName(std::uint8_t type) {
  switch (type) {
    case DocumentType::kFiscalization: return "fiscalization";
    case DocumentType::kShiftClosing: return "shift closing";
    case DocumentType::kReceipt: return "receipt";
    case DocumentType::kArchiveClosing: return "archive closing";
    case DocumentType::kCashDeposit: return "cash deposit";
    case DocumentType::kCashPayout: return "cash payout";
    case DocumentType::kShiftOpening: return "shift opening";
    default: return "unknown";
  }
}

std::string_view missingItemName(std::uint16_t tag) {
  switch (tag) {
    case tag::kCashierName: return "cashier name";
    case tag::kTaxpayerNumber: return "taxpayer number";
    case tag::kRegistrationNumber: return "registration number";
    case tag::kUserName: return "user name";
    case tag::kPlace: return "place of settlement";
    case tag::kAddress: return "address of settlement";
    case tag::kFirstTaxRate: return "tax rate";
    case tag::kCashPaid: return "amount";
    default: return "";
  }
}

}  // namespace host
