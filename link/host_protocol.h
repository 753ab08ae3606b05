// The host protocol: the frame both directions use on the host line, and the command codes.
// The register's link and the host's tools each read and write frames with code of their own;
// these constants are the contract between them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol {

// Frame, both directions, every integer little-endian:
//   offset 0        1 byte    start byte 0x04
//   offset 1        2 bytes   LEN, u16: the number of body bytes
//   offset 3        LEN       body
//   offset 3 + LEN  2 bytes   CRC-16/CCITT-FALSE of the LEN field followed by the body, that
//                             is of the kLengthSize + LEN bytes from kLengthOffset (the start
//                             byte is not covered)
inline constexpr std::uint8_t kStartByte = 0x04;
inline constexpr std::size_t kLengthOffset = 1;
inline constexpr std::size_t kLengthSize = 2;
inline constexpr std::size_t kBodyOffset = kLengthOffset + kLengthSize;
inline constexpr std::size_t kCrcSize = 2;
// Start byte, LEN and CRC around the body.
inline constexpr std::size_t kFrameOverhead = kBodyOffset + kCrcSize;

// Body: a code byte (the command code of a request, the result code of a reply), the
// transaction identifier (u32) and the data (a request's payload, a reply's result data).
// A request identifier 0 asks the register to make one up; a request body shorter than
// kDataOffset carries a command code only. A reply body of kCodeSize bytes is a bare result
// code: the reply to a frame the register could not read, or one whose data did not fit.
inline constexpr std::size_t kCodeSize = 1;
inline constexpr std::size_t kIdentifierOffset = kCodeSize;
inline constexpr std::size_t kIdentifierSize = 4;
inline constexpr std::size_t kDataOffset = kIdentifierOffset + kIdentifierSize;
inline constexpr std::size_t kMaxRequestBody = 1024;
// Identifier and data of a reply together; a longer reply goes out as the bare result code 11.
inline constexpr std::size_t kMaxReplyPayload = 4096;
inline constexpr std::size_t kMaxReplyBody = kCodeSize + kMaxReplyPayload;

// Outside frames: a re-send byte received while the register waits for a start byte asks for
// the last reply again.
inline constexpr std::uint8_t kResendByte = 0x05;

// Commands the link answers itself, without the core.
inline constexpr std::uint8_t kState = 0x10;               // shift, receipt counter and shift record
inline constexpr std::uint8_t kStatus = 0x30;              // serial number and status record
inline constexpr std::uint8_t kIdentity = 0x31;            // the identity record
inline constexpr std::uint8_t kDeviceKey = 0x32;           // version and device key
inline constexpr std::uint8_t kVersion = 0x33;
inline constexpr std::uint8_t kRegistrationValue = 0x44;   // one registration value, by tag

// Configuration: reference records (table selector first), the clock and the settings.
inline constexpr std::uint8_t kReadRecord = 0x01;
inline constexpr std::uint8_t kWriteRecord = 0x02;
inline constexpr std::uint8_t kReadClock = 0x03;
inline constexpr std::uint8_t kSetClock = 0x04;
inline constexpr std::uint8_t kReadSetting = 0xC1;
inline constexpr std::uint8_t kWriteSetting = 0xC2;

// Documents: each document type is opened by one code and finished by another; between the
// two, items are added to the open document.
inline constexpr std::uint8_t kCancelDocument = 0x06;
inline constexpr std::uint8_t kAddItem = 0x07;
inline constexpr std::uint8_t kOpenFiscalization = 0x08;
inline constexpr std::uint8_t kFinishFiscalization = 0x09;
inline constexpr std::uint8_t kOpenShiftOpening = 0x11;
inline constexpr std::uint8_t kFinishShiftOpening = 0x12;
inline constexpr std::uint8_t kOpenShiftClosing = 0x13;
inline constexpr std::uint8_t kFinishShiftClosing = 0x14;
inline constexpr std::uint8_t kOpenReceipt = 0x15;
inline constexpr std::uint8_t kFinishReceipt = 0x16;
inline constexpr std::uint8_t kOpenArchiveClosing = 0x18;
inline constexpr std::uint8_t kFinishArchiveClosing = 0x19;
inline constexpr std::uint8_t kOpenCashDeposit = 0xA2;
inline constexpr std::uint8_t kFinishCashDeposit = 0xA3;
inline constexpr std::uint8_t kOpenCashPayout = 0xA4;
inline constexpr std::uint8_t kFinishCashPayout = 0xA5;
inline constexpr std::uint8_t kOpenDocumentState = 0xB0;

// The archive's counter blocks, as the archive keeps them.
inline constexpr std::uint8_t kShiftCounters = 0x36;
inline constexpr std::uint8_t kPeriodCounters = 0x37;
inline constexpr std::uint8_t kArchiveTotals = 0x38;
inline constexpr std::uint8_t kSectionSums = 0x39;

// Reports, printed: the control tape, the reports chosen by their first body byte, and the copy
// of a stored document.
inline constexpr std::uint8_t kControlTape = 0x3A;
inline constexpr std::uint8_t kReport = 0xB1;
inline constexpr std::uint8_t kDocumentCopy = 0xB2;

// Once in the register's life.
inline constexpr std::uint8_t kSetSerialNumber = 0x3F;

// The printer.
inline constexpr std::uint8_t kPrinterStatus = 0xC0;
inline constexpr std::uint8_t kPrintText = 0xC3;
inline constexpr std::uint8_t kPrintRaw = 0xC4;
inline constexpr std::uint8_t kFeedAndCut = 0xC5;

// Every command code above: the register answers every other code with result code 10.
inline constexpr std::uint8_t kAllCommands[] = {
    kState, kStatus, kIdentity, kDeviceKey, kVersion, kRegistrationValue,
    kReadRecord, kWriteRecord, kReadClock, kSetClock, kReadSetting, kWriteSetting,
    kCancelDocument, kAddItem, kOpenFiscalization, kFinishFiscalization, kOpenShiftOpening, kFinishShiftOpening,
    kOpenShiftClosing, kFinishShiftClosing, kOpenReceipt, kFinishReceipt, kOpenArchiveClosing,
    kFinishArchiveClosing, kOpenCashDeposit, kFinishCashDeposit, kOpenCashPayout, kFinishCashPayout,
    kOpenDocumentState,
    kShiftCounters, kPeriodCounters, kArchiveTotals, kSectionSums,
    kControlTape, kReport, kDocumentCopy,
    kSetSerialNumber,
    kPrinterStatus, kPrintText, kPrintRaw, kFeedAndCut,
};

}  // namespace protocol
