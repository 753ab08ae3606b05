// The host's document commands as the command line gives them: the requests that make one
// document (open, items, finish), the operator prefix, amounts and the registration's data, and
// what the replies of a finished or open document say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/host_protocol.h"
#include "tools/host/command_options.h"
#include "tools/host/frame.h"
#include "tools/host/plan.h"
#include "values/bytes.h"
#include "values/tlv.h"

namespace host {

// The open and finish codes of one document type.
struct DocumentCodes {
  std::uint8_t type;
  std::uint8_t open;
  std::uint8_t finish;
};

inline constexpr DocumentCodes kFiscalizationCodes{1, protocol::kOpenFiscalization, protocol::kFinishFiscalization};
inline constexpr DocumentCodes kShiftClosingCodes{2, protocol::kOpenShiftClosing, protocol::kFinishShiftClosing};
inline constexpr DocumentCodes kArchiveClosingCodes{4, protocol::kOpenArchiveClosing, protocol::kFinishArchiveClosing};
inline constexpr DocumentCodes kCashDepositCodes{5, protocol::kOpenCashDeposit, protocol::kFinishCashDeposit};
inline constexpr DocumentCodes kCashPayoutCodes{6, protocol::kOpenCashPayout, protocol::kFinishCashPayout};
inline constexpr DocumentCodes kShiftOpeningCodes{7, protocol::kOpenShiftOpening, protocol::kFinishShiftOpening};

bytes::Bytes operatorPrefix(const Operator& cashier);

// An item to add to an open document and what the output calls it.
struct LabelledItem {
  std::string label;
  TlvItem item;
};

// Open (operator prefix, then `openData`), one add-item request per item in wire form, finish
// with `finishingData`.
Plan documentPlan(const DocumentCodes& codes, const Operator& cashier, bytes::View openData = {},
                  const std::vector<LabelledItem>& items = {}, bytes::View finishingData = {});

// A non-negative amount written with at most two decimals ("150", "150.5", "0.50") in
// hundredths, at most `maximum`; nullopt for anything else (signs, exponents, a bare point).
std::optional<std::uint64_t> parseHundredths(std::string_view text, std::uint64_t maximum);

// The finishing data of a deposit or payout: the amount in roubles (as parseHundredths reads
// it) as i64 little-endian kopecks. nullopt for an amount that is not valid.
std::optional<bytes::Bytes> amountData(std::string_view roubles);

// The payload of the serial-number command: the operator prefix, then the serial number of
// exactly 10 decimal digits; nullopt for any other text.
std::optional<bytes::Bytes> serialNumberPayload(const Operator& cashier, std::string_view digits);

// The register command's arguments:
//   --user TEXT --place TEXT --address TEXT --inn DIGITS --regnum DIGITS
//   [--tax SLOT:KIND:PERCENT:NAME ...] [--cashier-name TEXT]
// Texts are UTF-8 and sent in CP866 (a character CP866 lacks is sent as '?'); user name, place
// and address hold 1 to 255 bytes, the cashier name at most 255. The taxpayer number follows
// the register's digit rule for its 12 bytes, the registration number for its 16. A tax rate
// names its tax index (SLOT 1..5, each at most once), its kind (0 without tax, 1 included in
// prices, 2 on top), its percentage with at most two decimals below 100 and a name of 1 to 30
// CP866 bytes; the name is everything after the third colon.
//
// The plan: open the fiscalization with the open data (empty, or the cashier name as a length
// byte and its bytes), add 11048 user name, 11187 place, 11009 address and the tax-rate
// containers 13105 + SLOT - 1, then finish with 28 bytes: the taxpayer number padded with
// zero bytes to 12, the registration number padded to 16. nullopt with `problem` set when a
// value is not valid.
class RegistrationArguments : public CommandArguments {
 public:
  void declare(CLI::App& command) override;
  std::optional<Plan> plan(const Operator& cashier, std::string& problem) const override;

 private:
  std::string user_, place_, address_, taxpayerNumber_, registrationNumber_;
  std::vector<std::string> taxRates_;
  std::optional<std::string> cashierName_;
};
// The plan for the words of a register command line, read as frhost reads them.
std::optional<Plan> registrationPlan(const Operator& cashier, Arguments words, std::string& problem);

// What the close reply of a finished document says: every kind begins with the document
// number, fiscal sign and date-time (u32 LE each); shift documents add the shift number (u16
// LE); deposits and payouts add the shift number and then the cash in the drawer after the
// document (u64 LE hundredths). Fiscalization and archive closing add nothing.
struct CloseReply {
  std::uint32_t documentNumber = 0;
  std::uint32_t fiscalSign = 0;
  std::uint32_t dateTime = 0;
  std::optional<std::uint16_t> shiftNumber = {};
  std::optional<std::uint64_t> drawerCash = {};

  friend bool operator==(const CloseReply&, const CloseReply&) = default;
};

// nullopt when `data` are not exactly the close reply of a document of `type` (receipts are
// not among the types read here).
std::optional<CloseReply> parseCloseReply(std::uint8_t type, bytes::View data);

// "shift opening" for 7 and so on; "unknown" outside 1..7.
std::string_view documentTypeName(std::uint8_t type);

// What the tag of a missing item is ("taxpayer number" for 11018); empty for a tag the
// document commands do not name.
std::string_view missingItemName(std::uint16_t tag);

}  // namespace host
