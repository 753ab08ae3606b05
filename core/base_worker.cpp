#include "core/base_worker.h"

namespace {

constexpr std::size_t kOperatorPrefixSize = 5;
constexpr int kNoOperator = 19;
constexpr int kOperatorRefused = 18;

}  // namespace

int BaseWorker::checkOperator(bytes::View payload, Cashier& cashier, bytes::View& body) const {
  if (payload.size() < kOperatorPrefixSize) return kNoOperator;
  bytes::ByteReader reader(payload);
  const std::uint8_t number = reader.u8();
  const std::uint32_t password = reader.u32();
  if (!Cashier::isNumber(number)) return kNoOperator;
  body = reader.rest();
  return cashiers_.checkCashier(number, password, cashier) ? 0 : kOperatorRefused;
}
