// The counter blocks as printed reports: CP866 text rendered for the printer, one title block
// centred and the lines left, label and value justified by a TAB. Amounts print as money
// ("1234.50"), counts in decimal.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "documents/reg_data.h"
#include "storage/counter_blocks.h"

// The counters of a shift (`shiftCounters` set: "ИТОГИ СМЕНЫ", with the drawer cash) or of the
// period since the fiscalization ("ИТОГО С ПОСЛЕДНЕЙ РЕГИСТРАЦИИ", with the shifts opened),
// then a block per receipt kind. A kind with receipts adds its cash and electronic sums and a
// line for each positive tax sum, named after the valid rate of `registration` for that index
// or "НАЛОГ n". No block gives empty text.
std::string counterReport(bool shiftCounters, const CounterSet* block, const RegData& registration);

// The archive totals ("ГРОСС ИТОГИ"): the same lines as counterReport without drawer cash and
// taxes.
std::string totalsReport(const TotalCounters& block);

// The printed name of section 1..20 (possibly empty).
using SectionNames = std::function<std::string(unsigned section)>;

// The sums per section ("ИТОГИ ПО ОТДЕЛАМ") from the blocks of receipt kinds 0..3: for every
// section with a sum other than zero, its number and name, then its sum for each kind.
std::string sectionReport(const std::array<SectionSums, kReceiptKinds>& byKind, const SectionNames& names);
