// A 100-item receipt: sold end to end through the host link of a simulated board (host time
// from the open to the close reply against the floor the specified pauses set, and the
// service's CPU time for the whole receipt), then stored and loaded back in an archive that
// already holds 10,000 documents. Loading a receipt logs the two computed items of each line
// (tax amount and total) as tags the restore does not take; the load time includes that.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "storage/archive_store.h"
#include "storage/card.h"
#include "tools/host/receipt_commands.h"
#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kItems = 100;
constexpr int kArchiveDocuments = 10000;
constexpr int kStoredReceipts = 20;
constexpr double kCoreCommandFloorMs = 30.0;

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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

void advanceClock(const fs::path& root) {
  std::int64_t offset = 0;
  std::ifstream(root / "clock-offset") >> offset;
  std::ofstream(root / "clock-offset", std::ios::trunc) << offset + 5 << '\n';
}

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

std::vector<std::string> itemSpecs() {
  std::vector<std::string> specs;
  for (int i = 0; i < kItems; ++i) {
    specs.push_back("name=ITEM " + std::to_string(i) + ",price=" + std::to_string(10 + i) + ".50,qty=1.000");
  }
  return specs;
}

bool hostLinkSale() {
  sim::TestBoard board;
  if (!board.waitUntilServing()) return false;
  const host::Operator administrator;
  std::string problem;
  const std::vector<std::string_view> registration = {"--user", "SHOP", "--place", "P", "--address", "A", "--inn",
                                                      "7701234567", "--regnum", "0000000000012345", "--tax",
                                                      "1:1:20:VAT"};
  if (!board.host().transact({.command = 0x3F, .payload = *host::serialNumberPayload(administrator, "0000054321")}) ||
      !runPlan(board, *host::registrationPlan(administrator, registration, problem))) {
    return false;
  }
  advanceClock(board.root());
  if (!runPlan(board, host::documentPlan({7, 17, 18}, administrator))) return false;
  advanceClock(board.root());

  const std::vector<std::string> specs = itemSpecs();
  std::vector<std::string_view> arguments(specs.begin(), specs.end());
  const auto plan = host::salePlan(administrator, arguments, problem);
  const double cpuBefore = cpuSeconds(board.board().servicePid());
  const auto start = Clock::now();
  if (!plan || !runPlan(board, *plan)) return false;
  const double hostMs = milliseconds(Clock::now() - start);
  const double cpuMs = (cpuSeconds(board.board().servicePid()) - cpuBefore) * 1000.0;
  const double floorMs = static_cast<double>(plan->steps.size()) * kCoreCommandFloorMs;
  std::printf("host link: %zu core commands (open, %d items, finish)\n", plan->steps.size(), kItems);
  std::printf("  open to close reply   %8.1f ms  (floor %.0f ms, %.2f ms per command)\n", hostMs, floorMs,
              hostMs / static_cast<double>(plan->steps.size()));
  std::printf("  service CPU time      %8.1f ms  (clock ticks of %ld ms)\n", cpuMs, 1000 / sysconf(_SC_CLK_TCK));
  return true;
}

bool archiveStoreAndLoad() {
  using namespace document_testing;
  sim::TemporaryDirectory directory;
  const std::string root = directory.path().string();
  fs::create_directories(root + "/dev");
  fs::create_directories(root + "/sys/bus/i2c/devices/0-0050");
  std::ofstream(root + "/dev/mmcblk0p1").put('\0');
  std::ofstream(root + "/sys/bus/i2c/devices/0-0050/eeprom") << std::string(4096, '\xFF');
  auto board = platform::makeSimulatedBoard(root);
  IdentityMemory identity(*board);
  DeviceState state;
  state.setDeviceKey(kKey);
  state.publishModelData(sealedModel());
  card::mountCard(*board);
  ArchiveStore store(card::archivePath(*board), *board, state, identity);
  if (!store.createOrValidate() || !store.openArchive()) return false;
  constexpr std::uint32_t kNow = 1800000000;
  if (store.storeDocument(finishedFiscalization(state, store.archiveId(), kNow)) != 0) return false;
  auto opening = finishedDocument(7, state, kNow + 1);
  if (store.storeDocument(opening) != 0) return false;
  state.setShiftNumber(opening->shiftNumber());
  bytes::Bytes amount;
  bytes::appendI64(amount, 100);
  for (int i = 2; i < kArchiveDocuments; ++i) {
    if (store.storeDocument(finishedDocument(5, state, kNow + 2, amount)) != 0) return false;
  }

  receipt_testing::Tables tables;
  Clock::duration storing{}, loading{};
  std::size_t bytesPerReceipt = 0;
  for (int r = 0; r < kStoredReceipts; ++r) {
    auto receipt = std::make_shared<ReceiptDoc>(state.currentModelData().get(), state.currentRegData().get(),
                                                operatorCashier(), tables.tables());
    receipt->applyOpenData(receipt_testing::openData(0), state);
    std::string text;
    for (int i = 0; i < kItems; ++i) {
      receipt_testing::Item item;
      item.price = 1050 + static_cast<std::uint64_t>(i);
      if (receipt->addTag(item.tlv(), text) != 0) return false;
    }
    std::uint16_t missing = 0;
    if (receipt->finish(kNow + 3, kKey, receipt_testing::payment(0), missing, state) != 0) return false;
    const auto start = Clock::now();
    if (store.storeDocument(receipt) != 0) return false;
    storing += Clock::now() - start;
    const std::uint32_t number = store.lastDocumentInfo().first;
    std::shared_ptr<BaseWorkDocument> loaded;
    const auto loadStart = Clock::now();
    if (store.loadDocument(number, loaded) != 0) return false;
    loading += Clock::now() - loadStart;
    DocDescriptor descriptor;
    store.readDescriptor(number, descriptor);
    bytesPerReceipt = descriptor.dataLength();
  }
  std::printf("archive of %d documents, %d receipts of %d items (%zu bytes each)\n", kArchiveDocuments,
              kStoredReceipts, kItems, bytesPerReceipt);
  std::printf("  store one receipt     %8.3f ms\n", milliseconds(storing) / kStoredReceipts);
  std::printf("  load one receipt      %8.3f ms\n", milliseconds(loading) / kStoredReceipts);
  return true;
}

}  // namespace

int main() {
  return hostLinkSale() && archiveStoreAndLoad() ? 0 : 1;
}
