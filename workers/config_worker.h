// The configuration commands: the reference tables (cashiers, sections, discounts), the clock
// and the printer setting.
//
//   1    read a record      operator, table selector, record number  -> the record's slot bytes
//   2    write a record     operator, table selector, slot bytes     -> the slot bytes as sent
//   3    read the clock     (anything, no operator)                  -> u32 seconds since the epoch
//   4    set the clock      operator, u32 seconds since the epoch    -> the same 4 bytes
//   193  read a setting     operator, setting selector               -> the setting's byte
//   194  write a setting    operator, setting selector, value bytes  -> nothing
// Table selectors: 1 cashiers (rights bit 0x0100), 2 sections and 3 discounts (0x0080). The
// only setting is 1, the paper width in millimetres; the clock and the setting need 0x0004.
#pragma once

#include <cstdint>

#include "core/state/base_worker.h"
#include "core/state/device_state.h"
#include "link/queue_records.h"
#include "platform/board.h"
#include "reference/discount.h"
#include "reference/section.h"

class ConfigWorker : public BaseWorker {
 public:
  ConfigWorker(CashierTable& cashiers, SectionTable& sections, DiscountTable& discounts, DeviceState& state,
               platform::Board& board);

  // Serves codes 1, 2, 3, 4, 193 and 194.
  CoreApiResult execute(const CoreTransaction& transaction);

 private:
  CoreApiResult readRecord(bytes::View payload);
  CoreApiResult writeRecord(bytes::View payload);
  CoreApiResult readClock() const;
  CoreApiResult setClock(bytes::View payload);
  CoreApiResult readSetting(bytes::View payload);
  int writeSetting(bytes::View payload);

  int writeCashier(const Cashier& operatorRecord, bytes::View slot);
  int writeSection(bytes::View slot);
  int writeDiscount(bytes::View slot);

  SectionTable& sections_;
  DiscountTable& discounts_;
  DeviceState& state_;
  platform::Board& board_;
};
