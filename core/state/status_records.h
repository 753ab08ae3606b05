// The register's status word and shift record, sent to the host byte for byte.
//
// StatusStruct (21 bytes, little-endian):
//    0  2  status flags (Flag)
//    2  1  fiscalization count
//    3  1  format byte, always 0x32
//    4  2  current shift number
//    6  4  number of the last document in the archive
//   10  4  time of the last document, seconds since the epoch
//   14  2  receipt counter of the current shift
//   16  1  open-document state: the type of the open document, 0 when none
//   17  4  document capacity: usable card space in units of 32 KiB, at most 250000
//
// CycleStatus (24 bytes, little-endian):
//    0  4  document number of the last shift opening
//    4  4  time of the last shift opening
//    8  4  document number of the last shift closing; while a shift is open, the newest document
//   12  4  time of the last shift closing, 0 while a shift is open
//   16  8  cash in the drawer, u64 hundredths
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "values/bytes.h"

namespace FrStatus {

enum Flag : std::uint16_t {
  kCardPresent = 0x0001,          // the card is present and mounted
  kRegistrationMatches = 0x0002,  // the archive's registration is the one in force
  kForeignArchive = 0x0004,       // the archive belongs to another device
  kShiftOpen = 0x0008,
  kArchiveReady = 0x0010,         // the card is mounted and the archive passed its checks
  kArchiveClosed = 0x0020,
  kIdentityFault = 0x0040,        // the identity memory could not be read or written
  kPrinterNotAnswering = 0x1000,
  kPaperNearEnd = 0x2000,
  kPaperOut = 0x4000,
};

inline constexpr std::uint8_t kFormatByte = 0x32;

struct StatusStruct {
  static constexpr std::size_t kSize = 21;
  static constexpr std::size_t kFlags = 0, kFiscalizationCount = 2, kFormat = 3, kShiftNumber = 4,
                               kLastDocumentNumber = 6, kLastDocumentTime = 10, kReceiptCounter = 14,
                               kOpenDocumentState = 16, kDocumentCapacity = 17;

  // All zero but the format byte.
  StatusStruct() { raw[kFormat] = kFormatByte; }

  std::array<std::uint8_t, kSize> raw{};
};

struct CycleStatus {
  static constexpr std::size_t kSize = 24;
  static constexpr std::size_t kOpeningNumber = 0, kOpeningTime = 4, kClosingNumber = 8, kClosingTime = 12,
                               kDrawerCash = 16;

  std::array<std::uint8_t, kSize> raw{};
};

}  // namespace FrStatus
