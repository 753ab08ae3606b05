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
#include <fstream>

#include "documents/document_testing.h"
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

// The same board, counting writes and syncs, and leaving out the syncs or the journal's work.
class MeasuredBoard final : public platform::BoardWrapper {
 public:
  MeasuredBoard(Board& target, Mode mode) : BoardWrapper(target), mode_(mode) {}

  std::unique_ptr<platform::RandomAccessFile> openFile(const std::string& path, platform::FileMode mode) override {
    struct Measured final : platform::RandomAccessFile {
      std::unique_ptr<platform::RandomAccessFile> file;
      MeasuredBoard* board;
      bool skipped;  // writes and syncs do nothing
      bool skipSyncs;
      bool readAt(std::uint64_t o, bytes::MutableView out) override { return file->readAt(o, out); }
      bool writeAt(std::uint64_t o, bytes::View data) override {
        if (skipped) return true;
        ++board->writes;
        return file->writeAt(o, data);
      }
      bool sync() override {
        if (skipped || skipSyncs) return true;
        ++board->syncs;
        return file->sync();
      }
      std::optional<std::uint64_t> size() override { return file->size(); }
    };
    auto wrapped = std::make_unique<Measured>();
    wrapped->file = BoardWrapper::openFile(path, mode);
    if (!wrapped->file) return nullptr;
    wrapped->board = this;
    const bool journal = path.size() > 4 && path.ends_with(journal::kFileSuffix);
    wrapped->skipped = journal && mode_ == Mode::WithoutJournal;
    wrapped->skipSyncs = mode_ == Mode::WithoutSyncs;
    return wrapped;
  }

  std::uint64_t writes = 0, syncs = 0;

 private:
  Mode mode_;
};

// A fresh archive after its fiscalization, removed with its board.
class FreshArchive {
 public:
  explicit FreshArchive(Mode mode) {
    std::string pattern = parentDirectory + "/frcore-archive-bench-XXXXXX";
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "dev");
    std::ofstream(root_ / "dev/mmcblk0p1").put('\0');
    fs::create_directories(root_ / "sys/bus/i2c/devices/0-0050");
    std::ofstream(root_ / "sys/bus/i2c/devices/0-0050/eeprom") << std::string(4096, '\xFF');
    simulated_ = platform::makeSimulatedBoard(root_.string());
    board_ = std::make_unique<MeasuredBoard>(*simulated_, mode);
    card::mountCard(*board_);
    identity_ = std::make_unique<IdentityMemory>(*board_);
    state_.setDeviceKey(kKey);
    state_.publishModelData(sealedModel());
    store_ = std::make_unique<ArchiveStore>(card::archivePath(*board_), *board_, state_, *identity_);
    ready_ = store_->createOrValidate() && store_->openArchive() &&
             store_->storeDocument(finishedFiscalization(state_, store_->archiveId(), kNow)) == 0;
    board_->writes = board_->syncs = 0;
  }
  ~FreshArchive() {
    store_.reset();
    fs::remove_all(root_);
  }

  bool ready() const { return ready_; }
  MeasuredBoard& board() { return *board_; }
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
  fs::path root_;
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<MeasuredBoard> board_;
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
  state.counters["writes"] = benchmark::Counter(static_cast<double>(archive.board().writes), perDocument);
  state.counters["syncs"] = benchmark::Counter(static_cast<double>(archive.board().syncs), perDocument);
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
