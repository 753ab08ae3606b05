// The base of every worker that serves core commands.
#pragma once

#include "reference/cashier.h"
#include "values/bytes.h"

class BaseWorker {
 public:
  explicit BaseWorker(CashierTable& cashiers) : cashiers_(cashiers) {}
  virtual ~BaseWorker() = default;

 protected:
  static constexpr std::size_t kOperatorPrefixSize = 5;

  // Splits a payload into the operator prefix (cashier number u8, password u32) and the body,
  // and logs the cashier in: 19 when the payload is shorter than the prefix or the number is
  // outside 1..20; 18 when the cashier is unknown, not usable or the password differs; else 0
  // with the cashier's record and the body.
  int checkOperator(bytes::View payload, Cashier& cashier, bytes::View& body) const;

  CashierTable& cashiers_;
};
