// Stores 1,000 documents of mixed kinds (shift openings and closings, deposits, payouts) into a
// fresh archive on a temporary simulated card on the local disk and loads every one back;
// reports the writes and syncs per document and the time per store as the register stores
// (journal and syncs), with the syncs made no-ops, and with the journal's writes and syncs made
// no-ops (the cost of the journal), then the time per load and the file size.
//   archive_bench [DIR]   the simulated card under DIR (default /tmp), e.g. a mounted card image
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

struct Run {
  double writesPerDocument;
  double syncsPerDocument;
  double storeMicros;
  double loadMicros;
  std::uintmax_t fileSize;
};

Run run(Mode mode, const std::string& parent) {
  std::string pattern = parent + "/frcore-archive-bench-XXXXXX";
  const std::string root = mkdtemp(pattern.data());
  fs::create_directories(root + "/dev");
  std::ofstream(root + "/dev/mmcblk0p1").put('\0');
  fs::create_directories(root + "/sys/bus/i2c/devices/0-0050");
  std::ofstream(root + "/sys/bus/i2c/devices/0-0050/eeprom") << std::string(4096, '\xFF');
  auto simulated = platform::makeSimulatedBoard(root);
  MeasuredBoard board(*simulated, mode);
  card::mountCard(board);
  IdentityMemory identity(board);
  DeviceState state;
  state.setDeviceKey(kKey);
  state.publishModelData(sealedModel());
  ArchiveStore store(card::archivePath(board), board, state, identity);
  store.createOrValidate();
  store.openArchive();
  if (store.storeDocument(finishedFiscalization(state, store.archiveId(), kNow)) != 0) {
    std::fprintf(stderr, "the fiscalization was not stored\n");
  }

  board.writes = board.syncs = 0;
  const auto start = Clock::now();
  int stored = 0;
  while (stored < kDocuments) {
    std::shared_ptr<BaseWorkDocument> document;
    if (stored % kShiftLength == 0) {
      document = finishedDocument(7, state, kNow);
    } else if (stored % kShiftLength == kShiftLength - 1) {
      state.setDrawerCash(0);
      document = finishedDocument(2, state, kNow);
    } else {
      document = finishedDocument(stored % 2 ? 5 : 6, state, kNow, kopecks(100));
      state.setDrawerCash(1000000);
    }
    if (!document || store.storeDocument(document) != 0) {
      std::fprintf(stderr, "store %d failed\n", stored);
      break;
    }
    if (document->type() == 7) state.setShiftNumber(document->shiftNumber());
    ++stored;
  }
  const auto storedAt = Clock::now();
  std::shared_ptr<BaseWorkDocument> loaded;
  for (int n = 1; n <= stored + 1; ++n) {
    if (store.loadDocument(static_cast<std::uint32_t>(n), loaded) != 0) std::fprintf(stderr, "load %d failed\n", n);
  }
  const auto loadedAt = Clock::now();
  const Run result{static_cast<double>(board.writes) / stored, static_cast<double>(board.syncs) / stored,
                   std::chrono::duration<double, std::micro>(storedAt - start).count() / stored,
                   std::chrono::duration<double, std::micro>(loadedAt - storedAt).count() / stored,
                   fs::file_size(card::archivePath(board))};
  fs::remove_all(root);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parent = argc > 1 ? argv[1] : "/tmp";
  const Run stored = run(Mode::AsStored, parent);
  const Run unsynced = run(Mode::WithoutSyncs, parent);
  const Run unjournaled = run(Mode::WithoutJournal, parent);
  std::printf("%d documents (shift openings and closings, deposits, payouts) after a fiscalization\n", kDocuments);
  std::printf("writes per document:       %.2f (%.2f without the journal)\n", stored.writesPerDocument,
              unjournaled.writesPerDocument);
  std::printf("syncs per document:        %.2f (%.2f without the journal)\n", stored.syncsPerDocument,
              unjournaled.syncsPerDocument);
  std::printf("store, as stored:          %.1f us per document\n", stored.storeMicros);
  std::printf("store, syncs made no-ops:  %.1f us per document\n", unsynced.storeMicros);
  std::printf("store, without journal:    %.1f us per document\n", unjournaled.storeMicros);
  std::printf("load:                      %.1f us per document\n", stored.loadMicros);
  std::printf("file size:                 %ju bytes (%ju bytes of documents)\n", stored.fileSize,
              stored.fileSize - 16777220u);
  return 0;
}
