#include "core/state/device_state.h"

#include <ctime>

#include "core/state/result_code.h"

namespace {

using FrStatus::CycleStatus;
using FrStatus::StatusStruct;

// Reads and writes one little-endian field of a status record.
template <typename T, std::size_t N>
T load(const std::array<std::uint8_t, N>& raw, std::size_t offset) {
  if constexpr (sizeof(T) == 1) return bytes::loadU8(raw, offset);
  if constexpr (sizeof(T) == 2) return bytes::loadU16(raw, offset);
  if constexpr (sizeof(T) == 4) return bytes::loadU32(raw, offset);
  if constexpr (sizeof(T) == 8) return bytes::loadU64(raw, offset);
}

template <typename T, std::size_t N>
void store(std::array<std::uint8_t, N>& raw, std::size_t offset, T value) {
  if constexpr (sizeof(T) == 1) bytes::storeU8(raw, offset, value);
  if constexpr (sizeof(T) == 2) bytes::storeU16(raw, offset, value);
  if constexpr (sizeof(T) == 4) bytes::storeU32(raw, offset, value);
  if constexpr (sizeof(T) == 8) bytes::storeU64(raw, offset, value);
}

constexpr std::uint32_t kShiftMaxAgeSeconds = 86400;
constexpr std::uint16_t kShiftMaxReceipts = 3000;
constexpr std::uint8_t kMaxFiscalizations = 50;
constexpr std::uint32_t kMinCapacity = 10;
constexpr std::uint32_t kMinCapacityForPayout = 5;

}  // namespace

#define FR_STATUS_FIELD(Type, Getter, Setter, Record, Offset)      \
  Type DeviceState::Getter() const {                               \
    std::lock_guard<std::mutex> hold(statusLock_);                 \
    return load<Type>(Record.raw, Offset);                         \
  }                                                                \
  void DeviceState::Setter(Type value) {                           \
    std::lock_guard<std::mutex> hold(statusLock_);                 \
    store<Type>(Record.raw, Offset, value);                        \
  }

FR_STATUS_FIELD(std::uint8_t, fiscalizationCount, setFiscalizationCount, status_, StatusStruct::kFiscalizationCount)
FR_STATUS_FIELD(std::uint16_t, shiftNumber, setShiftNumber, status_, StatusStruct::kShiftNumber)
FR_STATUS_FIELD(std::uint32_t, lastDocumentNumber, setLastDocumentNumber, status_, StatusStruct::kLastDocumentNumber)
FR_STATUS_FIELD(std::uint32_t, lastDocumentTime, setLastDocumentTime, status_, StatusStruct::kLastDocumentTime)
FR_STATUS_FIELD(std::uint16_t, receiptCounter, setReceiptCounter, status_, StatusStruct::kReceiptCounter)
FR_STATUS_FIELD(std::uint8_t, openDocumentState, setOpenDocumentState, status_, StatusStruct::kOpenDocumentState)
FR_STATUS_FIELD(std::uint32_t, documentCapacity, setDocumentCapacity, status_, StatusStruct::kDocumentCapacity)
FR_STATUS_FIELD(std::uint32_t, shiftOpeningNumber, setShiftOpeningNumber, cycle_, CycleStatus::kOpeningNumber)
FR_STATUS_FIELD(std::uint32_t, shiftOpeningTime, setShiftOpeningTime, cycle_, CycleStatus::kOpeningTime)
FR_STATUS_FIELD(std::uint32_t, shiftClosingNumber, setShiftClosingNumber, cycle_, CycleStatus::kClosingNumber)
FR_STATUS_FIELD(std::uint32_t, shiftClosingTime, setShiftClosingTime, cycle_, CycleStatus::kClosingTime)
FR_STATUS_FIELD(std::uint64_t, drawerCash, setDrawerCash, cycle_, CycleStatus::kDrawerCash)

#undef FR_STATUS_FIELD

DeviceState::DeviceState()
    : modelData_(std::make_shared<const ModelData>()), regData_(std::make_shared<const RegData>()) {}

void DeviceState::resetStatus() {
  std::lock_guard<std::mutex> hold(statusLock_);
  status_ = {};
  cycle_ = {};
}

void DeviceState::setStatusFlag(std::uint16_t mask, bool on) {
  std::lock_guard<std::mutex> hold(statusLock_);
  const std::uint16_t flags = load<std::uint16_t>(status_.raw, StatusStruct::kFlags);
  store<std::uint16_t>(status_.raw, StatusStruct::kFlags,
                       static_cast<std::uint16_t>(on ? (flags | mask) : (flags & ~mask)));
}

bool DeviceState::hasStatusFlag(std::uint16_t mask) const { return (statusFlags() & mask) != 0; }

std::uint16_t DeviceState::statusFlags() const {
  std::lock_guard<std::mutex> hold(statusLock_);
  return load<std::uint16_t>(status_.raw, StatusStruct::kFlags);
}

bytes::Bytes DeviceState::statusBytesLocked() const {
  bytes::Bytes out(status_.raw.begin(), status_.raw.end());
  out[StatusStruct::kFormat] = FrStatus::kFormatByte;
  return out;
}

bytes::Bytes DeviceState::statusBytes() const {
  std::lock_guard<std::mutex> hold(statusLock_);
  return statusBytesLocked();
}

DeviceState::RecordBytes DeviceState::recordBytes() const {
  std::lock_guard<std::mutex> hold(statusLock_);
  return {statusBytesLocked(), bytes::Bytes(cycle_.raw.begin(), cycle_.raw.end())};
}

int DeviceState::deviceFaultLocked(bool withPrinter) const {
  const std::uint16_t flags = load<std::uint16_t>(status_.raw, StatusStruct::kFlags);
  if (flags & FrStatus::kForeignArchive) return result::kOtherDevice;
  if (!(flags & FrStatus::kCardPresent)) return result::kNoCard;
  if (!(flags & FrStatus::kArchiveReady)) return result::kArchiveNotReady;
  if (flags & FrStatus::kArchiveClosed) return result::kArchiveClosed;
  if (flags & FrStatus::kIdentityFault) return result::kIdentityFault;
  if (!withPrinter) return result::kSuccess;
  if (flags & FrStatus::kPrinterNotAnswering) return result::kPrinterSilent;
  if (flags & FrStatus::kPaperOut) return result::kPaperOut;
  return result::kSuccess;
}

int DeviceState::deviceFault(bool withPrinter) const {
  std::lock_guard<std::mutex> hold(statusLock_);
  return deviceFaultLocked(withPrinter);
}

bool DeviceState::deviceReady() const { return deviceFault(true) == 0; }

// Runs one readiness rule list under the status lock; the rules return 0 to go on.
template <typename Check>
int DeviceState::checked(Check check) const {
  std::lock_guard<std::mutex> hold(statusLock_);
  const int code = check(load<std::uint16_t>(status_.raw, StatusStruct::kFlags) & FrStatus::kShiftOpen,
                         load<std::uint32_t>(status_.raw, StatusStruct::kDocumentCapacity));
  return code != 0 ? code : deviceFaultLocked(true);
}

int DeviceState::readyForType1() const {
  return checked([&](bool shiftOpen, std::uint32_t capacity) {
    if (shiftOpen) return result::kShiftOpen;
    if (load<std::uint8_t>(status_.raw, StatusStruct::kFiscalizationCount) >= kMaxFiscalizations) return result::kRegistrationLimit;
    if (capacity < kMinCapacity) return result::kCardFull;
    return result::kSuccess;
  });
}

int DeviceState::readyForType2() const {
  return checked([&](bool shiftOpen, std::uint32_t) {
    if (!shiftOpen) return result::kNoShiftOpen;
    if (load<std::uint64_t>(cycle_.raw, CycleStatus::kDrawerCash) != 0) return result::kDrawerNotEmpty;
    return result::kSuccess;
  });
}

int DeviceState::readyForType3(std::int64_t now) const {
  return checked([&](bool shiftOpen, std::uint32_t capacity) {
    if (!shiftOpen) return result::kNoShiftOpen;
    if (capacity < kMinCapacity) return result::kCardFull;
    if (now - load<std::uint32_t>(cycle_.raw, CycleStatus::kOpeningTime) > kShiftMaxAgeSeconds) return result::kShiftTooOld;
    if (load<std::uint16_t>(status_.raw, StatusStruct::kReceiptCounter) >= kShiftMaxReceipts) return result::kReceiptLimit;
    return result::kSuccess;
  });
}

int DeviceState::readyForType4() const {
  return checked([](bool shiftOpen, std::uint32_t) { return shiftOpen ? result::kShiftOpen : result::kSuccess; });
}

int DeviceState::readyForType5(std::int64_t now) const {
  return checked([&](bool shiftOpen, std::uint32_t capacity) {
    if (!shiftOpen) return result::kNoShiftOpen;
    if (capacity < kMinCapacity) return result::kCardFull;
    if (now - load<std::uint32_t>(cycle_.raw, CycleStatus::kOpeningTime) > kShiftMaxAgeSeconds) return result::kShiftTooOld;
    return result::kSuccess;
  });
}

int DeviceState::readyForType6() const {
  return checked([&](bool shiftOpen, std::uint32_t capacity) {
    if (!shiftOpen) return result::kNoShiftOpen;
    if (capacity < kMinCapacityForPayout) return result::kCardFull;
    if (load<std::uint64_t>(cycle_.raw, CycleStatus::kDrawerCash) == 0) return result::kDrawerShort;
    return result::kSuccess;
  });
}

int DeviceState::readyForType7() const {
  return checked([&](bool shiftOpen, std::uint32_t capacity) {
    if (shiftOpen) return result::kShiftOpen;
    if (capacity < kMinCapacity) return result::kCardFull;
    return result::kSuccess;
  });
}

int DeviceState::readyForReport() const {
  return checked([](bool shiftOpen, std::uint32_t) { return shiftOpen ? result::kSuccess : result::kNoShiftOpen; });
}

bool DeviceState::isAfterLastDocument(std::int64_t now) const {
  return now > lastDocumentTime() && now > buildMoment();
}

bool DeviceState::isDocumentTime(std::int64_t now) const { return isAfterLastDocument(now) && now < kTimeLimit; }

std::shared_ptr<const ModelData> DeviceState::currentModelData() const {
  std::lock_guard<std::mutex> hold(identityLock_);
  return modelData_;
}

std::shared_ptr<const RegData> DeviceState::currentRegData() const {
  std::lock_guard<std::mutex> hold(identityLock_);
  return regData_;
}

void DeviceState::publishModelData(const ModelData& record) {
  auto copy = std::make_shared<const ModelData>(record);
  std::lock_guard<std::mutex> hold(identityLock_);
  modelData_ = std::move(copy);
}

void DeviceState::publishRegData(const RegData& record) {
  auto copy = std::make_shared<const RegData>(record);
  std::lock_guard<std::mutex> hold(identityLock_);
  regData_ = std::move(copy);
}

bytes::Bytes DeviceState::deviceKey() const {
  std::lock_guard<std::mutex> hold(identityLock_);
  return deviceKey_;
}

void DeviceState::setDeviceKey(bytes::View key) {
  std::lock_guard<std::mutex> hold(identityLock_);
  deviceKey_.assign(key.begin(), key.end());
}

std::int64_t DeviceState::buildMoment() {
  static const std::int64_t moment = [] {
    std::tm parts{};
    strptime("Jul  1 2022 09:18:01", "%b %d %Y %H:%M:%S", &parts);
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts));
  }();
  return moment;
}

DeviceState& deviceState() {
  static DeviceState* const state = new DeviceState();  // never destroyed: the detached link thread reads it until exit
  return *state;
}
