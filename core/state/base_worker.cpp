#include "core/state/base_worker.h"

#include "core/state/result_code.h"

int BaseWorker::checkOperator(bytes::View payload, Cashier& cashier, bytes::View& body) const {
  if (payload.size() < kOperatorPrefixSize) return result::kBadOperatorPrefix;
  bytes::ByteReader reader(payload);
  const std::uint8_t number = reader.u8();
  const std::uint32_t password = reader.u32();
  if (!Cashier::isNumber(number)) return result::kBadOperatorPrefix;
  body = reader.rest();
  return cashiers_.checkCashier(number, password, cashier) ? result::kSuccess : result::kBadOperator;
}
