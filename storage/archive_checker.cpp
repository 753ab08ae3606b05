#include "storage/archive_checker.h"

#include <algorithm>
#include <optional>

#include "documents/cash_ctrl_document.h"
#include "documents/document_factory.h"
#include "storage/archive_layout.h"
#include "storage/counter_blocks.h"
#include "documents/receipt_doc.h"
#include "storage/receipt_archive.h"
#include "values/crc.h"

using namespace archive_layout;

namespace {

constexpr std::uint64_t kZeroAreaOffset = kSectionSumsOffset + SectionSums::kSize * kReceiptKinds;

// The cash fields the store keeps, recomputed document by document as the store does.
struct CashCounts {
  std::uint16_t shifts = 0;
  std::uint16_t deposits = 0, payouts = 0;
  std::int64_t depositSum = 0, payoutSum = 0, drawer = 0;

  void add(bool deposit, std::int64_t amount) {
    if (deposit) {
      ++deposits;
      depositSum += amount;
      drawer += amount;
    } else {
      ++payouts;
      payoutSum += amount;
      drawer -= amount;
    }
  }
  bool matches(const CounterSet& block) const {
    return block.shiftNumber == shifts && block.deposits == deposits && block.payouts == payouts &&
           block.depositSum == depositSum && block.payoutSum == payoutSum && block.drawerCash == drawer;
  }
  bool matches(const TotalCounters& block) const {
    return block.shiftNumber == shifts && block.deposits == deposits && block.payouts == payouts &&
           block.depositSum == depositSum && block.payoutSum == payoutSum;
  }
};

class Checker {
 public:
  explicit Checker(platform::RandomAccessFile& archive) : archive_(archive) {}

  std::vector<std::string> run() {
    const auto size = archive_.size();
    if (!size || *size < kDataOffset) return {"file shorter than its fixed head"};
    size_ = *size;
    checkMagics();
    walkIndex();
    checkSlots();
    checkFiscalizations();
    checkCounters();
    checkZeroArea();
    return problems_;
  }

 private:
  bytes::Bytes read(std::uint64_t offset, std::size_t count) {
    bytes::Bytes out(count);
    if (!archive_.readAt(offset, out)) {
      problem("unreadable at " + std::to_string(offset));
      std::fill(out.begin(), out.end(), 0);
    }
    return out;
  }
  DocDescriptor record(std::uint64_t offset) { return DocDescriptor::fromBytes(read(offset, kRecordSize)); }
  void problem(std::string text) { problems_.push_back(std::move(text)); }

  void checkMagics() {
    if (bytes::loadU32(read(kMagicOffset, 4), 0) != kMagic) problem("first magic damaged");
    if (bytes::loadU32(read(kSecondMagicOffset, 4), 0) != kMagic) problem("second magic damaged");
    if (bytes::loadU32(read(kArchiveIdOffset, 4), 0) == 0) problem("archive id is zero");
  }

  void walkIndex() {
    std::uint64_t end = kDataOffset;
    std::uint32_t time = 0;
    for (std::uint32_t n = 1; n <= kIndexCapacity; ++n) {
      const DocDescriptor descriptor = record(indexRecordOffset(n));
      if (descriptor == DocDescriptor()) break;
      const std::string name = "document " + std::to_string(n) + ": ";
      if (descriptor.documentNumber() != n) problem(name + "wrong number");
      // A receipt's header check value needs its data; it is checked once they are read.
      const bool receipt = descriptor.type() == DocumentType::kReceipt;
      if (!receipt && descriptor.headerCheckValue() != descriptor.computeHeaderCheckValue()) {
        problem(name + "header check value");
      }
      if (descriptor.dataOffset() != end) problem(name + "data not right after the previous document");
      if (descriptor.dateTime() < time) problem(name + "earlier than the document before");
      if (descriptor.type() == DocumentType::kFiscalization) fiscalizations_.push_back(n);
      const std::uint32_t fiscalization = fiscalizations_.empty() ? 0 : fiscalizations_.back();
      if (descriptor.fiscalizationNumber() != fiscalization) problem(name + "names the wrong fiscalization");
      end = descriptor.dataOffset() + descriptor.dataLength();
      time = descriptor.dateTime();
      if (end > size_) {
        problem(name + "data past the end of the file");
        break;
      }
      const bytes::Bytes data = read(descriptor.dataOffset(), descriptor.dataLength());
      if (receipt && !receipt_archive::headerSound(descriptor, data)) problem(name + "header check value");
      // A receipt's data check value covers its stored form, not the pieces after it.
      const bytes::View covered = receipt
                                      ? bytes::slice(data, 0, receipt_archive::storedFormLength(data))
                                      : bytes::View(data);
      if (crc::crc16(covered) != descriptor.dataCheckValue()) problem(name + "data check value");
      take(descriptor, data);
      documents_.push_back(descriptor);
    }
  }

  // Counts what the document adds to the counters, the way the store adds it.
  void take(const DocDescriptor& descriptor, bytes::View data) {
    switch (descriptor.type()) {
      case DocumentType::kFiscalization:
        period_ = CashCounts{};
        break;
      case DocumentType::kShiftOpening:
        shift_ = CashCounts{};
        shift_.shifts = descriptor.shiftNumber();
        ++period_.shifts;
        totals_.shifts = descriptor.shiftNumber();
        break;
      case DocumentType::kCashDeposit:
      case DocumentType::kCashPayout: {
        auto document = rebuildDocument(descriptor, data, nullptr, nullptr);
        if (!document) return problem("document " + std::to_string(descriptor.documentNumber()) + " does not rebuild");
        const auto& cash = static_cast<const CashCtrlDocument&>(*document);
        std::int64_t amount = cash.amount().rescaled(100).mantissa();
        if (!cash.isDeposit()) amount = std::min({amount, shift_.drawer, period_.drawer});
        shift_.add(cash.isDeposit(), amount);
        period_.add(cash.isDeposit(), amount);
        totals_.add(cash.isDeposit(), amount);
        break;
      }
      case DocumentType::kReceipt: {
        auto document = rebuildDocument(descriptor, data, nullptr, nullptr);
        if (!document) return problem("document " + std::to_string(descriptor.documentNumber()) + " does not rebuild");
        // The receipt moves the drawer cash of the shift and the period counters as it moved them
        // when stored.
        const auto& receipt = static_cast<const ReceiptDoc&>(*document);
        for (CashCounts* counts : {&shift_, &period_}) {
          CounterSet block;
          block.numberKinds();
          block.drawerCash = counts->drawer;
          receipt.addToCounters(&block);
          counts->drawer = block.drawerCash;
        }
        break;
      }
      default:
        break;
    }
  }

  void checkSlots() {
    const auto newest = [&](std::optional<std::uint8_t> type) {
      for (auto it = documents_.rbegin(); it != documents_.rend(); ++it) {
        if (!type || it->type() == *type) return *it;
      }
      return DocDescriptor();
    };
    const struct {
      std::uint64_t offset;
      std::optional<std::uint8_t> type;
      const char* name;
    } slots[] = {{kLastShiftOpenSlot, DocumentType::kShiftOpening, "shift-open slot"},
                 {kLastShiftCloseSlot, DocumentType::kShiftClosing, "shift-close slot"},
                 {kLastFiscalizationSlot, DocumentType::kFiscalization, "fiscalization slot"},
                 {kLastDocumentSlot, std::nullopt, "last-document slot"}};
    for (const auto& slot : slots) {
      if (!(record(slot.offset) == newest(slot.type))) problem(std::string(slot.name) + " disagrees with the index");
    }
  }

  void checkFiscalizations() {
    const bytes::Bytes count = read(kFiscalizationCountOffset, 1);
    if (count[0] != fiscalizations_.size()) problem("fiscalization count");
    const bytes::Bytes table = read(kFiscalizationTableOffset, 4 * kMaxFiscalizations);
    for (std::size_t i = 0; i < kMaxFiscalizations; ++i) {
      const std::uint32_t expected = i < fiscalizations_.size() ? fiscalizations_[i] : 0;
      if (bytes::loadU32(table, 4 * i) != expected) problem("fiscalization table entry " + std::to_string(i));
    }
    if (!fiscalizations_.empty() && !RegData::fromBytes(read(kRegDataOffset, RegData::kSize)).isComplete()) {
      problem("no complete registration stored for the fiscalizations");
    }
  }

  void checkCounters() {
    if (!shift_.matches(CounterSet::load(read(kShiftCountersOffset, CounterSet::kSize)))) problem("shift counters");
    if (!period_.matches(CounterSet::load(read(kPeriodCountersOffset, CounterSet::kSize)))) problem("period counters");
    if (!totals_.matches(TotalCounters::load(read(kTotalsOffset, TotalCounters::kSize)))) problem("archive totals");
  }

  void checkZeroArea() {
    static const bytes::Bytes zero(kSecondMagicOffset - kZeroAreaOffset, 0);
    if (read(kZeroAreaOffset, zero.size()) != zero) problem("zero area not zero");
  }

  platform::RandomAccessFile& archive_;
  std::uint64_t size_ = 0;
  std::vector<std::string> problems_;
  std::vector<DocDescriptor> documents_;
  std::vector<std::uint32_t> fiscalizations_;
  CashCounts shift_, period_, totals_;
};

}  // namespace

std::vector<std::string> checkArchive(platform::RandomAccessFile& archive) { return Checker(archive).run(); }
