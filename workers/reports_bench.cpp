// A full archive of 250,000 documents (a fiscalization, then shifts of an opening, a deposit, a
// payout and a closing, one document a minute) stored through the archive into a temporary
// simulated board, then: the descriptor reads of the index searches, and the wall time of a
// period report, of shift-range reports over one and over a thousand shifts, and of the copy
// of the last document, each printed on the board's virtual printer.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "documents/document_testing.h"
#include "storage/archive_layout.h"
#include "storage/archive_search.h"
#include "storage/card.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"
#include "workers/reports_worker.h"

namespace {

using namespace document_testing;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kDocuments = archive_layout::kIndexCapacity;
constexpr std::uint32_t kStart = 1800000000;
constexpr std::uint32_t kMinute = 60;
constexpr std::uint32_t kDay = 86400;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
  sim::TemporaryDirectory directory;
  sim::SimulatedBoard simulated({.root = directory.path(), .service = "/bin/sleep", .serviceArguments = {"3600"}});
  auto board = platform::makeSimulatedBoard(directory.path().string());
  DeviceState state;
  CashierTable cashiers(board->nvPath("CASHIERS"));
  IdentityMemory identity(*board);
  PrinterDriver printer(board->printerPortPath(), state);
  cashiers.ensureCashierFile();
  state.setDeviceKey(kKey);
  state.publishModelData(sealedModel());
  card::mountCard(*board);
  ArchiveStore archive(card::archivePath(*board), *board, state, identity);
  archive.createOrValidate();
  archive.openArchive();
  state.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, true);
  printer.ensureOpen();

  const auto building = Clock::now();
  std::uint32_t now = kStart;
  if (archive.storeDocument(finishedFiscalization(state, archive.archiveId(), now)) != 0) return 1;
  for (std::uint32_t number = 2; number <= kDocuments; ++number) {
    now += kMinute;
    const std::uint32_t step = (number - 2) % 4;
    const std::uint8_t type = step == 0 ? 7 : step == 1 ? 5 : step == 2 ? 6 : 2;
    state.setDrawerCash(type == 6 ? 10000 : 0);
    auto document = finishedDocument(type, state, now, type == 5 || type == 6 ? kopecks(10000) : bytes::Bytes{});
    if (!document || archive.storeDocument(document) != 0) {
      std::fprintf(stderr, "document %u was not stored\n", number);
      return 1;
    }
    if (type == 7) state.setShiftNumber(document->shiftNumber());
  }
  std::printf("built %u documents in %.1f s\n", kDocuments, millisecondsSince(building) / 1000);
  archive.loadShiftState();
  const auto [last, lastTime] = archive.lastDocumentInfo();
  state.setLastDocumentNumber(last);
  state.setLastDocumentTime(lastTime);

  int reads = 0, most = 0;
  const archive_search::DescriptorReader counted = [&](std::uint32_t n, DocDescriptor& out) {
    ++reads;
    return archive.readDescriptor(n, out);
  };
  const auto measure = [&](auto search) {
    reads = 0;
    search();
    most = std::max(most, reads);
  };
  for (std::uint32_t t = kStart - kDay; t <= lastTime + kDay; t += kDay * 7) {
    measure([&] { archive_search::firstAtOrAfter(counted, 1, last, t); });
    measure([&] { archive_search::lastAtOrBefore(counted, 1, last, t); });
  }
  for (std::uint32_t s = 0; s <= state.shiftNumber() + 1u; s += 997) {
    measure([&] { archive_search::firstOfShiftOrLater(counted, 1, last, static_cast<std::uint16_t>(s)); });
    measure([&] { archive_search::lastOfShiftOrEarlier(counted, 1, last, static_cast<std::uint16_t>(s)); });
  }
  std::printf("searches: at most %d descriptor reads each\n", most);

  const auto timed = [&](const char* what, std::uint8_t command, bytes::Bytes body) {
    bytes::Bytes payload{20, 30, 0, 0, 0};
    bytes::appendBytes(payload, body);
    const auto start = Clock::now();
    const int code = ReportsWorker(cashiers, state, &archive, printer).execute({command, 1, payload}).code();
    std::printf("%-36s %8.1f ms (code %d)\n", what, millisecondsSince(start), code);
  };
  const auto period = [](std::uint32_t from, std::uint32_t to) {
    bytes::Bytes body{5};
    bytes::appendU32(body, from);
    bytes::appendU32(body, to);
    return body;
  };
  const auto shifts = [](std::uint16_t from, std::uint16_t to) {
    bytes::Bytes body{6};
    bytes::appendU16(body, from);
    bytes::appendU16(body, to);
    return body;
  };
  const std::uint32_t middle = kStart + (lastTime - kStart) / 2;
  timed("period report, one day (360 shifts)", 177, period(middle, middle + kDay - 1));
  timed("shift range report, one shift", 177, shifts(30000, 30000));
  timed("shift range report, 1000 shifts", 177, shifts(30000, 30999));
  bytes::Bytes number;
  bytes::appendU32(number, last);
  timed("copy of the last document", 178, number);
  return 0;
}
