#include "workers/config_worker.h"

#include "core/state/result_code.h"
#include "link/host_protocol.h"
#include "printer/printer_settings.h"

namespace {

// The table selector, the first body byte of a record read or write; 0 when the body is empty.
constexpr std::uint8_t kNoTable = 0;
constexpr std::uint8_t kCashiers = 1;
constexpr std::uint8_t kSections = 2;
constexpr std::uint8_t kDiscounts = 3;

constexpr std::uint8_t kPaperWidthSetting = 1;
constexpr std::size_t kClockSize = 4;
constexpr std::size_t kPasswordOffset = 3;  // in a cashier slot

bool isTable(std::uint8_t selector) { return selector >= kCashiers && selector <= kDiscounts; }

std::uint16_t rightsFor(std::uint8_t table) {
  return table == kCashiers ? CashierRights::kCashierTable : CashierRights::kGoodsTables;
}

// The body after the selector byte; an empty body has neither.
bytes::View afterSelector(bytes::View body) { return body.empty() ? body : body.subspan(1); }

bytes::Bytes copy(bytes::View data) { return {data.begin(), data.end()}; }

}  // namespace

ConfigWorker::ConfigWorker(CashierTable& cashiers, SectionTable& sections, DiscountTable& discounts,
                           DeviceState& state, platform::Board& board)
    : BaseWorker(cashiers), sections_(sections), discounts_(discounts), state_(state), board_(board) {}

CoreApiResult ConfigWorker::execute(const CoreTransaction& transaction) {
  switch (transaction.command) {
    case protocol::kReadRecord: return readRecord(transaction.payload);
    case protocol::kWriteRecord: return writeRecord(transaction.payload);
    case protocol::kReadClock: return readClock();
    case protocol::kSetClock: return setClock(transaction.payload);
    case protocol::kReadSetting: return readSetting(transaction.payload);
    case protocol::kWriteSetting: return CoreApiResult(writeSetting(transaction.payload));
    default: return CoreApiResult(result::kUnknownCommand);
  }
}

// The log-in is answered before the rights are looked at, so that a wrong password gives the
// same code whatever the cashier may do. The rights come before an unknown selector.
CoreApiResult ConfigWorker::readRecord(bytes::View payload) {
  Cashier operatorRecord;
  bytes::View body;
  if (const int refused = checkOperator(payload, operatorRecord, body); refused != 0) return CoreApiResult(refused);
  const std::uint8_t table = body.empty() ? kNoTable : body[0];
  if (!(operatorRecord.rights & rightsFor(table))) return CoreApiResult(result::kNoPermission);
  if (!body.empty() && !isTable(table)) return CoreApiResult(result::kUnknownSelector);
  const bytes::View rest = afterSelector(body);
  if (rest.empty()) return CoreApiResult(result::kBadOperatorPrefix);  // no record number
  const std::uint8_t number = rest[0];

  switch (table) {
    case kCashiers: {
      Cashier record;
      if (!cashiers_.readCashier(number, record)) return CoreApiResult(result::kNotFound);
      bytes::Bytes slot = copy(record.encode());
      // The administrator's password would let any cashier manager log in as the administrator.
      if (record.isAdministrator() && !operatorRecord.isAdministrator()) {
        bytes::storeU32(slot, kPasswordOffset, 0);
      }
      return CoreApiResult(result::kSuccess, std::move(slot));
    }
    case kSections: {
      Section section;
      if (!sections_.readSection(number, section)) return CoreApiResult(result::kNotFound);
      return CoreApiResult(result::kSuccess, copy(section.encode()));
    }
    default: {
      Discount discount;
      if (!discounts_.readDiscount(number, discount)) return CoreApiResult(result::kNotFound);
      return CoreApiResult(result::kSuccess, copy(discount.encode()));
    }
  }
}

// The reply carries the body as the steps left it, whatever the code: the record bytes once the
// selector is taken off, the whole body when the log-in failed, nothing without a body.
CoreApiResult ConfigWorker::writeRecord(bytes::View payload) {
  Cashier operatorRecord;
  bytes::View body;
  if (const int refused = checkOperator(payload, operatorRecord, body); refused != 0) {
    return CoreApiResult(refused, copy(payload.size() > kOperatorPrefixSize ? payload.subspan(kOperatorPrefixSize)
                                                                             : bytes::View{}));
  }
  // Nothing to write is not a success.
  if (body.empty()) return CoreApiResult(result::kBadPayload);
  const std::uint8_t table = body[0];
  const bytes::View record = afterSelector(body);
  CoreApiResult answer(result::kSuccess, copy(record));
  if (!isTable(table)) {
    answer.setCode(result::kUnknownSelector);
  } else if (!(operatorRecord.rights & rightsFor(table))) {
    answer.setCode(result::kNoPermission);
  } else if (table == kCashiers) {
    answer.setCode(writeCashier(operatorRecord, record));
  } else {
    answer.setCode(table == kSections ? writeSection(record) : writeDiscount(record));
  }
  return answer;
}

int ConfigWorker::writeSection(bytes::View slot) {
  Section section;
  if (!Section::decodeChecked(slot, section)) return result::kBadPayload;
  return sections_.saveSection(section) ? result::kSuccess : result::kNotSaved;
}

int ConfigWorker::writeDiscount(bytes::View slot) {
  Discount discount;
  if (!Discount::decodeChecked(slot, discount)) return result::kBadPayload;
  return discounts_.saveDiscount(discount) ? result::kSuccess : result::kNotSaved;
}

// The administrator's record is written only by the administrator, keeps the administrator's
// name and password where the record leaves them empty, and always has every right. Any other
// operator gives only rights it holds itself, so that no cashier can make one that may do more.
int ConfigWorker::writeCashier(const Cashier& operatorRecord, bytes::View slot) {
  Cashier record;
  if (!Cashier::decodeChecked(slot, record)) return result::kBadPayload;
  if (!operatorRecord.isAdministrator() && (record.rights & ~operatorRecord.rights) != 0) return result::kNoPermission;
  if (record.isAdministrator()) {
    if (!operatorRecord.isAdministrator()) return result::kNoPermission;
    if (record.name.empty()) record.name = operatorRecord.name;
    if (record.password == 0) record.password = operatorRecord.password;
    record.rights = CashierRights::kAdministrator;
  }
  return cashiers_.saveCashier(record) ? result::kSuccess : result::kNotSaved;
}

CoreApiResult ConfigWorker::readClock() const {
  bytes::Bytes data;
  bytes::appendU32(data, static_cast<std::uint32_t>(board_.now()));
  return CoreApiResult(result::kSuccess, std::move(data));
}

CoreApiResult ConfigWorker::setClock(bytes::View payload) {
  Cashier operatorRecord;
  bytes::View body;
  if (const int refused = checkOperator(payload, operatorRecord, body); refused != 0) return CoreApiResult(refused);
  if (!(operatorRecord.rights & CashierRights::kClock)) return CoreApiResult(result::kNoPermission);
  if (body.size() != kClockSize) return CoreApiResult(result::kBadPayload);
  const std::uint32_t seconds = bytes::loadU32(body, 0);
  if (seconds >= DeviceState::kTimeLimit) return CoreApiResult(result::kBadPayload);
  if (!state_.isAfterLastDocument(seconds)) return CoreApiResult(result::kTimeNotLater);
  if (!board_.setClock(seconds)) return CoreApiResult(result::kNotSaved);
  return CoreApiResult(result::kSuccess, copy(body));
}

CoreApiResult ConfigWorker::readSetting(bytes::View payload) {
  Cashier operatorRecord;
  bytes::View body;
  if (const int refused = checkOperator(payload, operatorRecord, body); refused != 0) return CoreApiResult(refused);
  if (body.empty()) return CoreApiResult(result::kBadPayload);
  if (body[0] != kPaperWidthSetting) return CoreApiResult(result::kUnknownSelector);
  return CoreApiResult(result::kSuccess, {readPaperWidth(board_)});
}

// The width in use changes only once it is saved: a failed save (21) leaves the register
// printing, reading back and starting with the width it had.
int ConfigWorker::writeSetting(bytes::View payload) {
  Cashier operatorRecord;
  bytes::View body;
  if (const int refused = checkOperator(payload, operatorRecord, body); refused != 0) return refused;
  if (!(operatorRecord.rights & CashierRights::kClock)) return result::kNoPermission;
  if (body.size() <= 1) return result::kBadPayload;
  if (body[0] != kPaperWidthSetting) return result::kUnknownSelector;
  const std::uint8_t width = body[1];
  if (!savePaperWidth(board_, width)) return result::kNotSaved;
  printerSettings().setPaperWidth(width);
  return result::kSuccess;
}
