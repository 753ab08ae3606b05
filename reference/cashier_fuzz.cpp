// Bytes from outside as cashier records from the host and as a table file of any content.
// Besides crashes and sanitizer reports, a broken invariant aborts.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/memory_board.h"
#include "reference/cashier.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// A record decoded from any slot encodes to a slot that decodes to the same record.
void exerciseSlot(Cashier::SlotView slot) {
  const Cashier record = Cashier::decode(slot);
  require(record.name.size() <= Cashier::kNameSize);
  require(record.name.find('\0') == std::string::npos);
  require(Cashier::decode(record.encode()) == record);
}

void exerciseRecordFromHost(bytes::View data) {
  Cashier out;
  const bool decoded = Cashier::decodeChecked(data, out);
  require(decoded == (data.size() == Cashier::kSlotSize && Cashier::isNumber(data[0])));
  if (data.size() >= Cashier::kSlotSize) exerciseSlot(Cashier::SlotView(data.data(), Cashier::kSlotSize));
}

// A table file for one input: the length from its first two bytes, so that every length up to
// past a whole table is reached at once, and the rest of the input repeated as the content.
bytes::Bytes tableFileFrom(bytes::View input) {
  if (input.size() < 2) return bytes::Bytes(input.begin(), input.end());
  const std::size_t length = bytes::loadU16(input, 0) % (CashierTable::kFileSize + Cashier::kSlotSize);
  const bytes::View pattern = input.subspan(2);
  bytes::Bytes content(length, 0);
  for (std::size_t i = 0; i < length && !pattern.empty(); ++i) content[i] = pattern[i % pattern.size()];
  return content;
}

// Every operation on a table whose file holds `data`; afterwards the file must hold all slots
// and still begin with the slots that `data` held whole.
void exerciseTableFile(bytes::View data) {
  static platform::MemoryBoard board(platform::scratchDirectory() / "frcore-cashier-fuzz");
  const std::string path = board.nvPath("CASHIERS");
  board.setContents(path, data);

  CashierTable table(board, path);
  // Each read opens the file: one slot, chosen by the file's length, is read besides the
  // numbers refused before any read, and every slot is logged in to.
  const unsigned chosen = static_cast<unsigned>(data.size() % (Cashier::kCount + 2));
  for (unsigned n = 0; n <= Cashier::kCount + 1; ++n) {
    // The password stored in slot n, so that a well-formed slot logs in.
    const std::size_t passwordAt = (n == 0 ? 0 : n - 1) * Cashier::kSlotSize + 3;
    const std::uint32_t password = passwordAt + 4 <= data.size() ? bytes::loadU32(data, passwordAt) : 0;
    Cashier out;
    if ((n == chosen || !Cashier::isNumber(n)) && table.readCashier(n, out)) require(out.number == n);
    if (table.checkCashier(n, password, out)) require(out.number == n && out.isValid() && data[passwordAt - 3] == n);
  }
  // A file of every slot reads at every slot; the last one stands for them all.
  require(table.ensureCashierFile());
  const bytes::Bytes completed = board.contents(path);
  require(completed.size() >= CashierTable::kFileSize);
  Cashier last;
  require(table.readCashier(Cashier::kCount, last));

  const std::size_t kept = std::min(data.size(), CashierTable::kFileSize) / Cashier::kSlotSize * Cashier::kSlotSize;
  require(std::equal(completed.begin(), completed.begin() + static_cast<std::ptrdiff_t>(kept), data.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bytes::View input(data, size);
  exerciseRecordFromHost(input);
  exerciseTableFile(tableFileFrom(input));
  return 0;
}
