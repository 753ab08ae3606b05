#include "tools/host/result_codes.h"

namespace host {
namespace {

struct ResultCodeText {
  std::uint8_t code;
  const char* meaning;
};

constexpr ResultCodeText kResultCodes[] = {
    {0, "success"},
    {3, "document could not be created or is not storable"},
    {4, "document could not be closed for storing"},
    {5, "archive not ready, or an archive read failed"},
    {6, "too little free space on the card"},
    {7, "stored data too long, or the receipt too large"},
    {8, "no port, or no result from the core"},
    {9, "frame CRC mismatch"},
    {10, "unknown command code"},
    {11, "bad frame length, short frame, or reply too long"},
    {12, "no start byte received"},
    {13, "device identity not valid"},
    {15, "no card"},
    {16, "cashier lacks the permission"},
    {17, "record not found or nothing to report"},
    {18, "cashier unknown, wrong password or not usable"},
    {19, "operator prefix too short or cashier number outside 1..20; receipt item without sub-items"},
    {20, "unknown table or setting selector"},
    {21, "record could not be saved"},
    {22, "payload of the wrong size or content"},
    {23, "time not later than the last document and the build moment"},
    {24, "factory serial number already set"},
    {25, "identity memory fault or no device key"},
    {26, "a shift is open"},
    {27, "no shift is open"},
    {28, "a document is already open"},
    {29, "no document is open"},
    {30, "wrong document type or unknown report"},
    {31, "archive closed"},
    {32, "archive belongs to another device"},
    {33, "registration count at its limit"},
    {34, "an item the document does not take"},
    {35, "registration text empty or too long, or a tax-rate item that does not decode"},
    {36, "sealed registration still not complete"},
    {37, "a mandatory item is missing (the data are its tag)"},
    {38, "registration data missing or incomplete"},
    {39, "open data announce more bytes than they hold"},
    {40, "no cash, or not enough cash in the drawer"},
    {41, "deposit too large"},
    {42, "receipt kind not valid or not set"},
    {43, "section of an item not found or not valid"},
    {44, "discount of an item not found or not valid"},
    {45, "tax rate of an item not found or not valid"},
    {46, "receipt item not valid"},
    {47, "payment below the total"},
    {48, "electronic payment above the total, outgoing receipt overpaid, or total too large"},
    {50, "3000 receipts in the shift"},
    {51, "shift open longer than 24 hours"},
    {52, "cash in the drawer is not zero"},
    {53, "printer not answering"},
    {54, "paper out"},
    {255, "empty result"},
};

}  // namespace

const char* resultMeaning(std::uint8_t code) {
  for (const ResultCodeText& entry : kResultCodes) {
    if (entry.code == code) return entry.meaning;
  }
  return "unknown code";
}

}  // namespace host
