// Bytes from outside as one receipt's life: the first byte is the kind, then records of
// (u8 what, u16 length, bytes): an even `what` hands the bytes to addTag as an add-item payload,
// an odd one to finish as finishing data. Besides crashes and sanitizer reports, a receipt that
// leaves 0 .. 100000000000 or is changed by a refused call, or whose sums stop adding up,
// aborts.
#include <cstdlib>
#include <limits>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::int64_t sumOf(const std::map<std::uint8_t, Decimal>& sums) {
  std::int64_t sum = 0;
  for (const auto& [key, value] : sums) sum += value.mantissa();
  return sum;
}

// What a refused call must leave as it was.
struct Snapshot {
  bytes::Bytes status, taxRates, sections;
  std::uint32_t storedSize;
  std::int64_t taxSum;

  explicit Snapshot(const ReceiptDoc& receipt)
      : status(receipt.statusReply()),
        taxRates(receipt.storedTaxRates()),
        sections(receipt.storedSections()),
        storedSize(receipt.storedSize()),
        taxSum(sumOf(receipt.taxSums())) {}
  bool operator==(const Snapshot&) const = default;
};

void checkInvariants(ReceiptDoc& receipt) {
  const std::int64_t total = receipt.total().mantissa();
  require(total >= 0 && total <= ReceiptDoc::kMaxTotal);
  require(sumOf(receipt.sectionTotals()) == total);
  std::int64_t lines = 0;
  for (const ReceiptOperation& operation : receipt.operations()) {
    require(operation.isValid());
    lines += operation.total().mantissa();
  }
  require(lines == total);
  require(receipt.storedSize() < ReceiptDoc::kItemSizeLimit || receipt.operations().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static receipt_testing::Tables tables;
  static const ModelData model = document_testing::sealedModel();
  static const RegData registration = document_testing::sealedRegistration();
  if (size == 0) return 0;
  DeviceState state;
  state.setDrawerCash(500000);
  ReceiptDoc receipt(&model, &registration, document_testing::operatorCashier(), tables.tables());
  if (receipt.applyOpenData(bytes::Bytes{static_cast<std::uint8_t>(data[0] % 16)}, state) != 0) return 0;

  bytes::ByteReader reader(bytes::View(data + 1, size - 1));
  while (reader.remaining() >= 3) {
    const std::uint8_t what = reader.u8();
    const bytes::View chunk = reader.take(std::min<std::size_t>(reader.u16(), reader.remaining()));
    const Snapshot before(receipt);
    const std::size_t linesBefore = receipt.operations().size();
    const std::int64_t totalBefore = receipt.total().mantissa();
    if (what % 2 == 0) {
      TlvItem item;
      if (!item.decodeExact(chunk)) continue;
      std::string text;
      const int code = receipt.addTag(item, text);
      if (code != 0) {
        require(Snapshot(receipt) == before && text.empty());
      } else {
        require(receipt.operations().size() == linesBefore + 1);
        require(receipt.total().mantissa() == totalBefore + receipt.operations().back().total().mantissa());
        require(!text.empty());
      }
    } else {
      std::uint16_t missing = 0;
      if (receipt.finish(1800000000, document_testing::kKey, chunk, missing, state) == 0) {
        const std::int64_t cash = receipt.cash().mantissa(), electronic = receipt.electronic().mantissa();
        require(cash >= 0 && electronic >= 0 && receipt.change().mantissa() >= 0);
        require(cash + electronic == totalBefore);
        require(receipt.isIncoming() || static_cast<std::uint64_t>(cash) <= state.drawerCash());
        std::size_t pieces = receipt.toStored().size() + receipt.storedTaxRates().size() + receipt.storedSections().size();
        for (bytes::Bytes line = receipt.firstStoredOperation(); !line.empty(); line = receipt.nextStoredOperation()) {
          pieces += line.size();
        }
        require(pieces <= receipt.storedSize());
      }
      require(receipt.operations().size() == linesBefore && receipt.total().mantissa() == totalBefore);
    }
    checkInvariants(receipt);
  }
  return 0;
}
