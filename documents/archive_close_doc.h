// The archive closing (type 4, "Отчет о закрытии архива"): the archive's last document. It
// carries the period counters and the archive totals, which the archive attaches just before
// closing (a block it cannot read stays absent).
//
// Stored form: the common items, 11038 shift number (u16), then the period counters' tagged
// form (container 11158) and the archive totals' (container 11157) when attached.
// Sign data: registration check value (u32), document number (u32), date-time (u32); 12 bytes.
#pragma once

#include <optional>

#include "documents/base_document.h"
#include "storage/counter_blocks.h"

class ArchiveCloseDoc final : public BaseWorkDocument {
 public:
  ArchiveCloseDoc();
  ArchiveCloseDoc(const ModelData* model, const RegData* registration, Cashier cashier);

  // The copy has neither block.
  std::shared_ptr<BaseDocument> clone() const override;
  std::string title() const override;
  // Fixes the shift number (the current one) and requires a cashier name (37, 11021).
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  // 11158 restores the period counters, 11157 the archive totals.
  void setStoredTag(const TlvItem& item) override;
  bytes::Bytes toStored() const override;
  bytes::Bytes signData() const override;

  const std::optional<CounterSet>& periodCounters() const { return periodCounters_; }
  void setPeriodCounters(const CounterSet& counters) { periodCounters_ = counters; }
  const std::optional<TotalCounters>& archiveTotals() const { return archiveTotals_; }
  void setArchiveTotals(const TotalCounters& totals) { archiveTotals_ = totals; }

  // The period counter report followed by the totals report; an absent block prints nothing.
  std::string reportText() const;
  std::vector<std::string> storedReportTexts() const override { return {reportText()}; }
  std::string copyBodyText() const override { return reportText(); }

 private:
  std::optional<CounterSet> periodCounters_;
  std::optional<TotalCounters> archiveTotals_;
};
