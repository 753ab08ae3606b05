#include "tools/archive/archive_summary.h"

#include <cstdio>

#include "documents/doc_descriptor.h"
#include "documents/reg_data.h"
#include "storage/archive_layout.h"
#include "storage/counter_blocks.h"
#include "tools/archive/archive_items.h"
#include "values/cp866.h"
#include "values/decimal.h"

namespace frarchive {

namespace {

using namespace archive_layout;

std::string money(std::int64_t kopecks) { return Decimal(Decimal::kMoneyScale, kopecks).toString(); }

std::string line(const std::string& label, const std::string& text) {
  char padded[32];
  std::snprintf(padded, sizeof padded, "%-18s ", label.c_str());
  return padded + text + "\n";
}

// The id's date: (years since 2000) << 25 | month << 21 | day << 16.
std::string idText(std::uint32_t id) {
  char text[48];
  std::snprintf(text, sizeof text, "%08X (created %04u-%02u-%02u)", id, 2000 + (id >> 25), (id >> 21) & 0x0F,
                (id >> 16) & 0x1F);
  return text;
}

std::string cashText(std::uint16_t deposits, std::int64_t depositSum, std::uint16_t payouts, std::int64_t payoutSum) {
  return "deposits " + std::to_string(deposits) + " (" + money(depositSum) + "), payouts " + std::to_string(payouts) +
         " (" + money(payoutSum) + ")";
}

const char* const kKindNames[kReceiptKinds] = {"sales", "purchases", "sale returns", "purchase returns"};

template <typename Kinds>
std::string kindLines(const Kinds& byKind) {
  std::string out;
  for (std::size_t k = 0; k < kReceiptKinds; ++k) {
    const auto& kind = byKind[k];
    if (kind.receipts == 0) continue;
    out += line(std::string("  ") + kKindNames[k],
                std::to_string(kind.receipts) + " for " + money(kind.total) + ": cash " + money(kind.cash) +
                    ", electronic " + money(kind.electronic));
  }
  return out;
}

}  // namespace

std::string summaryText(platform::RandomAccessFile& archive) {
  // The slots and the counters, up to the zero area: what the summary shows.
  bytes::Bytes head(kZeroAreaOffset - kLastShiftOpenSlot), id(4);
  if (archive.size().value_or(0) < kDataOffset || !archive.readAt(kLastShiftOpenSlot, head) ||
      !archive.readAt(kArchiveIdOffset, id)) {
    return "not an archive: shorter than its fixed head\n";
  }
  const auto at = [&head](std::uint64_t offset, std::size_t size) {
    return bytes::slice(head, offset - kLastShiftOpenSlot, size);
  };
  const auto record = [&at](std::uint64_t offset) { return DocDescriptor::fromBytes(at(offset, kRecordSize)); };
  const DocDescriptor last = record(kLastDocumentSlot), opened = record(kLastShiftOpenSlot),
                      closed = record(kLastShiftCloseSlot);
  const RegData registration = RegData::fromBytes(at(kRegDataOffset, RegData::kSize));
  const CounterSet shift = CounterSet::load(at(kShiftCountersOffset, CounterSet::kSize));
  const CounterSet period = CounterSet::load(at(kPeriodCountersOffset, CounterSet::kSize));
  const TotalCounters totals = TotalCounters::load(at(kTotalsOffset, TotalCounters::kSize));
  const std::uint8_t fiscalizations = at(kFiscalizationCountOffset, 1)[0];

  std::string out = line("archive id", idText(bytes::loadU32(id, 0)));
  if (fiscalizations == 0) {
    out += line("registration", "none");
  } else {
    // A field that fills its bytes has a zero byte after its text; the screen shows the text.
    const auto text = [&registration](RegData::Text field) {
      const std::string stored = registration.text(field);
      return cp866::toUtf8(stored.substr(0, stored.find('\0')));
    };
    out += line("registration", text(RegData::Text::RegistrationNumber) + ", taxpayer " +
                                    text(RegData::Text::TaxpayerNumber) + ", since " +
                                    timeText(registration.registrationTime()));
    out += line("", text(RegData::Text::UserName) + ", " + text(RegData::Text::Place) + ", " + text(RegData::Text::Address));
    out += line("fiscalizations", std::to_string(fiscalizations));
  }
  const bool shiftOpen = opened.shiftNumber() != 0 && closed.shiftNumber() < opened.shiftNumber();
  out += line("documents", std::to_string(last.documentNumber()) + ", shifts " + std::to_string(totals.shiftNumber) +
                               (shiftOpen ? " (the last one open)" : ""));
  if (last.documentNumber() != 0) {
    out += line("last document", std::to_string(last.documentNumber()) + ", " + std::string(documentTypeName(last.type())) +
                                     ", " + timeText(last.dateTime()) + ", shift " +
                                     std::to_string(last.shiftNumber()) + ", fiscal sign " +
                                     std::to_string(last.fiscalSign()));
  }
  out += line("shift " + std::to_string(shift.shiftNumber), "receipts " + std::to_string(shift.receipts) + ", " +
                                                                cashText(shift.deposits, shift.depositSum, shift.payouts,
                                                                         shift.payoutSum) +
                                                                ", drawer cash " + money(shift.drawerCash));
  out += kindLines(shift.byKind);
  out += line("since registration", "shifts " + std::to_string(period.shiftNumber) + ", receipts " +
                                        std::to_string(period.receipts) + ", " +
                                        cashText(period.deposits, period.depositSum, period.payouts, period.payoutSum));
  out += kindLines(period.byKind);
  out += line("archive totals", "receipts " + std::to_string(totals.receipts) + ", " +
                                    cashText(totals.deposits, totals.depositSum, totals.payouts, totals.payoutSum));
  out += kindLines(totals.byKind);
  return out;
}

}  // namespace frarchive
