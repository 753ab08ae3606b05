// The fiscal signs of stored documents recomputed with the device's identity (its model record
// and its key, as the identity memory holds them).
//
// A stored fiscalization carries its registration without the registration's check value,
// which every sign made under it covers; it is sealed again here with the serial number and the
// key, as the fiscalization sealed it. A document is then rebuilt with that registration and
// its sign recomputed.
#pragma once

#include <map>
#include <string>

#include "documents/base_document.h"
#include "documents/reg_data.h"
#include "storage/model_data.h"
#include "values/bytes.h"

// The device's identity as its identity memory holds it.
struct DeviceIdentity {
  ModelData model;
  bytes::Bytes key;  // 16 bytes
};

class FiscalSigns {
 public:
  // The identity must outlive this; signs can be checked only when usable().
  explicit FiscalSigns(const DeviceIdentity& identity);

  // The model record is sealed with the key.
  bool usable() const;
  const ModelData& model() const { return identity_.model; }

  // Keeps the registration of stored fiscalization `number`, sealed again with the key.
  void takeFiscalization(std::uint32_t number, const BaseWorkDocument& fiscalization);
  // The registration kept for a fiscalization; null when none was taken.
  const RegData* registration(std::uint32_t fiscalization) const;

  // Whether the sign of a document rebuilt with registration(its fiscalization) is the one
  // the key gives. A fiscalization must have been taken first.
  bool sound(const BaseWorkDocument& document) const;

 private:
  const DeviceIdentity& identity_;
  std::string serial_;
  std::map<std::uint32_t, RegData> registrations_;
};
