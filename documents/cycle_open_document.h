// The shift opening (type 7, "Открытие смены"): opens shift current + 1.
//
// Stored form: the common items, then 11038 shift number (u16).
// Sign data: registration check value (u32), shift number (u16), document number (u32),
// date-time (u32); 14 bytes.
// Close reply: the common 12 bytes, then the shift number (u16).
#pragma once

#include "documents/base_document.h"

class CycleOpenDocument final : public BaseWorkDocument {
 public:
  CycleOpenDocument();
  CycleOpenDocument(const ModelData* model, const RegData* registration, Cashier cashier);

  std::shared_ptr<BaseDocument> clone() const override;
  std::string title() const override;
  std::string headerText() const override;
  // The common open data; the shift number is the device's current one + 1.
  int applyOpenData(bytes::View openData, const DeviceState& state) override;
  // Fixes the shift number (current + 1) and requires a cashier name (37, 11021).
  int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
             const DeviceState& state) override;
  bytes::Bytes closeReply(const DeviceState& state) const override;
  bytes::Bytes toStored() const override;
  bytes::Bytes signData() const override;
};
