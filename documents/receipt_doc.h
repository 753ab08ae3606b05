// The cash receipt (type 3): a sale, a purchase, a return of either, or one of kinds 4 to 14.
// It is built up while open: each item line arrives from the host, is checked, totalled,
// taxed and printed at once; finishing takes the payments and works out the change.
//
// Receipt kinds: 0 sale, 1 purchase, 2 sale return, 3 purchase return, 4-14 without a name;
// 15 marks a receipt whose kind is not set. Kinds 0 and 3 bring money into the drawer
// (incoming); every other kind pays out.
//
// Stored form: the common items, then 11042 receipt number (u16), 11020 total, 11031 cash
// kept (when above 0), 11081 electronic payment (when above 0) (amounts are variable integers
// in kopecks), 11038 shift number (u16), 11054 kind (u8).
// The archive keeps after it, in this order and covered by the descriptor's length but not by
// its data check value: the tax rates used (13105 to 13109, each with its tax sum), the
// sections used (11300) and every item line (11059).
// Sign data: the stored form with its fiscal sign item holding 0, then the registration check
// value (u32).
// Close reply (32 bytes): document number, fiscal sign, date-time (u32 each), shift number,
// receipt number (u16 each), total, change (i64 kopecks each).
// Open state (14 bytes): type 3, kind (u8), receipt number (u16), item lines (u16), total
// (i64 kopecks).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "documents/base_document.h"
#include "reference/discount.h"
#include "reference/receipt_operation.h"
#include "reference/section.h"
#include "reference/tax_rate.h"
#include "storage/counter_blocks.h"
#include "values/decimal.h"

// Where a receipt looks up the sections and discounts its item lines name; without a table
// every such lookup fails.
struct ReceiptTables {
  SectionTable* sections = nullptr;
  DiscountTable* discounts = nullptr;
};

class ReceiptDoc final : public BaseWorkDocument {
 public:
  static constexpr std::uint8_t kKindNotSet = 15;
  static constexpr std::uint8_t kLastKind = 14;
  static constexpr std::uint32_t kReceiptMaxStoredSize = 32768;
  // Item lines are refused once everything the archive stores for the receipt would reach this.
  static constexpr std::uint32_t kItemSizeLimit = kReceiptMaxStoredSize - 8192;
  // The largest receipt total, in kopecks (1 000 000 000.00).
  static constexpr std::int64_t kMaxTotal = 100000000000;

  ReceiptDoc();
  ReceiptDoc(const ModelData* model, const RegData* registration, Cashier cashier, ReceiptTables tables = {});

  // The common conditions and a receipt number.
  bool isComplete() const override;
  std::shared_ptr<BaseDocument> clone() const override;
  // By kind: "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК НА ТОВАРЫ (УСЛУГИ)" for 0 and 3, "... ВЫДАЧИ СРЕДСТВ" for
  // 1 and 2, empty for the rest.
  std::string title() const override;
  // The common header, then "<kind name> ЧЕК <receipt number>\tСМЕНА <shift>".
  std::string headerText() const override;
  // Total, cash, electronic, change and tax lines, a line feed, then the common footer.
  std::string footerText(bool withCut) const override;
  // Also the kind, numbers, amounts, item lines and the records they point at (the copy's
  // lines point at the copy's records), tax sums and the size count.
  BaseDocument* copyTo(BaseDocument* other) const override;
  // The kind byte, then the common open data. 42 for no data or a kind above 14, 39 for a
  // short cashier name, 16 when the cashier lacks the right of kinds 0-1 (0x01) or 2-3 (0x10).
  // On success the receipt number is the shift's receipt counter + 1.
  int applyOpenData(bytes::View openData, const DeviceState& state) override;
  // Takes one item line (11059) and gives its printed lines. 34 for another tag, 19 without
  // sub-items, 22 for a damaged container or an unknown sub-tag (logged), 45/43/44 for a tax
  // index, section or discount not found or not usable, 46 for a line that is not valid, 48
  // when the receipt's total would pass kMaxTotal, 7 when the stored receipt would reach
  // kItemSizeLimit. A refused line leaves the receipt unchanged.
  int addTag(const TlvItem& item, std::string& printText) override;
  // Finishing data: cash, then electronic payment (i64 kopecks each). 37 with 11021 without a
  // cashier name, with 11031 for 7 bytes or fewer, with 11081 for another length but 16, with
  // 11059 without item lines; 42 without a kind; 22 for a negative amount; 47 when the payment
  // is below the total; 48 when the electronic part exceeds the total, an outgoing receipt is
  // overpaid or the sum of the payments overflows; 40 when an outgoing receipt pays more cash
  // than the drawer holds. No payment at all pays the total in cash; an incoming receipt
  // paid above its total gives change and keeps cash minus change.
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  bytes::Bytes closeReply(const DeviceState& state) const override;
  bytes::Bytes statusReply() const override;
  void setStoredTag(const TlvItem& item) override;
  bytes::Bytes toStored() const override;
  std::uint32_t maxStoredSize() const override { return kReceiptMaxStoredSize; }
  bytes::Bytes signData() const override;

  // The pieces the archive writes after the stored form.
  bytes::Bytes storedTaxRates() const;
  bytes::Bytes storedSections() const;
  // Item line iterator: the stored container of the first, then the next line; empty bytes
  // past the last.
  bytes::Bytes firstStoredOperation();
  bytes::Bytes nextStoredOperation();

  // The receipt's share of the archive's blocks. False only without a block.
  // Counters: receipts + 1, drawer cash + cash for incoming, - cash (not below 0) for
  // outgoing; for kinds 0-3 also the kind's count, total, cash, electronic and tax sums.
  bool addToCounters(CounterSet* block) const;
  // Archive totals: receipts + 1; for kinds 0-3 the kind's count, total, cash and electronic.
  bool addToSummary(TotalCounters* block) const;
  // The section sums of the receipt's kind: each section's total.
  bool addToSectionSums(SectionSums* block) const;

  // Texts for printing a copy of the stored receipt.
  std::string reprintHeaderText() const;
  std::string reprintTotalsText() const;

  static bool isIncomingKind(std::uint8_t kind) { return kind == 0 || kind == 3; }
  bool isIncoming() const { return isIncomingKind(kind_); }
  std::uint8_t kind() const { return kind_; }
  std::uint16_t receiptNumber() const { return receiptNumber_; }
  const Decimal& total() const { return total_; }
  const Decimal& cash() const { return cash_; }
  const Decimal& electronic() const { return electronic_; }
  const Decimal& change() const { return change_; }
  const std::vector<ReceiptOperation>& operations() const { return operations_; }
  // The item lines, as they were printed while the receipt was open.
  std::string copyBodyText() const override;
  const std::map<std::uint8_t, Decimal>& taxSums() const { return taxSums_; }
  const std::map<std::uint8_t, Decimal>& sectionTotals() const { return sectionTotals_; }
  // What the archive will store for the receipt at most, all pieces together.
  std::uint32_t storedSize() const { return storedSize_; }

 private:
  struct Lookup;
  int applySubItem(const TlvItem& sub, ReceiptOperation& operation, Lookup& lookup);
  int findTaxRate(unsigned index, Lookup& lookup) const;
  int findSection(unsigned number, Lookup& lookup) const;
  int findDiscount(unsigned number, Lookup& lookup) const;
  void accept(ReceiptOperation operation, const Lookup& lookup);
  // The stored form's size with every amount at its widest.
  std::uint32_t widestStoredFormSize() const;
  std::string kindName() const;
  std::string taxLines() const;

  ReceiptTables tables_;
  std::uint8_t kind_ = kKindNotSet;
  std::uint16_t receiptNumber_ = 0;
  Decimal total_;
  Decimal cash_;
  Decimal electronic_;
  Decimal change_;
  std::vector<ReceiptOperation> operations_;
  std::map<std::uint8_t, Section> sections_;
  std::map<std::uint8_t, TaxRate> taxRates_;
  std::map<std::uint8_t, Decimal> taxSums_;
  std::map<std::uint8_t, Decimal> sectionTotals_;
  std::map<std::uint8_t, Discount> discounts_;
  std::uint32_t storedSize_ = 0;
  int operationCursor_ = -1;
};
