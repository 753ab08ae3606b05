#include "core/command_table.h"

#include <array>
#include <utility>

#include "link/host_protocol.h"

namespace {

constexpr std::pair<std::uint8_t, CommandRoute> kRoutes[] = {
    {protocol::kReadRecord, CommandRoute::Config},
    {protocol::kWriteRecord, CommandRoute::Config},
    {protocol::kReadClock, CommandRoute::Config},
    {protocol::kSetClock, CommandRoute::Config},
    {protocol::kCancelDocument, CommandRoute::Documents},
    {protocol::kAddItem, CommandRoute::Documents},
    {protocol::kOpenFiscalization, CommandRoute::Documents},
    {protocol::kFinishFiscalization, CommandRoute::Documents},
    {protocol::kOpenShiftOpening, CommandRoute::Documents},
    {protocol::kFinishShiftOpening, CommandRoute::Documents},
    {protocol::kOpenShiftClosing, CommandRoute::Documents},
    {protocol::kFinishShiftClosing, CommandRoute::Documents},
    {protocol::kOpenReceipt, CommandRoute::Documents},
    {protocol::kFinishReceipt, CommandRoute::Documents},
    {protocol::kOpenArchiveClosing, CommandRoute::Documents},
    {protocol::kFinishArchiveClosing, CommandRoute::Documents},
    {protocol::kShiftCounters, CommandRoute::ShiftCounters},
    {protocol::kPeriodCounters, CommandRoute::PeriodCounters},
    {protocol::kArchiveTotals, CommandRoute::ArchiveTotals},
    {protocol::kSectionSums, CommandRoute::SectionSums},
    {protocol::kControlTape, CommandRoute::Reports},
    {protocol::kSetSerialNumber, CommandRoute::SerialNumber},
    {protocol::kOpenCashDeposit, CommandRoute::Documents},
    {protocol::kFinishCashDeposit, CommandRoute::Documents},
    {protocol::kOpenCashPayout, CommandRoute::Documents},
    {protocol::kFinishCashPayout, CommandRoute::Documents},
    {protocol::kOpenDocumentState, CommandRoute::Documents},
    {protocol::kReport, CommandRoute::Reports},
    {protocol::kDocumentCopy, CommandRoute::Reports},
    {protocol::kPrinterStatus, CommandRoute::PrinterStatus},
    {protocol::kReadSetting, CommandRoute::Config},
    {protocol::kWriteSetting, CommandRoute::Config},
    {protocol::kPrintText, CommandRoute::PrintText},
    {protocol::kPrintRaw, CommandRoute::PrintRaw},
    {protocol::kFeedAndCut, CommandRoute::FeedAndCut},
};

constexpr std::array<CommandRoute, 256> makeTable() {
  std::array<CommandRoute, 256> table{};  // all Unknown
  for (const auto& [code, route] : kRoutes) table[code] = route;
  return table;
}

constexpr auto kTable = makeTable();

}  // namespace

CommandRoute routeOf(std::uint8_t command) { return kTable[command]; }
