// A 100-item receipt sold end to end through the host link of a simulated board with frhost's
// requests, on the unpaced printer line and on a line at the board's 57600 bit/s; then 100-item
// receipts stored into an archive that already holds 10,000 documents, and loaded back.
//
// The sale's time runs from the open request to the close reply. Its floor is the sum of each
// command's: the 10 ms pause before the reply after the link's first poll 20 ms after the push
// or, when the printer line is paced and the command's printing takes longer, after the line
// has carried every byte up to its last paper status query and the answers back. "late" is
// the share of commands whose reply came more than 10 ms after their floor (where a second
// poll of the queue would put them); "cpu" the service's processor time for the receipt.
//
// Loading a receipt logs the two computed items of each line (tax amount and total) as tags
// the restore does not take; the load time includes that. The register's diagnostic lines go
// to standard output, which is dropped: the results are on standard error.
//   receipt_bench [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "link/host_protocol.h"
#include "platform/board_directory.h"
#include "serial/line_timing.h"
#include "storage/archive_store.h"
#include "storage/card.h"
#include "tools/host/receipt_commands.h"
#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kItems = 100;
constexpr int kArchiveDocuments = 10000;
constexpr auto kPauseBeforeReply = 10ms;
constexpr auto kFirstPoll = 20ms;
constexpr auto kLateBy = 10ms;
constexpr std::string_view kPaperStatusQuery = "\x1B\x76";

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// User plus system CPU seconds of a process so far.
double cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 1; i <= 15 && stat >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Moves the board's clock on, so that the next document is later than the last.
void advanceClock(const fs::path& root) { platform::setClockOffset(root, platform::clockOffset(root) + 5); }

bool runPlan(sim::TestBoard& board, const host::Plan& plan) {
  for (const host::Step& step : plan.steps) {
    const auto reply = board.host().transact(step.request);
    if (!reply || reply->code != 0) {
      std::fprintf(stderr, "%s failed\n", step.label.c_str());
      return false;
    }
  }
  return true;
}

// The floor of one command that sent `printed` to the printer.
Clock::duration commandFloor(std::string_view printed, int baud) {
  const std::size_t lastQuery = printed.rfind(kPaperStatusQuery);
  if (baud == sim::kUnpacedPrinterLine || lastQuery == std::string_view::npos) return kFirstPoll + kPauseBeforeReply;
  const std::string_view waitedFor = printed.substr(0, lastQuery + kPaperStatusQuery.size());
  std::size_t answers = 0;
  for (std::size_t at = waitedFor.find(kPaperStatusQuery); at != std::string_view::npos;
       at = waitedFor.find(kPaperStatusQuery, at + 1)) {
    ++answers;
  }
  const auto line = rs::transmissionTime(waitedFor.size() + answers, baud);
  return std::max<Clock::duration>(kFirstPoll, line) + kPauseBeforeReply;
}

// A registered board with a shift open, and the sale's requests.
struct SaleBoard {
  explicit SaleBoard(int baud) : board({.printerBaud = baud}) {
    const host::Operator administrator;
    std::string problem;
    const std::vector<std::string_view> registration = {"--user", "SHOP", "--place", "P", "--address", "A", "--inn",
                                                        "7701234567", "--regnum", "0000000000012345", "--tax",
                                                        "1:1:20:VAT"};
    ready = board.waitUntilServing() &&
            board.host().transact({.command = protocol::kSetSerialNumber,
                                   .payload = *host::serialNumberPayload(administrator, "0000054321")}) &&
            runPlan(board, *host::registrationPlan(administrator, registration, problem));
    advanceClock(board.root());
    ready = ready && runPlan(board, host::documentPlan({7, 17, 18}, administrator));

    std::vector<std::string> specs;
    for (int i = 0; i < kItems; ++i) {
      specs.push_back("name=ITEM " + std::to_string(i) + ",price=" + std::to_string(10 + i) + ".50,qty=1.000");
    }
    const std::vector<std::string_view> arguments(specs.begin(), specs.end());
    sale = host::salePlan(administrator, arguments, problem);
    ready = ready && sale.has_value();
  }

  sim::TestBoard board;
  std::optional<host::Plan> sale;
  bool ready = false;
};

SaleBoard& saleBoard(int baud) {
  static std::map<int, std::unique_ptr<SaleBoard>> boards;
  auto& board = boards[baud];
  if (!board) board = std::make_unique<SaleBoard>(baud);
  return *board;
}

void BM_SaleOverTheHostLink(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  SaleBoard& sale = saleBoard(baud);
  if (!sale.ready) return state.SkipWithError("the board could not be registered");
  sim::TestBoard& board = sale.board;
  const auto& steps = sale.sale->steps;

  for (auto _ : state) {
    advanceClock(board.root());
    std::vector<std::uintmax_t> printedUpTo{fs::file_size(board.board().rawPaperPath())};
    std::vector<Clock::duration> took;
    const double cpuBefore = cpuSeconds(board.board().servicePid());
    const auto start = Clock::now();
    for (const host::Step& step : steps) {
      const auto sent = Clock::now();
      const auto reply = board.host().transact(step.request);
      took.push_back(Clock::now() - sent);
      if (!reply || reply->code != 0) return state.SkipWithError((step.label + " failed").c_str());
      printedUpTo.push_back(fs::file_size(board.board().rawPaperPath()));
    }
    const auto hostTime = Clock::now() - start;
    const double cpu = cpuSeconds(board.board().servicePid()) - cpuBefore;
    state.SetIterationTime(seconds(hostTime));

    const bytes::Bytes paper = sim::readRawPaper(board.root());
    const std::string_view printed(reinterpret_cast<const char*>(paper.data()), paper.size());
    Clock::duration floor{};
    int late = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const auto own = commandFloor(printed.substr(printedUpTo[i], printedUpTo[i + 1] - printedUpTo[i]), baud);
      floor += own;
      if (took[i] > own + kLateBy) ++late;
    }
    const double commands = static_cast<double>(steps.size());
    state.counters["floor_s"] = seconds(floor);
    state.counters["over_floor_%"] = (seconds(hostTime) / seconds(floor) - 1) * 100;
    state.counters["ms_per_command"] = seconds(hostTime) * 1000 / commands;
    state.counters["late"] = late / commands;
    state.counters["cpu_ms"] = cpu * 1000;
    state.counters["printed_bytes"] = static_cast<double>(printedUpTo.back() - printedUpTo.front());
  }
}

// An archive on a simulated card holding a fiscalization, a shift opening and 9,998 cash
// deposits, every store synced; the receipts stored by the store benchmark.
struct ReceiptArchive {
  static constexpr std::uint32_t kNow = 1800000000;

  ReceiptArchive() {
    using namespace document_testing;
    const fs::path root = directory.path();
    platform::prepareBoardDirectory(root);
    board = platform::makeSimulatedBoard(root.string());
    identity = std::make_unique<IdentityMemory>(*board);
    state.setDeviceKey(kKey);
    state.publishModelData(sealedModel());
    card::mountCard(*board);
    store = std::make_unique<ArchiveStore>(card::archivePath(*board), *board, state, *identity);
    ready = store->createOrValidate() && store->openArchive() &&
            store->storeDocument(finishedFiscalization(state, store->archiveId(), kNow)) == 0;
    auto opening = finishedDocument(7, state, kNow + 1);
    ready = ready && store->storeDocument(opening) == 0;
    state.setShiftNumber(opening->shiftNumber());
    bytes::Bytes amount;
    bytes::appendI64(amount, 100);
    for (int i = 2; ready && i < kArchiveDocuments; ++i) {
      ready = store->storeDocument(finishedDocument(5, state, kNow + 2, amount)) == 0;
    }
  }

  std::shared_ptr<ReceiptDoc> receipt() {
    auto receipt = std::make_shared<ReceiptDoc>(state.currentModelData().get(), state.currentRegData().get(),
                                                document_testing::operatorCashier(), tables.tables());
    receipt->applyOpenData(receipt_testing::openData(0), state);
    std::string text;
    for (int i = 0; i < kItems; ++i) {
      receipt_testing::Item item;
      item.price = 1050 + static_cast<std::uint64_t>(i);
      if (receipt->addTag(item.tlv(), text) != 0) return nullptr;
    }
    std::uint16_t missing = 0;
    if (receipt->finish(kNow + 3, document_testing::kKey, receipt_testing::payment(0), missing, state) != 0) {
      return nullptr;
    }
    return receipt;
  }

  platform::TemporaryDirectory directory;
  std::unique_ptr<platform::Board> board;
  std::unique_ptr<IdentityMemory> identity;
  DeviceState state;
  receipt_testing::Tables tables;
  std::unique_ptr<ArchiveStore> store;
  std::vector<std::uint32_t> storedReceipts;
  bool ready = false;
};

ReceiptArchive& receiptArchive() {
  static ReceiptArchive archive;
  return archive;
}

void BM_StoreReceipt(benchmark::State& state) {
  ReceiptArchive& archive = receiptArchive();
  if (!archive.ready) return state.SkipWithError("the archive could not be filled");
  for (auto _ : state) {
    const auto receipt = archive.receipt();
    const auto start = Clock::now();
    if (!receipt || archive.store->storeDocument(receipt) != 0) return state.SkipWithError("not stored");
    state.SetIterationTime(seconds(Clock::now() - start));
    archive.storedReceipts.push_back(archive.store->lastDocumentInfo().first);
  }
  DocDescriptor descriptor;
  archive.store->readDescriptor(archive.storedReceipts.back(), descriptor);
  state.counters["bytes"] = descriptor.dataLength();
}

void BM_LoadReceipt(benchmark::State& state) {
  ReceiptArchive& archive = receiptArchive();
  if (archive.storedReceipts.empty()) return state.SkipWithError("no receipt stored");
  std::size_t next = 0;
  for (auto _ : state) {
    std::shared_ptr<BaseWorkDocument> loaded;
    const auto start = Clock::now();
    if (archive.store->loadDocument(archive.storedReceipts[next], loaded) != 0) return state.SkipWithError("not loaded");
    state.SetIterationTime(seconds(Clock::now() - start));
    next = (next + 1) % archive.storedReceipts.size();
  }
}

double smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double largest(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

BENCHMARK(BM_SaleOverTheHostLink)
    ->ArgName("printer_baud")
    ->Arg(sim::kUnpacedPrinterLine)
    ->Arg(sim::boardPrinterBaud())
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", smallest)
    ->ComputeStatistics("max", largest)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_StoreReceipt)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadReceipt)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  benchmark::ConsoleReporter results(benchmark::ConsoleReporter::OO_Tabular);
  results.SetOutputStream(&std::cerr);
  results.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&results);
  benchmark::Shutdown();
  return 0;
}
