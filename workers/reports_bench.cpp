// A full archive of 250,000 documents (a fiscalization, then shifts of an opening, a deposit, a
// payout and a closing, one document a minute) stored through the archive, with its syncs
// left out, into a temporary simulated board, then: the descriptor reads of the index
// searches, and the wall time of a period report, of shift-range reports over one and over a
// thousand shifts, and of the copy of the last document, each printed on the board's virtual
// printer (unpaced: the time is the register's, not the printer line's).
//   reports_bench [--benchmark_...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "documents/document_testing.h"
#include "link/host_protocol.h"
#include "platform/sync_switch_board.h"
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

// The board with its full archive and printer, built once for every benchmark.
struct FullArchive {
  FullArchive()
      : simulated({.root = directory.path(), .service = "/bin/sleep", .serviceArguments = {"3600"}}),
        simulatedBoard(platform::makeSimulatedBoard(directory.path().string())),
        // The reports only read the archive; with the syncs of 250,000 stores it would take as
        // long to build as the disk makes them (archive_bench measures them).
        board(std::make_unique<platform::SyncSwitchBoard>(*simulatedBoard, /*syncsMade=*/false)),
        cashiers(*board, board->nvPath("CASHIERS")),
        identity(*board),
        printer(board->printerPortPath(), state) {
    cashiers.ensureCashierFile();
    state.setDeviceKey(kKey);
    state.publishModelData(sealedModel());
    card::mountCard(*board);
    archive = std::make_unique<ArchiveStore>(card::archivePath(*board), *board, state, identity);
    archive->createOrValidate();
    archive->openArchive();
    state.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, true);
    printer.ensureOpen();

    const auto building = Clock::now();
    std::uint32_t now = kStart;
    ready = archive->storeDocument(finishedFiscalization(state, archive->archiveId(), now)) == 0;
    for (std::uint32_t number = 2; ready && number <= kDocuments; ++number) {
      now += kMinute;
      const std::uint32_t step = (number - 2) % 4;
      const std::uint8_t type = step == 0 ? 7 : step == 1 ? 5 : step == 2 ? 6 : 2;
      state.setDrawerCash(type == 6 ? 10000 : 0);
      auto document = finishedDocument(type, state, now, type == 5 || type == 6 ? kopecks(10000) : bytes::Bytes{});
      ready = document && archive->storeDocument(document) == 0;
      if (ready && type == 7) state.setShiftNumber(document->shiftNumber());
    }
    buildSeconds = std::chrono::duration<double>(Clock::now() - building).count();
    archive->loadShiftState();
    std::tie(last, lastTime) = archive->lastDocumentInfo();
    state.setLastDocumentNumber(last);
    state.setLastDocumentTime(lastTime);
  }

  platform::TemporaryDirectory directory;
  sim::SimulatedBoard simulated;
  std::unique_ptr<platform::Board> simulatedBoard;
  std::unique_ptr<platform::Board> board;
  DeviceState state;
  CashierTable cashiers;
  IdentityMemory identity;
  PrinterDriver printer;
  std::unique_ptr<ArchiveStore> archive;
  std::uint32_t last = 0;
  std::uint32_t lastTime = 0;
  double buildSeconds = 0;
  bool ready = false;
};

FullArchive& fullArchive() {
  static FullArchive archive;
  return archive;
}

// The most descriptor reads any search by time or by shift makes, over times a week apart and
// shifts 997 apart from before the first document to after the last.
void BM_IndexSearches(benchmark::State& state) {
  FullArchive& full = fullArchive();
  if (!full.ready) return state.SkipWithError("the archive could not be filled");
  int reads = 0;
  int most = 0;
  const archive_search::DescriptorReader counted = [&](std::uint32_t n, DocDescriptor& out) {
    ++reads;
    return full.archive->readDescriptor(n, out);
  };
  const auto measure = [&](auto search) {
    reads = 0;
    search();
    most = std::max(most, reads);
  };
  for (auto _ : state) {
    for (std::uint32_t t = kStart - kDay; t <= full.lastTime + kDay; t += kDay * 7) {
      measure([&] { archive_search::firstAtOrAfter(counted, 1, full.last, t); });
      measure([&] { archive_search::lastAtOrBefore(counted, 1, full.last, t); });
    }
    for (std::uint32_t s = 0; s <= full.state.shiftNumber() + 1u; s += 997) {
      const auto shift = static_cast<std::uint16_t>(s);
      measure([&] { archive_search::firstOfShiftOrLater(counted, 1, full.last, shift); });
      measure([&] { archive_search::lastOfShiftOrEarlier(counted, 1, full.last, shift); });
    }
  }
  state.counters["most_reads"] = most;
  state.counters["build_s"] = full.buildSeconds;
  state.counters["documents"] = full.last;
}

enum class Report { PeriodOfOneDay, OneShift, ThousandShifts, CopyOfTheLast };

bytes::Bytes requestBody(Report report, const FullArchive& full) {
  bytes::Bytes body;
  const std::uint32_t middle = kStart + (full.lastTime - kStart) / 2;
  switch (report) {
    case Report::PeriodOfOneDay:
      body.push_back(5);
      bytes::appendU32(body, middle);
      bytes::appendU32(body, middle + kDay - 1);
      break;
    case Report::OneShift:
    case Report::ThousandShifts:
      body.push_back(6);
      bytes::appendU16(body, 30000);
      bytes::appendU16(body, report == Report::OneShift ? 30000 : 30999);
      break;
    case Report::CopyOfTheLast:
      bytes::appendU32(body, full.last);
      break;
  }
  return body;
}

void BM_Report(benchmark::State& state, Report report) {
  FullArchive& full = fullArchive();
  if (!full.ready) return state.SkipWithError("the archive could not be filled");
  const std::uint8_t command = report == Report::CopyOfTheLast ? protocol::kDocumentCopy : protocol::kReport;
  bytes::Bytes payload{20, 30, 0, 0, 0};
  bytes::appendBytes(payload, requestBody(report, full));
  for (auto _ : state) {
    const int code = ReportsWorker(full.cashiers, full.state, full.archive.get(), full.printer)
                         .execute({command, 1, payload})
                         .code();
    if (code != 0) return state.SkipWithError("the report was refused");
  }
}

BENCHMARK(BM_IndexSearches)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Report, period_one_day, Report::PeriodOfOneDay)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Report, one_shift, Report::OneShift)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Report, thousand_shifts, Report::ThousandShifts)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Report, copy_of_the_last, Report::CopyOfTheLast)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
