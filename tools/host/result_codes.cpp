#include "tools/host/result_codes.h"

#include <iterator>

#include "core/state/result_code.h"

namespace host {
namespace {

struct ResultCodeText {
  std::uint8_t code;
  const char* meaning;
};

constexpr ResultCodeText kResultCodes[] = {
    {result::kSuccess, "success"},
    {result::kNotStorable, "document could not be created or is not storable"},
    {result::kNotClosable, "document could not be closed for storing"},
    {result::kArchiveNotReady, "archive not ready, or an archive read failed"},
    {result::kCardFull, "too little free space on the card"},
    {result::kTooLong, "stored data too long, or the receipt too large"},
    {result::kNoPort, "no port, or no result from the core"},
    {result::kBadCrc, "frame CRC mismatch"},
    {result::kUnknownCommand, "unknown command code"},
    {result::kBadFrameLength, "bad frame length, short frame, or reply too long"},
    {result::kNoStartByte, "no start byte received"},
    {result::kModelNotValid, "device identity not valid"},
    {result::kNoCard, "no card"},
    {result::kNoPermission, "cashier lacks the permission"},
    {result::kNotFound, "record not found or nothing to report"},
    {result::kBadOperator, "cashier unknown, wrong password or not usable"},
    {result::kBadOperatorPrefix,
     "operator prefix too short or cashier number outside 1..20; receipt item without sub-items"},
    {result::kUnknownSelector, "unknown table or setting selector"},
    {result::kNotSaved, "record could not be saved"},
    {result::kBadPayload, "payload of the wrong size or content"},
    {result::kTimeNotLater, "time not later than the last document and the build moment"},
    {result::kSerialAlreadySet, "factory serial number already set"},
    {result::kIdentityFault, "identity memory fault or no device key"},
    {result::kShiftOpen, "a shift is open"},
    {result::kNoShiftOpen, "no shift is open"},
    {result::kDocumentOpen, "a document is already open"},
    {result::kNoDocumentOpen, "no document is open"},
    {result::kWrongType, "wrong document type or unknown report"},
    {result::kArchiveClosed, "archive closed"},
    {result::kOtherDevice, "archive belongs to another device"},
    {result::kRegistrationLimit, "registration count at its limit"},
    {result::kItemNotTaken, "an item the document does not take"},
    {result::kBadRegistrationText, "registration text empty or too long, or a tax-rate item that does not decode"},
    {result::kRegistrationIncomplete, "sealed registration still not complete"},
    {result::kMandatoryMissing, "a mandatory item is missing (the data are its tag)"},
    {result::kRegistrationMissing, "registration data missing or incomplete"},
    {result::kOpenDataShort, "open data announce more bytes than they hold"},
    {result::kDrawerShort, "no cash, or not enough cash in the drawer"},
    {result::kDepositTooLarge, "deposit too large"},
    {result::kBadReceiptKind, "receipt kind not valid or not set"},
    {result::kSectionNotFound, "section of an item not found or not valid"},
    {result::kDiscountNotFound, "discount of an item not found or not valid"},
    {result::kTaxRateNotFound, "tax rate of an item not found or not valid"},
    {result::kBadReceiptItem, "receipt item not valid"},
    {result::kPaymentShort, "payment below the total"},
    {result::kOverpaid, "electronic payment above the total, outgoing receipt overpaid, or total too large"},
    {result::kReceiptLimit, "3000 receipts in the shift"},
    {result::kShiftTooOld, "shift open longer than 24 hours"},
    {result::kDrawerNotEmpty, "cash in the drawer is not zero"},
    {result::kPrinterSilent, "printer not answering"},
    {result::kPaperOut, "paper out"},
    {result::kPending, "work still in progress"},
    {result::kEmptyResult, "empty result"},
};
static_assert(std::size(kResultCodes) == std::size(result::kAllCodes), "a result code without its meaning");

}  // namespace

const char* resultMeaning(std::uint8_t code) {
  for (const ResultCodeText& entry : kResultCodes) {
    if (entry.code == code) return entry.meaning;
  }
  return "unknown code";
}

}  // namespace host
