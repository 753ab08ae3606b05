#include "tools/host/reply_fields.h"

#include "core/state/status_records.h"
#include "tools/host/document_commands.h"
#include "tools/host/number_text.h"
#include "values/cp866.h"

namespace host {
namespace {

constexpr std::size_t kVersionSize = 3;
constexpr std::size_t kStateBlockSize = 29;
constexpr std::size_t kIdentitySize = 44;
constexpr std::size_t kKeySize = 16;

// A flag's name when set and, for the flags without which the register makes no document, when
// clear.
struct FlagName {
  std::uint16_t bit;
  const char* set;
  const char* clear;
};

constexpr FlagName kFlagNames[] = {
    {FrStatus::kCardPresent, "card present", "no card"},
    {FrStatus::kRegistrationMatches, "registration matches archive", nullptr},
    {FrStatus::kForeignArchive, "archive of another device", nullptr},
    {FrStatus::kShiftOpen, "shift open", nullptr},
    {FrStatus::kArchiveReady, "archive ready", "archive not ready"},
    {FrStatus::kArchiveClosed, "archive closed", nullptr},
    {FrStatus::kIdentityFault, "identity memory fault", nullptr},
    {FrStatus::kPrinterNotAnswering, "printer not answering", nullptr},
    {FrStatus::kPaperNearEnd, "paper near end", nullptr},
    {FrStatus::kPaperOut, "paper out", nullptr},
};

std::string hex16(std::uint16_t value) { return hexNumber(value, 4); }

// Not the expected size: said as a field, so that the reply still shows it.
Fields unexpected(std::string_view what, std::size_t size) {
  return fieldList(textField("unexpected", std::string(what) + " of " + std::to_string(size) + " bytes"));
}

Field documentField(std::string name, std::uint8_t type) {
  const std::string typeName(type == 0 ? "none" : documentTypeName(type));
  return {std::move(name), typeName, std::to_string(type) + " (" + typeName + ")"};
}

// Appends "flags" and "flag names" of the flags word.
void appendFlagFields(Fields& fields, std::uint16_t flags) {
  const std::vector<std::string> names = statusFlagNames(flags);
  std::string text = hex16(flags);
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? " (" : ", ";
    text += names[i];
  }
  if (!names.empty()) text += ')';
  fields.push_back({"flags", flags, std::move(text)});
  fields.push_back({"flag names", nlohmann::ordered_json(names), ""});
}

}  // namespace

Fields versionFields(bytes::View data) {
  if (data.size() != kVersionSize) return unexpected("version", data.size());
  return fieldList(
      textField("version", std::to_string(data[0]) + "." + std::to_string(data[1]) + "." + std::to_string(data[2])));
}

Fields stateFields(bytes::View data) {
  if (data.size() != kStateBlockSize) return unexpected("state block", data.size());
  bytes::ByteReader reader(data);
  const bool shiftOpen = reader.u8() != 0;
  const std::uint16_t shiftNumber = reader.u16();
  const std::uint16_t receiptCounter = reader.u16();
  const std::uint32_t openingDocument = reader.u32();
  const std::uint32_t openingTime = reader.u32();
  const std::uint32_t closingDocument = reader.u32();
  const std::uint32_t closingTime = reader.u32();
  const std::uint64_t cash = reader.u64();
  Fields fields;
  fields.reserve(8);  // the most a state block gives
  fields.push_back(yesNoField("shift open", shiftOpen));
  fields.push_back(numberField("shift number", shiftNumber));
  fields.push_back(numberField("receipt counter", receiptCounter));
  if (openingDocument != 0) {
    fields.push_back(numberField("opening document", openingDocument));
    fields.push_back(timeField("opened at", openingTime));
  }
  if (shiftOpen) {
    fields.push_back(numberField("newest document", closingDocument));
  } else if (closingDocument != 0) {
    fields.push_back(numberField("closing document", closingDocument));
    fields.push_back(timeField("closed at", closingTime));
  }
  fields.push_back(moneyField("drawer cash", static_cast<std::int64_t>(cash)));
  return fields;
}

std::vector<std::string> statusFlagNames(std::uint16_t flags) {
  std::vector<std::string> names;
  std::uint16_t named = 0;
  for (const FlagName& flag : kFlagNames) {
    const char* name = (flags & flag.bit) != 0 ? flag.set : flag.clear;
    if (name != nullptr) names.emplace_back(name);
    named |= flag.bit;
  }
  for (unsigned bit = 1; bit <= 0x8000; bit <<= 1) {
    if ((flags & bit) != 0 && (named & bit) == 0) names.push_back(hex16(static_cast<std::uint16_t>(bit)));
  }
  return names;
}


Fields statusFields(bytes::View data) {
  if (data.size() < FrStatus::StatusStruct::kSize) return unexpected("status", data.size());
  const std::size_t serialSize = data.size() - FrStatus::StatusStruct::kSize;
  bytes::ByteReader reader(data.subspan(serialSize));
  const std::uint16_t flags = reader.u16();
  const std::uint8_t fiscalizations = reader.u8();
  reader.u8();  // the format byte
  const std::uint16_t shift = reader.u16();
  const std::uint32_t lastDocument = reader.u32();
  const std::uint32_t lastTime = reader.u32();
  const std::uint16_t receipts = reader.u16();
  const std::uint8_t openDocument = reader.u8();
  const std::uint32_t capacity = reader.u32();

  Fields fields;
  fields.reserve(10);  // every field a status record gives
  fields.push_back(textField("serial number", std::string(data.begin(), data.begin() + static_cast<long>(serialSize))));
  appendFlagFields(fields, flags);
  fields.push_back(numberField("fiscalizations", fiscalizations));
  fields.push_back(numberField("shift number", shift));
  if (lastDocument != 0) {
    fields.push_back(numberField("last document", lastDocument));
    fields.push_back(timeField("last document at", lastTime));
  }
  fields.push_back(numberField("receipt counter", receipts));
  fields.push_back(documentField("open document", openDocument));
  fields.push_back(numberField("capacity", capacity));
  fields.back().text += " documents";
  return fields;
}

Fields identityFields(bytes::View data) {
  if (data.size() != kIdentitySize) return unexpected("identity", data.size());
  const std::uint16_t modelCode = bytes::loadU16(data, 0);
  return fieldList(Field{"model code", modelCode, hex16(modelCode)},
                   textField("serial number", bytes::fieldText(data.subspan(2, 10))),
                   textField("model name", cp866::toUtf8(bytes::fieldText(data.subspan(12, 32)))));
}

Fields keyFields(bytes::View data) {
  if (data.size() < kKeySize) return unexpected("key reply", data.size());
  return fieldList(textField("device key", bytes::hexUpper(data.last(kKeySize))));
}

Fields statusFlagFields(bytes::View data) {
  if (data.size() < FrStatus::StatusStruct::kSize) return unexpected("status", data.size());
  Fields fields;
  fields.reserve(2);
  appendFlagFields(fields, bytes::loadU16(data, data.size() - FrStatus::StatusStruct::kSize));
  return fields;
}

Fields openDocumentFields(bytes::View data) {
  if (data.size() != 1) return unexpected("open document state", data.size());
  return fieldList(documentField("open document", data[0]));
}

Fields closeReplyFields(std::uint8_t type, bytes::View data) {
  const auto reply = parseCloseReply(type, data);
  if (!reply) return unexpected(std::string("close reply of a ") + std::string(documentTypeName(type)), data.size());
  Fields fields;
  fields.reserve(5);  // with a shift and the drawer cash
  fields.push_back(numberField("document", reply->documentNumber));
  fields.push_back(fiscalSignField(reply->fiscalSign));
  fields.push_back(timeField("time", reply->dateTime));
  if (reply->shiftNumber) fields.push_back(numberField("shift", *reply->shiftNumber));
  if (reply->drawerCash) fields.push_back(moneyField("drawer cash", static_cast<std::int64_t>(*reply->drawerCash)));
  return fields;
}

}  // namespace host
