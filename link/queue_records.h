// The records that cross the processing queue between the host link and the core loop.
//
// All three are plain values: copyable, movable, compared field by field. A transaction and
// the result that answers it share the transaction identifier; identifier 0 means "not yet
// assigned" and never names a stored result.
#pragma once

#include <cstdint>
#include <utility>

#include "core/state/result_code.h"
#include "values/bytes.h"

// One host command on its way to the core.
struct CoreTransaction {
  std::uint8_t command = 0;
  std::uint32_t identifier = 0;
  bytes::Bytes payload;

  bool operator==(const CoreTransaction&) const = default;
};

// The core's answer to one transaction. Only the low byte of the code reaches the host.
class CoreApiResult {
 public:
  CoreApiResult() = default;
  explicit CoreApiResult(std::int32_t code) : code_(code) {}
  CoreApiResult(std::int32_t code, bytes::Bytes data) : code_(code), data_(std::move(data)) {}

  std::int32_t code() const { return code_; }
  std::uint32_t identifier() const { return identifier_; }
  const bytes::Bytes& data() const { return data_; }

  void setCode(std::int32_t code) { code_ = code; }
  void setIdentifier(std::uint32_t identifier) { identifier_ = identifier; }
  void setData(bytes::Bytes data) { data_ = std::move(data); }

  bool isOk() const { return code_ == result::kSuccess; }
  bool isPending() const { return code_ == result::kPending; }

  bool operator==(const CoreApiResult&) const = default;

 private:
  std::int32_t code_ = result::kEmptyResult;
  std::uint32_t identifier_ = 0;
  bytes::Bytes data_;
};

// A message from the core about a transaction still in progress, delivered to the
// notification callback registered for its identifier.
struct CoreApiNotification {
  std::int32_t kind = 0;
  std::uint32_t identifier = 0;
  bytes::Bytes data;

  bool operator==(const CoreApiNotification&) const = default;
};
