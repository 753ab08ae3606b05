#include "core/command_table.h"

#include <array>
#include <utility>

namespace {

constexpr std::pair<std::uint8_t, CommandRoute> kRoutes[] = {
    {0x01, CommandRoute::Config},         // read a reference record
    {0x02, CommandRoute::Config},         // write a reference record
    {0x03, CommandRoute::Config},         // read the clock
    {0x04, CommandRoute::Config},         // set the clock
    {0x06, CommandRoute::Documents},      // cancel the open document
    {0x07, CommandRoute::Documents},      // add an item to the open document
    {0x08, CommandRoute::Documents},      // open: fiscalization
    {0x09, CommandRoute::Documents},      // finish: fiscalization
    {0x11, CommandRoute::Documents},      // open: shift opening
    {0x12, CommandRoute::Documents},      // finish: shift opening
    {0x13, CommandRoute::Documents},      // open: shift closing
    {0x14, CommandRoute::Documents},      // finish: shift closing
    {0x15, CommandRoute::Documents},      // open: receipt
    {0x16, CommandRoute::Documents},      // finish: receipt
    {0x18, CommandRoute::Documents},      // open: archive closing
    {0x19, CommandRoute::Documents},      // finish: archive closing
    {0x36, CommandRoute::ShiftCounters},
    {0x37, CommandRoute::PeriodCounters},
    {0x38, CommandRoute::ArchiveTotals},
    {0x39, CommandRoute::SectionSums},
    {0x3A, CommandRoute::Reports},
    {0x3F, CommandRoute::SerialNumber},
    {0xA2, CommandRoute::Documents},      // open: cash deposit
    {0xA3, CommandRoute::Documents},      // finish: cash deposit
    {0xA4, CommandRoute::Documents},      // open: cash payout
    {0xA5, CommandRoute::Documents},      // finish: cash payout
    {0xB0, CommandRoute::Documents},      // state of the open document
    {0xB1, CommandRoute::Reports},
    {0xB2, CommandRoute::Reports},
    {0xC0, CommandRoute::PrinterStatus},
    {0xC1, CommandRoute::Config},         // read a setting
    {0xC2, CommandRoute::Config},         // write a setting
    {0xC3, CommandRoute::PrintText},
    {0xC4, CommandRoute::PrintRaw},
    {0xC5, CommandRoute::FeedAndCut},
};

constexpr std::array<CommandRoute, 256> makeTable() {
  std::array<CommandRoute, 256> table{};  // all Unknown
  for (const auto& [code, route] : kRoutes) table[code] = route;
  return table;
}

constexpr auto kTable = makeTable();

}  // namespace

CommandRoute routeOf(std::uint8_t command) { return kTable[command]; }
