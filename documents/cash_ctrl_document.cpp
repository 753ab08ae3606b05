#include "documents/cash_ctrl_document.h"

#include <utility>

#include "core/state/result_code.h"
#include "printer/print_layout.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

std::uint8_t typeFor(bool deposit) { return deposit ? DocumentType::kCashDeposit : DocumentType::kCashPayout; }

}  // namespace

CashCtrlDocument::CashCtrlDocument(bool deposit) : BaseWorkDocument(typeFor(deposit)) {}

CashCtrlDocument::CashCtrlDocument(bool deposit, const ModelData* model, const RegData* registration, Cashier cashier)
    : BaseWorkDocument(typeFor(deposit), model, registration, std::move(cashier)) {}

bool CashCtrlDocument::isComplete() const { return BaseWorkDocument::isComplete() && amount_.mantissa() > 0; }

std::shared_ptr<BaseDocument> CashCtrlDocument::clone() const {
  auto copy = std::make_shared<CashCtrlDocument>(isDeposit());
  copyTo(copy.get());
  return copy;
}

std::string CashCtrlDocument::title() const { return std::string(isDeposit() ? "Внесение"_cp866 : "Выплата"_cp866); }

std::string CashCtrlDocument::headerText() const { return headerWithShiftText(); }

std::string CashCtrlDocument::footerText(bool withCut) const {
  const PrintStyle amountStyle(PrintStyle::kLeft | PrintStyle::kDoubleSize, 0);
  return render(PrintBlock(amountStyle, std::string("НАЛ.\t"_cp866) + amount_.toString()), false) +
         BaseWorkDocument::footerText(withCut);
}

BaseDocument* CashCtrlDocument::copyTo(BaseDocument* other) const {
  BaseDocument* target = BaseWorkDocument::copyTo(other);
  auto* cash = dynamic_cast<CashCtrlDocument*>(target);
  if (cash != nullptr && cash->type() == type_) cash->amount_ = amount_;
  return target;
}

int CashCtrlDocument::finish(std::uint32_t now, bytes::View /*key*/, bytes::View finishingData,
                             std::uint16_t& missingTag, const DeviceState& state) {
  dateTime_ = now;
  if (const int refused = requireCashierName(missingTag); refused != result::kSuccess) return refused;
  if (finishingData.size() != 8) {
    missingTag = tag::kCashPaid;
    return result::kMandatoryMissing;
  }
  const std::int64_t kopecks = bytes::loadI64(finishingData, 0);
  if (kopecks <= 0) return result::kDrawerShort;
  if (isPayout() && static_cast<std::uint64_t>(kopecks) > state.drawerCash()) return result::kDrawerShort;
  if (isDeposit() && kopecks > kMaxDeposit) return result::kDepositTooLarge;
  amount_ = Decimal(Decimal::kMoneyScale, kopecks);
  return result::kSuccess;
}

bytes::Bytes CashCtrlDocument::closeReply(const DeviceState& state) const {
  bytes::Bytes reply = BaseWorkDocument::closeReply(state);
  bytes::appendU16(reply, shiftNumber_);
  bytes::appendU64(reply, state.drawerCash());
  return reply;
}

void CashCtrlDocument::setStoredTag(const TlvItem& item) {
  if (item.tag() == tag::kCashPaid) {
    amount_ = Decimal(Decimal::kMoneyScale, item.getVarInt());
  } else {
    BaseWorkDocument::setStoredTag(item);
  }
}

bytes::Bytes CashCtrlDocument::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  TlvItem amount;
  amount.setVarInt(tag::kCashPaid, static_cast<std::uint64_t>(amount_.mantissa()));
  appendItem(stored, amount);
  appendU16Item(stored, tag::kShiftNumber, shiftNumber_);
  return stored;
}

bytes::Bytes CashCtrlDocument::signData() const {
  bytes::Bytes data;
  appendRegistrationCheck(data);
  bytes::appendU16(data, shiftNumber_);
  bytes::appendU32(data, documentNumber_);
  bytes::appendU32(data, dateTime_);
  bytes::appendBytes(data, bytes::view(amount_.toString()));
  return data;
}
