#include "documents/base_document.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "core/state/result_code.h"
#include "platform/log.h"
#include "printer/print_layout.h"
#include "values/cp866.h"
#include "values/crc.h"
#include "values/local_time.h"
#include "values/tags.h"

namespace {

std::string localDateTimeText(std::uint32_t seconds) { return localTimeText(seconds, "%d.%m.%Y %H:%M:%S"); }

}  // namespace

bool DocumentType::isKnown(std::uint8_t type) { return type >= kFiscalization && type <= kShiftOpening; }

BaseDocument::BaseDocument(std::uint8_t type) : type_(type) {}

BaseDocument::BaseDocument(std::uint8_t type, const ModelData* model, const RegData* registration, Cashier cashier)
    : type_(type),
      model_(model != nullptr ? *model : ModelData()),
      registration_(registration != nullptr ? *registration : RegData()),
      cashier_(std::move(cashier)) {}

bool BaseDocument::isComplete() const { return DocumentType::isKnown(type_) && fiscalSign_ != 0 && cashier_.isValid(); }

std::string BaseDocument::headerText() const {
  std::string text = registration_.headerBlock();
  text += render(PrintBlock(PrintStyle(PrintStyle::kCentred | PrintStyle::kBold, 1), title()), false);
  text += render(PrintBlock(PrintStyle(PrintStyle::kLeft, 1), std::string("КАССИР\t"_cp866) + cashier_.name), false);
  return text;
}

BaseDocument* BaseDocument::copyTo(BaseDocument* other) const {
  if (other == nullptr || other->type_ != type_) return other;
  other->model_ = model_;
  other->registration_ = registration_;
  other->shiftNumber_ = shiftNumber_;
  other->dateTime_ = dateTime_;
  other->fiscalSign_ = fiscalSign_;
  other->cashier_ = cashier_;
  return other;
}

bool BaseWorkDocument::isComplete() const {
  return BaseDocument::isComplete() && model_.isValid() && registration_.isComplete() && documentNumber_ != 0 &&
         fiscalizationNumber_ != 0;
}

bool BaseWorkDocument::identityMatches(bytes::View key, std::string_view serial) const {
  return model_.verify(key) && registration_.verify(serial, key);
}

std::uint32_t BaseWorkDocument::computeSign(bytes::View key, std::string_view serial) const {
  const bytes::Bytes data = signData();
  return crc::Crc32().update(key).update(bytes::view(serial)).update(data).value();
}

bool BaseWorkDocument::verifySign(bytes::View key, std::string_view serial) const {
  return identityMatches(key, serial) && computeSign(key, serial) == fiscalSign_;
}

bool BaseWorkDocument::sign(bytes::View key, std::string_view serial) {
  if (!identityMatches(key, serial)) return false;
  fiscalSign_ = computeSign(key, serial);
  return true;
}

std::string BaseWorkDocument::footerText(bool withCut) const {
  std::string text = registration_.footerBlock(false);
  PrintBlock numbers(PrintStyle(PrintStyle::kLeft, 1));
  numbers.addText(std::string("ДАТА\t"_cp866) + localDateTimeText(dateTime_));
  numbers.addText(std::string("ФД "_cp866) + std::to_string(documentNumber_) + "\t" + model_.modelName() + " " +
                  model_.serialNumber());
  text += render(numbers, false);
  char sign[16];
  std::snprintf(sign, sizeof sign, "%010u", static_cast<unsigned>(fiscalSign_));
  const PrintStyle signStyle(PrintStyle::kCentred | PrintStyle::kBold | PrintStyle::kDoubleSize, 0);
  text += render(PrintBlock(signStyle, std::string("ФП "_cp866) + sign), withCut);
  return text;
}

BaseDocument* BaseWorkDocument::copyTo(BaseDocument* other) const {
  BaseDocument* target = BaseDocument::copyTo(other);
  auto* work = dynamic_cast<BaseWorkDocument*>(target);
  if (work != nullptr && work->type() == type_) {
    work->documentNumber_ = documentNumber_;
    work->fiscalizationNumber_ = fiscalizationNumber_;
  }
  return target;
}

bool BaseWorkDocument::isStorable() const {
  return DocumentType::isKnown(type_) && model_.isValid() && registration_.isComplete();
}

int BaseWorkDocument::applyOpenData(bytes::View openData, const DeviceState& state) {
  shiftNumber_ = state.shiftNumber();
  if (openData.empty() || openData[0] == 0) return result::kSuccess;
  const std::size_t length = openData[0];
  const bytes::View name = openData.subspan(1);
  if (name.size() < length) return result::kOpenDataShort;
  cashier_.name.assign(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
  return result::kSuccess;
}

int BaseWorkDocument::addTag(const TlvItem& item, std::string& /*printText*/) {
  if (item.tag() != tag::kCashierName) return result::kItemNotTaken;
  cashier_.name = item.getText();
  return result::kSuccess;
}

bytes::Bytes BaseWorkDocument::closeReply(const DeviceState& /*state*/) const {
  bytes::Bytes reply;
  bytes::appendU32(reply, documentNumber_);
  bytes::appendU32(reply, fiscalSign_);
  bytes::appendU32(reply, dateTime_);
  return reply;
}

bytes::Bytes BaseWorkDocument::statusReply() const { return {type_}; }

void BaseWorkDocument::setStoredTag(const TlvItem& item) {
  switch (item.tag()) {
    case tag::kDateTime: dateTime_ = item.getU32(); return;
    case tag::kCashierName: cashier_.name = item.getText(); return;
    case tag::kShiftNumber: shiftNumber_ = item.getU16(); return;
    case tag::kDocumentNumber: documentNumber_ = item.getU32(); return;
    case tag::kFiscalSign: fiscalSign_ = item.getU32(); return;
    case tag::kFiscalizationNumber: fiscalizationNumber_ = item.getU32(); return;
    default: break;
  }
  platform::logLine("setStoredTag UNKNOWN TAG " + std::to_string(item.tag()) + " " +
                    std::to_string(item.value().size()) + " " + bytes::hexUpper(item.value()));
}

std::shared_ptr<DocDescriptor> BaseWorkDocument::makeDescriptor() const {
  auto descriptor = std::make_shared<DocDescriptor>();
  descriptor->setType(type_);
  descriptor->setDocumentNumber(documentNumber_);
  descriptor->setDateTime(dateTime_);
  descriptor->setShiftNumber(shiftNumber_);
  descriptor->setFiscalSign(fiscalSign_);
  descriptor->setCashierNumber(cashier_.number);
  return descriptor;
}

bytes::Bytes BaseWorkDocument::toStored() const {
  bytes::Bytes stored{type_};
  appendU32Item(stored, tag::kDocumentNumber, documentNumber_);
  appendU32Item(stored, tag::kFiscalizationNumber, fiscalizationNumber_);
  TlvItem name;
  name.setText(tag::kCashierName,
               std::string_view(cashier_.name).substr(0, std::min(cashier_.name.size(), kStoredNameSize)));
  appendItem(stored, name);
  appendU32Item(stored, tag::kDateTime, dateTime_);
  appendU32Item(stored, tag::kFiscalSign, fiscalSign_);
  return stored;
}

std::uint32_t BaseWorkDocument::maxStoredSize() const { return kMaxStoredSize; }

void BaseWorkDocument::setRegistrationArchiveId(std::uint32_t id) { registration_.setArchiveId(id); }

bool BaseWorkDocument::closeDocument(std::shared_ptr<DocDescriptor>& descriptor, bytes::Bytes& stored,
                                     std::uint32_t number, std::uint32_t fiscalizationNumber, bytes::View key,
                                     std::uint64_t dataOffset) {
  documentNumber_ = number;
  fiscalizationNumber_ = fiscalizationNumber;
  // A sign that cannot be made must not leave the sign of an earlier attempt in place.
  if (!sign(key, model_.serialNumber())) return false;
  if (!isComplete()) return false;
  bytes::Bytes data = toStored();
  // The descriptor's length field is 16 bits wide.
  if (data.size() > std::min<std::size_t>(maxStoredSize(), 0xFFFF)) return false;
  std::shared_ptr<DocDescriptor> record = makeDescriptor();
  if (record == nullptr) return false;
  record->setDataCheckValue(crc::crc16(data));
  record->setDataLength(static_cast<std::uint16_t>(data.size()));
  record->setDataOffset(dataOffset);
  // The header check value is taken before the fiscalization number is written.
  record->sealHeader();
  record->setFiscalizationNumber(fiscalizationNumber_);
  descriptor = std::move(record);
  stored = std::move(data);
  return true;
}

void BaseWorkDocument::takeDescriptorFields(const DocDescriptor& descriptor) {
  documentNumber_ = descriptor.documentNumber();
  shiftNumber_ = descriptor.shiftNumber();
  fiscalizationNumber_ = descriptor.fiscalizationNumber();
  dateTime_ = descriptor.dateTime();
  fiscalSign_ = descriptor.fiscalSign();
}

std::string BaseWorkDocument::headerWithShiftText() const {
  return BaseDocument::headerText() + render(PrintBlock(PrintStyle(PrintStyle::kLeft, 1),
                                                        std::string("\nСМЕНА\t"_cp866) + std::to_string(shiftNumber_)),
                                             false);
}

int BaseWorkDocument::requireCashierName(std::uint16_t& missingTag) const {
  if (!cashier_.name.empty()) return result::kSuccess;
  missingTag = tag::kCashierName;
  return result::kMandatoryMissing;
}

void BaseWorkDocument::appendRegistrationCheck(bytes::Bytes& out) const {
  bytes::appendU32(out, registration_.checkValue());
}

void BaseWorkDocument::appendItem(bytes::Bytes& out, const TlvItem& item) { bytes::appendBytes(out, item.encode()); }

void BaseWorkDocument::appendU16Item(bytes::Bytes& out, std::uint16_t tag, std::uint16_t value) {
  TlvItem item;
  item.setU16(tag, value);
  appendItem(out, item);
}

void BaseWorkDocument::appendU32Item(bytes::Bytes& out, std::uint16_t tag, std::uint32_t value) {
  TlvItem item;
  item.setU32(tag, value);
  appendItem(out, item);
}
