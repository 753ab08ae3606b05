// Cash put into the drawer (deposit, type 5, "Внесение") or taken out (payout, type 6,
// "Выплата"). The amount arrives with the finishing data.
//
// Stored form: the common items, 11031 amount (variable integer, kopecks), 11038 shift
// number (u16).
// Sign data: registration check value (u32), shift number (u16), document number (u32),
// date-time (u32), then the amount as text ("150.00").
// Close reply: the common 12 bytes, the shift number (u16), then the drawer cash (u64
// kopecks) as the device state holds it when the reply is built; 22 bytes.
#pragma once

#include "documents/base_document.h"
#include "values/decimal.h"

class CashCtrlDocument final : public BaseWorkDocument {
 public:
  // The largest deposit, in kopecks.
  static constexpr std::int64_t kMaxDeposit = 100000000000;

  // Type 5 when `deposit`, else 6.
  explicit CashCtrlDocument(bool deposit);
  CashCtrlDocument(bool deposit, const ModelData* model, const RegData* registration, Cashier cashier);

  // The common conditions and an amount above zero.
  bool isComplete() const override;
  std::shared_ptr<BaseDocument> clone() const override;
  std::string title() const override;
  std::string headerText() const override;
  // The amount line, then the common footer.
  std::string footerText(bool withCut) const override;
  BaseDocument* copyTo(BaseDocument* other) const override;
  // The finishing data are the amount, exactly 8 bytes (i64 kopecks), else 37 with 11031. An
  // amount of zero or less, or a payout above the drawer cash, gives 40; a deposit above
  // kMaxDeposit gives 41. A failure leaves the amount unchanged.
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  bytes::Bytes closeReply(const DeviceState& state) const override;
  // 11031 restores the amount.
  void setStoredTag(const TlvItem& item) override;
  bytes::Bytes toStored() const override;
  bytes::Bytes signData() const override;

  bool isDeposit() const { return type_ == DocumentType::kCashDeposit; }
  bool isPayout() const { return type_ == DocumentType::kCashPayout; }
  // Scale 100.
  const Decimal& amount() const { return amount_; }

 private:
  Decimal amount_;
};
