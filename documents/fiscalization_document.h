// The fiscalization or re-registration (type 1, "Отчет о фискализации/перерегистрации"): fills,
// checks and seals the registration record that every later document carries.
//
// A new document takes the device's model record but starts from the default registration
// record; the host's items and the finishing data fill it, and finish seals it with the key.
// A re-registration carries the period counters, which the archive attaches just before
// closing.
//
// Stored form: the common items, the registration's items (11037, 11018, 11048, 11187, 11009,
// 11041 and the valid tax-rate containers), then the period counters' tagged form (container
// 11158) when attached.
// Sign data: registration check value (u32), shift number widened to u32, date-time (u32);
// 12 bytes.
#pragma once

#include <optional>

#include "documents/base_document.h"
#include "storage/counter_blocks.h"

class FiscalizationDocument final : public BaseWorkDocument {
 public:
  // User name, place and address hold at most this many bytes.
  static constexpr std::size_t kMaxTextSize = 255;

  FiscalizationDocument();
  // The registration record is the default one, whatever is current.
  FiscalizationDocument(const ModelData* model, Cashier cashier);

  std::shared_ptr<BaseDocument> clone() const override;
  // Only the model record must match the key; the registration is being made.
  bool sign(bytes::View key, std::string_view serial) override;
  std::string title() const override;
  // Empty: nothing is printed when the document opens.
  std::string headerText() const override;
  // The target as a FiscalizationDocument, null when it is not one. The period counters are
  // not copied.
  BaseDocument* copyTo(BaseDocument* other) const override;
  // 11048 user name, 11187 place, 11009 address: 1 to 255 bytes, else 35. 13105-13109: a
  // tax-rate container for its slot; 35 when it does not decode, or when it gives a kind of
  // 0-2 without being a valid rate (a container of kind 3 leaves the slot not set and is
  // taken). Others: the common tags.
  int addTag(const TlvItem& item, std::string& printText) override;
  // Finishing data of exactly 28 bytes: taxpayer number (12) and registration number (16);
  // other lengths leave both. Missing items give 37 in the order 11021, 11018 (digit rule),
  // 11037 (digit rule), 11048, 11187, 11009, 13105 (no tax rate set). Then the registration
  // time is `now` and the record is sealed with the serial and the key; 36 when it is still not
  // complete.
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  // The registration's items, 11012 as the date-time and the registration time, and 11158 the
  // period counters.
  void setStoredTag(const TlvItem& item) override;
  bytes::Bytes toStored() const override;
  bytes::Bytes signData() const override;

  // A stored fiscalization keeps its registration without the check value: a rebuilt one is
  // sealed again with the model record's serial number and the key, as finish sealed it, so
  // that it prints and verifies as the original did.
  void sealRebuiltRegistration(bytes::View key);

  const std::optional<CounterSet>& periodCounters() const { return periodCounters_; }
  void setPeriodCounters(const CounterSet& counters) { periodCounters_ = counters; }

  // Printed after storing: the common document header (registration header, title, cashier),
  // then the period counter report (empty without counters).
  std::string reportHeaderText() const;
  std::string reportText() const;
  std::vector<std::string> storedReportTexts() const override { return {reportHeaderText(), reportText()}; }
  std::string copyHeaderText() const override { return reportHeaderText(); }
  std::string copyBodyText() const override { return reportText(); }

 private:
  std::optional<CounterSet> periodCounters_;
};
