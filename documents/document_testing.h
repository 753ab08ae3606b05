// Test support for the document tests: identity records sealed with a test key, a cashier,
// and stored items written out by hand, byte by byte, so that expected stored forms do not
// come from the encoder under test.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/state/device_state.h"
#include "documents/document_factory.h"
#include "documents/reg_data.h"
#include "reference/tax_rate.h"
#include "reference/cashier.h"
#include "storage/model_data.h"
#include "values/bytes.h"
#include "values/cp866.h"
#include "values/crc.h"

namespace document_testing {

inline const bytes::Bytes kKey = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                  0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
inline constexpr std::string_view kSerial = "0000000042";

inline ModelData sealedModel() {
  ModelData model;
  model.setSerialNumber(kSerial);
  model.seal(kKey);
  return model;
}

// A tax-rate slot written by hand: rate word (kind in bits 14-15), then the name.
inline bytes::Bytes taxRateSlot(std::uint8_t kind, std::uint16_t hundredths, std::string_view name) {
  bytes::Bytes slot;
  bytes::appendU16(slot, static_cast<std::uint16_t>(kind << 14 | hundredths));
  bytes::appendBytes(slot, bytes::view(name));
  slot.resize(32);
  return slot;
}

// Complete and sealed with kSerial and kKey; tax rate 1 is 20 % included in prices.
inline RegData sealedRegistration() {
  RegData registration;
  registration.setText(RegData::Text::RegistrationNumber, "0000000001");
  registration.setText(RegData::Text::TaxpayerNumber, "7700000000");
  registration.setText(RegData::Text::UserName, "SHOP");
  registration.setText(RegData::Text::Place, "PLACE");
  registration.setText(RegData::Text::Address, "ADDRESS");
  registration.setTaxRateSlot(0, taxRateSlot(1, 2000, "VAT"));
  registration.setRegistrationTime(1690000000);
  registration.setArchiveId(0x0A0B0C0D);
  registration.seal(kSerial, kKey);
  return registration;
}

inline Cashier operatorCashier() {
  Cashier cashier;
  cashier.number = 3;
  cashier.rights = 0x1B;
  cashier.password = 1234;
  cashier.name = std::string("ИВАНОВ"_cp866);
  return cashier;
}

// One item's wire form: u16 tag, u16 length, value.
inline void appendItem(bytes::Bytes& out, std::uint16_t tag, bytes::View value) {
  bytes::appendU16(out, tag);
  bytes::appendU16(out, static_cast<std::uint16_t>(value.size()));
  bytes::appendBytes(out, value);
}

inline void appendU16Item(bytes::Bytes& out, std::uint16_t tag, std::uint16_t value) {
  bytes::Bytes raw;
  bytes::appendU16(raw, value);
  appendItem(out, tag, raw);
}

inline void appendU32Item(bytes::Bytes& out, std::uint16_t tag, std::uint32_t value) {
  bytes::Bytes raw;
  bytes::appendU32(raw, value);
  appendItem(out, tag, raw);
}

// The type byte and the items every document stores first.
inline bytes::Bytes commonStoredForm(std::uint8_t type, std::uint32_t number, std::uint32_t fiscalization,
                                     std::string_view cashierName, std::uint32_t dateTime, std::uint32_t sign) {
  bytes::Bytes out{type};
  appendU32Item(out, 11040, number);
  appendU32Item(out, 12117, fiscalization);
  appendItem(out, 11021, bytes::view(cashierName));
  appendU32Item(out, 11012, dateTime);
  appendU32Item(out, 11077, sign);
  return out;
}

// The fiscal sign a document with this sign data must carry: CRC-32 of the key, the serial
// and the sign data.
inline std::uint32_t expectedSign(bytes::View signData) {
  bytes::Bytes covered = kKey;
  bytes::appendBytes(covered, bytes::view(kSerial));
  bytes::appendBytes(covered, signData);
  return crc::crc32(covered);
}

// A registration finished for `state`'s model record, with the test key: user name, place and
// address, one tax rate (20 % included in prices), the taxpayer and registration numbers.
inline std::shared_ptr<BaseWorkDocument> finishedFiscalization(const DeviceState& state, std::uint32_t archiveId,
                                                               std::uint32_t now, std::string_view userName = "SHOP") {
  auto document = createDocument(1, state.currentModelData().get(), nullptr, operatorCashier());
  std::string print;
  document->applyOpenData({}, state);
  TlvItem item;
  for (auto [tag, text] : {std::pair<std::uint16_t, std::string_view>{11048, userName}, {11187, "PLACE"}, {11009, "ADDR"}}) {
    item.setText(tag, text);
    document->addTag(item, print);
  }
  TaxRate rate;
  rate.setKind(1);
  rate.setPercentage(2000);
  rate.setName("VAT");
  document->addTag(rate.toTlv(0), print);
  document->setRegistrationArchiveId(archiveId);
  bytes::Bytes finishing(28, 0);
  bytes::storeBytes(finishing, 0, 12, bytes::view("7700000000"));
  bytes::storeBytes(finishing, 12, 16, bytes::view("0000000001"));
  std::uint16_t missing = 0;
  return document->finish(now, kKey, finishing, missing, state) == 0 ? document : nullptr;
}

// A document of `type` under `state`'s records, opened and finished with the test key; null
// when it does not finish. Cash documents take the amount in kopecks as finishing data.
inline std::shared_ptr<BaseWorkDocument> finishedDocument(std::uint8_t type, const DeviceState& state,
                                                          std::uint32_t now, bytes::View finishing = {}) {
  auto document = createDocument(type, state.currentModelData().get(), state.currentRegData().get(),
                                 operatorCashier());
  if (!document || document->applyOpenData({}, state) != 0) return nullptr;
  std::uint16_t missing = 0;
  return document->finish(now, kKey, finishing, missing, state) == 0 ? document : nullptr;
}

inline bytes::Bytes kopecks(std::int64_t amount) {
  bytes::Bytes out;
  bytes::appendI64(out, amount);
  return out;
}

}  // namespace document_testing
