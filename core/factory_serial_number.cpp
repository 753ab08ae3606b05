// Setting the factory serial number (command 0x3F): once in the register's life, by a cashier
// with the serial-number right, ten decimal digits sealed with the device key.
#include <algorithm>

#include "core/core_worker.h"
#include "core/state/result_code.h"

namespace {

constexpr std::size_t kSerialNumberSize = 10;

}  // namespace

int CoreWorker::setFactorySerialNumber(bytes::View payload) {
  Cashier cashier;
  bytes::View body;
  if (const int refused = checkOperator(payload, cashier, body); refused != 0) return refused;
  if (state_.currentModelData()->isValid()) return result::kSerialAlreadySet;
  if (body.size() != kSerialNumberSize) return result::kBadPayload;
  if (!(cashier.rights & CashierRights::kSerialNumber)) return result::kNoPermission;
  if (!std::all_of(body.begin(), body.end(), [](std::uint8_t b) { return b >= '0' && b <= '9'; })) {
    return result::kBadPayload;
  }
  const bytes::Bytes key = state_.deviceKey();
  if (key.empty()) return result::kIdentityFault;  // nothing to seal it with

  ModelData model = *state_.currentModelData();
  model.setModelCode(ModelData::kModelCode);
  model.setModelName(ModelData::kModelName);
  model.setSerialNumber(std::string(body.begin(), body.end()));
  if (!model.seal(key)) return result::kBadPayload;
  // Published only once stored, so the running register never shows a number it has not kept.
  if (!identity_.writeModelData(model)) {
    state_.setStatusFlag(FrStatus::kIdentityFault, true);
    return result::kIdentityFault;
  }
  state_.publishModelData(model);
  return result::kSuccess;
}
