// The sale command: a receipt of any kind from item lines given on the command line or in a
// file, paid in cash and by card, and what its close reply says.
//
//   sale [--kind K] [--cash AMOUNT] [--card AMOUNT] [--cashier-name TEXT] [--items FILE] [ITEM ...]
//
// An ITEM is comma-separated KEY=VALUE fields:
//   name=TEXT (needed)  price=ROUBLES (needed)  qty=NUMBER (default 1; its places are kept,
//   so 2.000 is sent with three)  unit=TEXT  section=1-20 (default 1)  tax=1-5 (default 1)
//   discount=1-20 (a programmed discount)  manual=ROUBLES (a discount given here)
//   code=TEXT (product code)  mark=TEXT (marking code)
// A value cannot hold a comma on the command line; a file can. FILE is JSON (an array of
// objects with the same keys, or an object whose "items" is one) or text with one ITEM per
// line (empty lines and lines starting with # are skipped). Texts are UTF-8 and sent in CP866.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/host_protocol.h"
#include "tools/host/command_options.h"
#include "tools/host/document_commands.h"
#include "tools/host/session.h"

namespace host {

inline constexpr DocumentCodes kReceiptCodes{3, protocol::kOpenReceipt, protocol::kFinishReceipt};

// One ITEM as the host sends it (container 11059); nullopt with `problem` set when a field is
// unknown, missing or not valid.
std::optional<LabelledItem> parseSaleItem(std::string_view spec, std::string& problem);

// The item lines of a file's content: JSON when it starts with '[' or '{', else text lines.
std::optional<std::vector<LabelledItem>> parseSaleItems(std::string_view content, std::string& problem);
// The item lines of a JSON array of item objects, each key one ITEM field (a value that is not
// a string is taken as JSON writes it).
std::optional<std::vector<LabelledItem>> parseSaleItemList(const nlohmann::json& list, std::string& problem);

// The sale command's arguments. Its plan: open 21 with the kind and the cashier name, one
// add-item request per item (those of an --items FILE where it stands among the ITEMs), finish 22
// with cash and card amounts (i64 kopecks each). No payment at all lets the register take the
// total in cash. nullopt with `problem` set when an item, its file or the cashier name is not
// valid, or no item is given.
class SaleArguments : public CommandArguments {
 public:
  void declare(CLI::App& command) override;
  std::optional<Plan> plan(const Operator& cashier, std::string& problem) const override;

 private:
  const CLI::App* command_ = nullptr;
  unsigned kind_ = 0;
  std::string cash_ = "0", card_ = "0";
  std::string cashierName_;
  std::vector<std::string> files_, items_;
};
// Open 21 with the kind and the cashier name (none when empty; UTF-8, at most 255 bytes in
// CP866), one add-item request per item, finish 22 with the cash and card amounts (u64
// kopecks each). nullopt with `problem` set for a cashier name too long.
std::optional<Plan> receiptPlan(const Operator& cashier, std::uint8_t kind, std::string_view cashierName,
                                const std::vector<LabelledItem>& items, std::uint64_t cash, std::uint64_t card,
                                std::string& problem);
// The plan for the words of a sale command line, read as frhost reads them.
std::optional<Plan> salePlan(const Operator& cashier, Arguments words, std::string& problem);

// What the 32-byte close reply of a receipt says.
struct ReceiptReply {
  std::uint32_t documentNumber = 0;
  std::uint32_t fiscalSign = 0;
  std::uint32_t dateTime = 0;
  std::uint16_t shiftNumber = 0;
  std::uint16_t receiptNumber = 0;
  std::int64_t total = 0;   // kopecks
  std::int64_t change = 0;  // kopecks

  friend bool operator==(const ReceiptReply&, const ReceiptReply&) = default;
};

std::optional<ReceiptReply> parseReceiptReply(bytes::View data);

// What the close reply of a receipt says, field by field.
Fields receiptFields(bytes::View data);

}  // namespace host
