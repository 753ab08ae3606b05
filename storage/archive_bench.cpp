// Stores 10,000 documents of mixed kinds (shift openings and closings, deposits, payouts) into a
// fresh archive on a temporary simulated card and loads every one back; reports the time per
// store with and without the stream flushes, the time per load and the file size.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "documents/document_testing.h"
#include "storage/archive_store.h"
#include "storage/card.h"

namespace {

namespace fs = std::filesystem;
using namespace document_testing;
using Clock = std::chrono::steady_clock;

constexpr int kDocuments = 10000;
constexpr int kShiftLength = 500;
constexpr std::uint32_t kNow = 1800000000;

// The same board, but flushing a file does nothing.
class UnflushedBoard final : public platform::BoardWrapper {
 public:
  using BoardWrapper::BoardWrapper;
  std::unique_ptr<platform::RandomAccessFile> openFile(const std::string& path, platform::FileMode mode) override {
    struct Unflushed final : platform::RandomAccessFile {
      std::unique_ptr<platform::RandomAccessFile> file;
      bool readAt(std::uint64_t o, bytes::MutableView out) override { return file->readAt(o, out); }
      bool writeAt(std::uint64_t o, bytes::View data) override { return file->writeAt(o, data); }
      bool sync() override { return true; }
      std::optional<std::uint64_t> size() override { return file->size(); }
    };
    auto wrapped = std::make_unique<Unflushed>();
    wrapped->file = BoardWrapper::openFile(path, mode);
    if (!wrapped->file) return nullptr;
    return wrapped;
  }
};

struct Run {
  double storeMicros;
  double loadMicros;
  std::uintmax_t fileSize;
};

Run run(bool flushes) {
  char pattern[] = "/tmp/frcore-archive-bench-XXXXXX";
  const std::string root = mkdtemp(pattern);
  fs::create_directories(root + "/dev");
  std::ofstream(root + "/dev/mmcblk0p1").put('\0');
  fs::create_directories(root + "/sys/bus/i2c/devices/0-0050");
  std::ofstream(root + "/sys/bus/i2c/devices/0-0050/eeprom") << std::string(4096, '\xFF');
  auto simulated = platform::makeSimulatedBoard(root);
  UnflushedBoard unflushed(*simulated);
  platform::Board& board = flushes ? *simulated : static_cast<platform::Board&>(unflushed);
  card::mountCard(board);
  IdentityMemory identity(simulated->identityMemoryPath());
  DeviceState state;
  state.setDeviceKey(kKey);
  state.publishModelData(sealedModel());
  ArchiveStore store(card::archivePath(board), board, state, identity);
  store.createOrValidate();
  store.openArchive();
  if (store.storeDocument(finishedFiscalization(state, store.archiveId(), kNow)) != 0) {
    std::fprintf(stderr, "the fiscalization was not stored\n");
  }

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
  const Run result{std::chrono::duration<double, std::micro>(storedAt - start).count() / stored,
                   std::chrono::duration<double, std::micro>(loadedAt - storedAt).count() / stored,
                   fs::file_size(card::archivePath(board))};
  fs::remove_all(root);
  return result;
}

}  // namespace

int main() {
  const Run flushed = run(true);
  const Run unflushed = run(false);
  std::printf("%d documents (shift openings and closings, deposits, payouts) after a fiscalization\n", kDocuments);
  std::printf("store, with flushes:    %.1f us per document\n", flushed.storeMicros);
  std::printf("store, without flushes: %.1f us per document\n", unflushed.storeMicros);
  std::printf("load:                   %.1f us per document\n", flushed.loadMicros);
  std::printf("file size:              %ju bytes (%ju bytes of documents)\n", flushed.fileSize,
              flushed.fileSize - 16777220u);
  return 0;
}
