// Bytes from outside as TLV runs, nested containers and decimal numbers. Besides crashes and
// sanitizer reports, a broken round trip aborts.
#include <cstdlib>

#include "values/decimal.h"
#include "values/tlv.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Every operation on a decoded number, and its byte form back and forth.
void exerciseDecimal(const Decimal& number, const Decimal& other) {
  const Decimal money(Decimal::kMoneyScale, number.mantissa());
  Decimal sum = number;
  sum += other;
  const Decimal results[] = {number + other,       number - other,      number * other,         other * number,
                             money * number,       number.rescaled(100), number.rescaled(other.scale()), sum};
  for (const Decimal& result : results) require(!result.format(',', ' ').empty());
  require((compare(number, other) < 0) == (compare(other, number) > 0));
  require(!(number == other) || other == number);
  require(!Decimal(number.scale(), number.toDouble()).toString().empty());

  if (number.isRepresentable()) {
    const Decimal back = Decimal::fromTlvValue(number.toTlvValue());
    require(back.scale() == number.scale() && back.mantissa() == number.mantissa());
  }
}

void exerciseItem(const TlvItem& item) {
  bool ok = false;
  require(item.getU16(&ok) == 0 || ok);
  require(item.getInt4or8(&ok) == 0 || ok);
  require(item.getText().size() == item.value().size());
  exerciseDecimal(item.getDecimal(), Decimal(Decimal::kMoneyScale, item.getVarInt()));

  // A valid item encodes to a wire form that decodes exactly to itself.
  const bytes::Bytes wire = item.encode();
  require(wire.empty() != item.isValid());
  if (item.isValid()) {
    TlvItem again;
    require(again.decodeExact(wire) && again == item);
  }
}

void exerciseList(bytes::View data, int depth) {
  bool ok = false;
  const TlvList items = parseItems(data, &ok);
  for (const TlvItem& item : items) {
    exerciseItem(item);
    if (depth > 0) exerciseList(item.value(), depth - 1);
  }
  // Dropped and cut-off items aside, the items re-encode to what was read.
  require(encodeList(items).size() <= data.size());
  require(!ok || !items.empty());
  TlvItem container;
  container.setList(1, items);
  if (container.isValid()) require(parseList(container) == items);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bytes::View input(data, size);

  bytes::View rest = input;
  TlvItem front;
  const bool decoded = front.decodeFront(rest);
  require(decoded ? rest.size() + TlvItem::kHeaderSize + front.value().size() == input.size() : rest.size() == input.size());
  TlvItem exact;
  require(exact.decodeExact(input) == (decoded && rest.empty()));

  exerciseList(input, 4);
  exerciseDecimal(Decimal::fromTlvValue(input), Decimal::fromTlvValue(rest));
  return 0;
}
