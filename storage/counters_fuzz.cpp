// Bytes from outside, split into TLV items, as the counter containers a stored document carries
// and as the tax-rate containers of a registration or a receipt. Besides crashes and sanitizer
// reports, a broken invariant aborts.
#include <cstdlib>

#include "documents/reg_data.h"
#include "reference/tax_rate.h"
#include "storage/counter_blocks.h"
#include "values/tags.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Whatever a container held, the block read from it goes through its own tagged form and back
// unchanged once normalised by one pass (kinds numbered, fields the form does not carry
// dropped). An item that gave the block nothing is skipped: the empty block's round trip is the
// same for every input.
template <typename Block, typename Encode>
void exerciseCounters(const TlvItem& item, Encode encode) {
  Block block;
  tlvToCounters(item, block);
  if (block == Block{}) return;
  Block once;
  require(tlvToCounters(encode(block), once));
  Block twice;
  require(tlvToCounters(encode(once), twice));
  require(twice == once);
  require(Block::load(encodeBlock(once)) == once);
}

void exerciseTaxRate(const TlvItem& item) {
  TaxRate rate;
  std::size_t slot = 0;
  if (rate.fromTlv(item, slot)) {
    require(slot < RegData::kTaxRateSlots && item.tag() == tag::kFirstTaxRate + slot);
    TaxRate again;
    std::size_t slotAgain = 0;
    require(again.fromTlv(rate.toTlv(slot), slotAgain) && slotAgain == slot);
    require(again.rateWord() == rate.rateWord() && again.name() == rate.name());
  }
  Decimal amount;
  if (rate.fromTlv(item, slot, amount)) {
    rate.taxAmountFor(amount);
    rate.displayName();
    TaxRate again;
    Decimal amountAgain;
    require(again.fromTlv(rate.toTlv(slot, amount), slot, amountAgain));
    require(amountAgain.mantissa() == amount.mantissa() && again.rateWord() == rate.rateWord());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const TlvItem& item : parseItems(bytes::View(data, size))) {
    exerciseCounters<CounterSet>(item, [](const CounterSet& block) { return countersToTlv(block, true); });
    exerciseCounters<TotalCounters>(item, totalsToTlv);
    exerciseTaxRate(item);
  }
  return 0;
}
