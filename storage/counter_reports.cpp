#include "storage/counter_reports.h"

#include <string_view>

#include "printer/print_layout.h"
#include "reference/tax_rate.h"
#include "values/cp866.h"
#include "values/decimal.h"

namespace {

constexpr unsigned kTextFont = 1;

// Receipt kinds 0..3 as counted things: sales, purchases, sale returns, purchase returns.
constexpr std::array<std::string_view, kReceiptKinds> kKindNames = {
    "ПРОДАЖ"_cp866, "ПОКУПОК"_cp866, "ВОЗВРАТОВ ПРОДАЖ"_cp866, "ВОЗВРАТОВ ПОКУПОК"_cp866};

std::string money(std::int64_t hundredths) { return Decimal(Decimal::kMoneyScale, hundredths).toString(); }

std::string title(std::string_view text) { return render(PrintBlock(PrintStyle(PrintStyle::kCentred, kTextFont), text), false); }

PrintBlock linesBlock() { return PrintBlock(PrintStyle(PrintStyle::kLeft, kTextFont)); }

// "ВНЕСЕНИЙ 3<TAB>НА 150.00"
std::string countAndSum(std::string_view label, unsigned count, std::int64_t sum) {
  return std::string(label) + " " + std::to_string(count) + "\t" + std::string("НА "_cp866) + money(sum);
}

// The shifts line (when wanted), deposits, payouts and receipts of either top-level block.
template <typename Block>
void addHeadLines(PrintBlock& lines, const Block& block, bool withShifts) {
  if (withShifts) lines.addText(std::string("СМЕН\t"_cp866) + std::to_string(block.shiftNumber));
  lines.addText(countAndSum("ВНЕСЕНИЙ"_cp866, block.deposits, block.depositSum));
  lines.addText(countAndSum("ВЫПЛАТ"_cp866, block.payouts, block.payoutSum));
  lines.addText(std::string("ВСЕГО ЧЕКОВ\t"_cp866) + std::to_string(block.receipts));
}

// The first lines of a kind's block: count and total, then the payments if it had receipts.
template <typename PerKind>
PrintBlock kindBlock(const PerKind& block, std::size_t kind) {
  PrintBlock lines = linesBlock();
  lines.addText(countAndSum(kKindNames[kind], block.receipts, block.total));
  if (block.receipts != 0) {
    lines.addText(std::string("НАЛИЧНЫМИ\t"_cp866) + money(block.cash));
    lines.addText(std::string("БЕЗНАЛИЧНЫМИ\t"_cp866) + money(block.electronic));
  }
  return lines;
}

std::string taxName(const RegData& registration, std::size_t slot) {
  const TaxRate rate = TaxRate::fromSlot(registration, slot);
  return rate.isValid() ? rate.name() : std::string("НАЛОГ "_cp866) + std::to_string(slot + 1);
}

}  // namespace

std::string counterReport(bool shiftCounters, const CounterSet* block, const RegData& registration) {
  if (block == nullptr) return {};
  std::string text = title(shiftCounters ? "ИТОГИ СМЕНЫ"_cp866 : "ИТОГО С ПОСЛЕДНЕЙ РЕГИСТРАЦИИ"_cp866);
  PrintBlock lines = linesBlock();
  addHeadLines(lines, *block, !shiftCounters);
  if (shiftCounters) lines.addText(std::string("НАЛ. В КАССЕ\t"_cp866) + money(block->drawerCash));
  text += render(lines, false);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    const OperationCounters& counters = block->byKind[kind];
    PrintBlock kindLines = kindBlock(counters, kind);
    if (counters.receipts != 0) {
      for (std::size_t slot = 0; slot < OperationCounters::kTaxSums; ++slot) {
        if (counters.taxSums[slot] > 0) kindLines.addText(taxName(registration, slot) + "\t" + money(counters.taxSums[slot]));
      }
    }
    text += render(kindLines, false);
  }
  return text;
}

std::string totalsReport(const TotalCounters& block) {
  std::string text = title("ГРОСС ИТОГИ"_cp866);
  PrintBlock lines = linesBlock();
  addHeadLines(lines, block, true);
  text += render(lines, false);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) text += render(kindBlock(block.byKind[kind], kind), false);
  return text;
}

std::string sectionReport(const std::array<SectionSums, kReceiptKinds>& byKind, const SectionNames& names) {
  std::string text = title("ИТОГИ ПО ОТДЕЛАМ"_cp866);
  PrintBlock lines = linesBlock();
  bool anySection = false;
  for (std::size_t i = 0; i < SectionSums::kSections; ++i) {
    bool taken = false;
    for (const SectionSums& sums : byKind) taken = taken || sums.bySection[i] != 0;
    if (!taken) continue;
    const auto section = static_cast<unsigned>(i + 1);
    lines.addText(std::string("ОТДЕЛ "_cp866) + std::to_string(section) + "\t" + names(section));
    for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
      lines.addText(std::string(kKindNames[kind]) + std::string(" НА\t"_cp866) + money(byKind[kind].bySection[i]));
    }
    anySection = true;
  }
  if (anySection) text += render(lines, false);
  return text;
}
