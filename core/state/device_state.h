// The state the two threads share: the status records, the identity and the device key.
//
// Two independent locks: the status lock guards both status records, the identity lock the
// three identity holders. Every accessor holds its lock for its own duration only and calls
// nothing else while holding it, so there is no lock order. Published identity records are
// never changed in place: a reader keeps a consistent snapshot through its shared pointer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "core/state/status_records.h"
#include "documents/reg_data.h"
#include "storage/model_data.h"
#include "values/bytes.h"

class DeviceState {
 public:
  DeviceState();

  // --- status lock ---
  void resetStatus();
  void setStatusFlag(std::uint16_t mask, bool on);
  bool hasStatusFlag(std::uint16_t mask) const;  // any bit of mask set
  std::uint16_t statusFlags() const;

  std::uint8_t fiscalizationCount() const;
  void setFiscalizationCount(std::uint8_t count);
  std::uint16_t shiftNumber() const;
  void setShiftNumber(std::uint16_t number);
  std::uint32_t lastDocumentNumber() const;
  void setLastDocumentNumber(std::uint32_t number);
  std::uint32_t lastDocumentTime() const;
  void setLastDocumentTime(std::uint32_t seconds);
  std::uint16_t receiptCounter() const;
  void setReceiptCounter(std::uint16_t count);
  std::uint8_t openDocumentState() const;
  void setOpenDocumentState(std::uint8_t type);
  std::uint32_t documentCapacity() const;
  void setDocumentCapacity(std::uint32_t capacity);

  std::uint32_t shiftOpeningNumber() const;
  void setShiftOpeningNumber(std::uint32_t number);
  std::uint32_t shiftOpeningTime() const;
  void setShiftOpeningTime(std::uint32_t seconds);
  std::uint32_t shiftClosingNumber() const;
  void setShiftClosingNumber(std::uint32_t number);
  std::uint32_t shiftClosingTime() const;
  void setShiftClosingTime(std::uint32_t seconds);
  std::uint64_t drawerCash() const;
  void setDrawerCash(std::uint64_t hundredths);

  // The records' bytes as the host receives them (the format byte always 0x32).
  bytes::Bytes statusBytes() const;
  struct RecordBytes {
    bytes::Bytes status;
    bytes::Bytes cycle;
  };
  // Both records read under one hold of the lock: never two moments mixed.
  RecordBytes recordBytes() const;

  // Readiness for a document of each type: 0 when ready, otherwise the first result code that
  // applies. `now` is the current time in seconds since the epoch.
  int readyForType1() const;  // fiscalization
  int readyForType2() const;  // shift closing
  int readyForType3(std::int64_t now) const;  // receipt
  int readyForType4() const;  // archive closing
  int readyForType5(std::int64_t now) const;  // cash deposit
  int readyForType6() const;  // cash payout
  int readyForType7() const;  // shift opening
  int readyForReport() const;
  bool deviceReady() const;
  int deviceFault(bool withPrinter) const;

  // Later than both the last document's time and the build moment.
  bool isAfterLastDocument(std::int64_t now) const;
  // A time a new document may carry: after the last document and the build moment, and
  // before kTimeLimit.
  bool isDocumentTime(std::int64_t now) const;

  // --- identity lock ---
  std::shared_ptr<const ModelData> currentModelData() const;
  std::shared_ptr<const RegData> currentRegData() const;
  void publishModelData(const ModelData& record);
  void publishRegData(const RegData& record);
  bytes::Bytes deviceKey() const;
  void setDeviceKey(bytes::View key);

  // Seconds since the epoch of "Jul  1 2022 09:18:01", local time.
  static std::int64_t buildMoment();
  // Stored times are 32 bits that readers take as signed: neither the clock nor a document may
  // reach 2^31 seconds (2038-01-19 03:14:08 UTC).
  static constexpr std::int64_t kTimeLimit = std::int64_t{1} << 31;

 private:
  int deviceFaultLocked(bool withPrinter) const;
  bytes::Bytes statusBytesLocked() const;
  template <typename Check>
  int checked(Check check) const;

  mutable std::mutex statusLock_;
  FrStatus::StatusStruct status_;
  FrStatus::CycleStatus cycle_;

  mutable std::mutex identityLock_;
  std::shared_ptr<const ModelData> modelData_;
  std::shared_ptr<const RegData> regData_;
  bytes::Bytes deviceKey_;
};

// The register's one instance, shared by the host link and the core.
DeviceState& deviceState();
