// The result codes of the whole service: the first body byte of every reply.
//
// Handlers return these as plain ints (a reply may also carry a code the core did not make,
// such as 255 for a result nobody filled), so the names live in an unscoped enum inside a
// namespace: `return result::kNoShiftOpen;`.
#pragma once

namespace result {

enum Code : int {
  kSuccess = 0,
  kNotStorable = 3,           // document could not be created or is not storable
  kNotClosable = 4,           // document could not be closed for storing
  kArchiveNotReady = 5,       // archive not ready, or an archive read failed
  kCardFull = 6,              // too little free space on the card
  kTooLong = 7,               // stored data too long, or a receipt would grow past its limit
  kNoPort = 8,                // no port, or no result from the core
  kBadCrc = 9,                // frame CRC mismatch
  kUnknownCommand = 10,
  kBadFrameLength = 11,       // bad frame length, short frame, or reply too long
  kNoStartByte = 12,
  kModelNotValid = 13,        // device identity (ModelData) not valid
  kNoCard = 15,
  kNoPermission = 16,
  kNotFound = 17,             // record not found or nothing to report
  kBadOperator = 18,          // cashier unknown, wrong password or not usable
  kBadOperatorPrefix = 19,    // prefix too short, cashier outside 1..20; item without sub-items
  kUnknownSelector = 20,      // unknown table or setting selector
  kNotSaved = 21,             // record could not be saved
  kBadPayload = 22,           // payload of the wrong size or content; unknown item sub-tag
  kTimeNotLater = 23,         // time not later than the last document and the build moment
  kSerialAlreadySet = 24,
  kIdentityFault = 25,        // identity memory fault or no device key
  kShiftOpen = 26,            // a shift is open where a closed shift is needed
  kNoShiftOpen = 27,          // no shift is open where an open shift is needed
  kDocumentOpen = 28,
  kNoDocumentOpen = 29,
  kWrongType = 30,            // wrong document type or unknown report
  kArchiveClosed = 31,
  kOtherDevice = 32,          // archive belongs to another device
  kRegistrationLimit = 33,    // registration count at its limit
  kItemNotTaken = 34,         // an item the document does not take
  kBadRegistrationText = 35,  // registration text empty or too long, or a bad tax-rate item
  kRegistrationIncomplete = 36,
  kMandatoryMissing = 37,     // a mandatory item is missing; the reply data are its tag (u16)
  kRegistrationMissing = 38,
  kOpenDataShort = 39,        // open data announce more bytes than they hold
  kDrawerShort = 40,          // cash in the drawer is zero or less than the amount
  kDepositTooLarge = 41,
  kBadReceiptKind = 42,
  kSectionNotFound = 43,
  kDiscountNotFound = 44,
  kTaxRateNotFound = 45,
  kBadReceiptItem = 46,
  kPaymentShort = 47,         // payment below the total
  kOverpaid = 48,             // electronic part above the total, outgoing overpaid, total too big
  kReceiptLimit = 50,         // 3000 receipts in the shift
  kShiftTooOld = 51,          // shift open longer than 24 hours
  kDrawerNotEmpty = 52,
  kPrinterSilent = 53,
  kPaperOut = 54,
  kPending = 254,             // a result that says the work goes on (no handler gives one)
  kEmptyResult = 255,         // default code of a result nobody filled
};

// Every code above, in order. A code added above goes here too: the tests hold this list to the
// enumeration, and every code in it to its meaning in the host's texts.
inline constexpr Code kAllCodes[] = {
    kSuccess, kNotStorable, kNotClosable, kArchiveNotReady, kCardFull, kTooLong, kNoPort, kBadCrc,
    kUnknownCommand, kBadFrameLength, kNoStartByte, kModelNotValid, kNoCard, kNoPermission,
    kNotFound, kBadOperator, kBadOperatorPrefix, kUnknownSelector, kNotSaved, kBadPayload,
    kTimeNotLater, kSerialAlreadySet, kIdentityFault, kShiftOpen, kNoShiftOpen, kDocumentOpen,
    kNoDocumentOpen, kWrongType, kArchiveClosed, kOtherDevice, kRegistrationLimit, kItemNotTaken,
    kBadRegistrationText, kRegistrationIncomplete, kMandatoryMissing, kRegistrationMissing,
    kOpenDataShort, kDrawerShort, kDepositTooLarge, kBadReceiptKind, kSectionNotFound,
    kDiscountNotFound, kTaxRateNotFound, kBadReceiptItem, kPaymentShort, kOverpaid, kReceiptLimit,
    kShiftTooOld, kDrawerNotEmpty, kPrinterSilent, kPaperOut, kPending, kEmptyResult,
};

}  // namespace result
