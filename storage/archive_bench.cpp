// Documents of mixed kinds (shift openings and closings, deposits, payouts) stored one per
// iteration after a fiscalization into a fresh archive on a simulated card on the local disk:
// as the register stores them (journal and syncs), with the syncs made no-ops, and with the
// journal's writes and syncs made no-ops (what the journal costs), each with the writes and
// syncs per document and the file's size; then every one loaded back.
//   archive_bench [--benchmark_...] [DIR]   the simulated card under DIR (default /tmp), e.g. a
//                                            mounted card image
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "documents/document_testing.h"
#include "platform/board_directory.h"
#include "platform/file_wrapper.h"
#include "platform/sync_switch_board.h"
#include "platform/temporary_directory.h"
#include "storage/archive_store.h"
#include "storage/card.h"
#include "storage/rollback_journal.h"

namespace {

namespace fs = std::filesystem;
using namespace document_testing;
using Clock = std::chrono::steady_clock;

constexpr int kDocuments = 1000;
constexpr int kShiftLength = 100;
constexpr std::uint32_t kNow = 1800000000;

std::string parentDirectory = "/tmp";

enum class Mode { AsStored, WithoutSyncs, WithoutJournal };

// A journal file whose writes and syncs do nothing.
struct LeftOutJournal final : platform::FileWrapper {
  using FileWrapper::FileWrapper;
  bool writeAt(std::uint64_t, bytes::View) override { return true; }
  bool sync() override { return true; }
};

// A fresh archive after its fiscalization, removed with its board.
class FreshArchive {
 public:
  explicit FreshArchive(Mode mode) : root_(parentDirectory) {
    platform::prepareBoardDirectory(root_.path());
    simulated_ = platform::makeSimulatedBoard(root_.path().string());
    counted_ = std::make_unique<platform::SyncSwitchBoard>(*simulated_, mode != Mode::WithoutSyncs);
    const bool journalLeftOut = mode == Mode::WithoutJournal;
    board_ = std::make_unique<platform::FileWrappingBoard>(
        *counted_, [journalLeftOut](const std::string& path, std::unique_ptr<platform::RandomAccessFile> file) {
          if (!journalLeftOut || !path.ends_with(journal::kFileSuffix)) return file;
          return std::unique_ptr<platform::RandomAccessFile>(std::make_unique<LeftOutJournal>(std::move(file)));
        });
    card::mountCard(*board_);
    identity_ = std::make_unique<IdentityMemory>(*board_);
    state_.setDeviceKey(kKey);
    state_.publishModelData(sealedModel());
    store_ = std::make_unique<ArchiveStore>(card::archivePath(*board_), *board_, state_, *identity_);
    ready_ = store_->createOrValidate() && store_->openArchive() &&
             store_->storeDocument(finishedFiscalization(state_, store_->archiveId(), kNow)) == 0;
    counted_->resetCounts();
  }
  ~FreshArchive() { store_.reset(); }

  bool ready() const { return ready_; }
  // The writes and syncs that reached the card since the fiscalization.
  const platform::SyncSwitchBoard& counted() const { return *counted_; }
  ArchiveStore& store() { return *store_; }
  std::uintmax_t fileSize() const { return fs::file_size(card::archivePath(*board_)); }

  // The next document of a shift of kShiftLength: an opening, deposits and payouts, a closing.
  std::shared_ptr<BaseWorkDocument> nextDocument() {
    const int position = stored_ % kShiftLength;
    if (position == 0) return finishedDocument(7, state_, kNow);
    if (position == kShiftLength - 1) {
      state_.setDrawerCash(0);
      return finishedDocument(2, state_, kNow);
    }
    state_.setDrawerCash(1000000);
    return finishedDocument(position % 2 ? 5 : 6, state_, kNow, kopecks(100));
  }
  // Stores a document nextDocument gave; false when the store refused it.
  bool store(const std::shared_ptr<BaseWorkDocument>& document) {
    if (!document || store_->storeDocument(document) != 0) return false;
    if (document->type() == 7) state_.setShiftNumber(document->shiftNumber());
    ++stored_;
    return true;
  }

 private:
  const platform::TemporaryDirectory root_;
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<platform::SyncSwitchBoard> counted_;
  std::unique_ptr<platform::FileWrappingBoard> board_;
  std::unique_ptr<IdentityMemory> identity_;
  DeviceState state_;
  std::unique_ptr<ArchiveStore> store_;
  int stored_ = 0;
  bool ready_ = false;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_StoreDocument(benchmark::State& state, Mode mode) {
  FreshArchive archive(mode);
  if (!archive.ready()) return state.SkipWithError("the fiscalization was not stored");
  for (auto _ : state) {
    const auto document = archive.nextDocument();
    const auto start = Clock::now();
    if (!archive.store(document)) return state.SkipWithError("a document was not stored");
    state.SetIterationTime(seconds(Clock::now() - start));
  }
  const auto perDocument = benchmark::Counter::kAvgIterations;
  state.counters["writes"] = benchmark::Counter(static_cast<double>(archive.counted().writes()), perDocument);
  state.counters["syncs"] = benchmark::Counter(static_cast<double>(archive.counted().syncs()), perDocument);
  state.counters["file_bytes"] = static_cast<double>(archive.fileSize());
}

void BM_LoadDocument(benchmark::State& state) {
  FreshArchive archive(Mode::WithoutSyncs);
  for (int i = 0; archive.ready() && i < kDocuments; ++i) {
    if (!archive.store(archive.nextDocument())) return state.SkipWithError("a document was not stored");
  }
  std::uint32_t number = 1;
  for (auto _ : state) {
    std::shared_ptr<BaseWorkDocument> loaded;
    const auto start = Clock::now();
    if (archive.store().loadDocument(number, loaded) != 0) return state.SkipWithError("a document was not loaded");
    state.SetIterationTime(seconds(Clock::now() - start));
    number = number % (kDocuments + 1) + 1;
  }
}

BENCHMARK_CAPTURE(BM_StoreDocument, as_stored, Mode::AsStored)
    ->Iterations(kDocuments)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StoreDocument, syncs_made_no_ops, Mode::WithoutSyncs)
    ->Iterations(kDocuments)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StoreDocument, without_journal, Mode::WithoutJournal)
    ->Iterations(kDocuments)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadDocument)->Iterations(kDocuments)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 2) {
    std::fprintf(stderr, "usage: archive_bench [--benchmark_...] [DIR]\n");
    return 2;
  }
  if (argc == 2) parentDirectory = argv[1];
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
