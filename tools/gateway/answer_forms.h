// How the gateway's answers write what the register says: times, amounts, document types, the
// register's status and the counter blocks its reports print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "storage/counter_blocks.h"
#include "values/bytes.h"

namespace gateway {

using Json = nlohmann::ordered_json;

// ISO 8601 local time with the machine's offset: "2026-12-08T09:30:15+03:00".
std::string isoTime(std::int64_t seconds);
// Hundredths as an exact decimal text: "151.00", "-0.50".
std::string moneyText(std::int64_t hundredths);

// receipt, shift-open, shift-close, deposit, payout; fiscalization and archive-close for the
// documents the gateway does not make; nullopt for 0 and unknown types.
std::optional<std::string> documentTypeWord(std::uint8_t type);

// The serial number and status record of the register's 0x30 reply.
struct RegisterStatus {
  std::string serial;
  std::uint16_t flags = 0;
  std::uint8_t fiscalizations = 0;
  std::uint16_t shift = 0;
  std::uint32_t lastNumber = 0;
  std::uint32_t lastTime = 0;
  std::uint16_t receipts = 0;
  std::uint8_t openDocument = 0;
};
// nullopt when `data` cannot hold the 21-byte status record after a serial number.
std::optional<RegisterStatus> parseStatus(bytes::View data);
// The drawer cash (hundredths) of the 29-byte state block of command 0x10; nullopt for another size.
std::optional<std::int64_t> drawerCash(bytes::View stateBlock);

// GET /v1/status: serial, registered, shift {open, number}, receipts_in_shift, drawer_cash,
// last_document (null or {number, time}), open_document (null or its type), printer (ok,
// paper-out, near-end, not-answering) and flags (names).
Json statusJson(const RegisterStatus& status, std::optional<std::int64_t> drawer);

// The counter blocks: shift counters (with the drawer cash) or the period counters (with the
// number of shifts), the archive totals, the section sums of the four receipt kinds.
Json countersJson(const CounterSet& block, bool shiftCounters);
Json totalsJson(const TotalCounters& block);
Json sectionsJson(const std::array<SectionSums, kReceiptKinds>& sums);

}  // namespace gateway
