// Arbitrary transactions handed to the core worker on a simulated board whose archive and
// identity memory live in memory: each input is a run of (command u8, payload length u8,
// payload) records dispatched one after the other. Every command must end in one result with a
// code the service names; the archive must never be left damaged for the next start.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/core_worker.h"
#include "platform/fault_injecting_board.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "storage/archive_checker.h"
#include "storage/card.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Fixture {
  Fixture() {
    root = std::filesystem::temp_directory_path() / "frcore-core-fuzz";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root + "/dev");
    std::ofstream(root + "/dev/mmcblk0p1").put('\0');
    simulated = platform::makeSimulatedBoard(root);
    board = std::make_unique<platform::FaultInjectingBoard>(*simulated);
    board->setContents(board->identityMemoryPath(), bytes::Bytes(4096, 0xFF));
    cashiers = std::make_unique<CashierTable>(board->nvPath("CASHIERS"));
    discounts = std::make_unique<DiscountTable>(board->nvPath("DISCOUNTS"));
    sections = std::make_unique<SectionTable>(board->nvPath("SECTIONS"));
    worker = std::make_unique<CoreWorker>(state, *board, *cashiers, *discounts, *sections);
    worker->init();
  }
  std::string root;
  std::unique_ptr<platform::Board> simulated;
  std::unique_ptr<platform::FaultInjectingBoard> board;
  DeviceState state;
  std::unique_ptr<CashierTable> cashiers;
  std::unique_ptr<DiscountTable> discounts;
  std::unique_ptr<SectionTable> sections;
  std::unique_ptr<CoreWorker> worker;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  bytes::ByteReader reader(bytes::View(data, size));
  std::uint32_t identifier = 1;
  while (reader.remaining() >= 2) {
    CoreTransaction transaction;
    transaction.command = reader.u8();
    const bytes::View payload = reader.take(reader.u8());
    transaction.payload.assign(payload.begin(), payload.end());
    transaction.identifier = identifier++;
    const CoreApiResult result = fixture.worker->dispatch(transaction);
    require(result.code() >= 0 && result.code() <= 255);
  }
  if (auto archive = fixture.board->openFile(card::archivePath(*fixture.board), platform::FileMode::ReadOnly)) {
    require(checkArchive(*archive).empty());
  }
  return 0;
}
