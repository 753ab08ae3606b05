// The shift closing, the Z-report (type 2, "Z-Отчет"): closes the current shift and carries
// its counters, which the archive attaches just before closing.
//
// Stored form: the common items, 11038 shift number (u16), then the shift counters' tagged
// form (container 11194) when they are attached.
// Sign data: registration check value (u32), document number (u32), shift number (u16),
// date-time (u32); 14 bytes.
// Close reply: the common 12 bytes, then the shift number (u16).
#pragma once

#include <optional>

#include "documents/base_document.h"
#include "storage/counter_blocks.h"

class CloseCycleDoc final : public BaseWorkDocument {
 public:
  CloseCycleDoc();
  CloseCycleDoc(const ModelData* model, const RegData* registration, Cashier cashier);

  // The copy has no shift counters.
  std::shared_ptr<BaseDocument> clone() const override;
  std::string title() const override;
  std::string headerText() const override;
  // The target as a CloseCycleDoc, null when it is not one.
  BaseDocument* copyTo(BaseDocument* other) const override;
  // Fixes the shift number (the current one) and requires a cashier name (37, 11021).
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  bytes::Bytes closeReply(const DeviceState& state) const override;
  // 11194 restores the shift counters.
  void setStoredTag(const TlvItem& item) override;
  bytes::Bytes toStored() const override;
  bytes::Bytes signData() const override;

  const std::optional<CounterSet>& shiftCounters() const { return shiftCounters_; }
  void setShiftCounters(const CounterSet& counters) { shiftCounters_ = counters; }

  // The shift's counter report; empty without counters.
  std::string reportText() const;
  std::vector<std::string> storedReportTexts() const override { return {reportText()}; }
  std::string copyBodyText() const override { return reportText(); }

 private:
  std::optional<CounterSet> shiftCounters_;
};
