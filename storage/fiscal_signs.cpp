#include "storage/fiscal_signs.h"

#include "values/crc.h"

FiscalSigns::FiscalSigns(const DeviceIdentity& identity)
    : identity_(identity), serial_(identity.model.serialNumber()) {}

bool FiscalSigns::usable() const {
  return identity_.key.size() == 16 && identity_.model.isValid() && identity_.model.verify(identity_.key);
}

void FiscalSigns::takeFiscalization(std::uint32_t number, const BaseWorkDocument& fiscalization) {
  RegData registration = fiscalization.regData();
  registration.seal(serial_, identity_.key);
  registrations_[number] = registration;
}

const RegData* FiscalSigns::registration(std::uint32_t fiscalization) const {
  const auto found = registrations_.find(fiscalization);
  return found == registrations_.end() ? nullptr : &found->second;
}

bool FiscalSigns::sound(const BaseWorkDocument& document) const {
  if (document.type() != DocumentType::kFiscalization) return document.verifySign(identity_.key, serial_);
  // Its sign data begin with the check value of the registration it made.
  const RegData* made = registration(document.documentNumber());
  if (made == nullptr) return false;
  bytes::Bytes signData = document.signData();
  bytes::storeU32(signData, 0, made->checkValue());
  bytes::Bytes covered = identity_.key;
  bytes::appendBytes(covered, bytes::view(serial_));
  bytes::appendBytes(covered, signData);
  return crc::crc32(covered) == document.fiscalSign();
}
