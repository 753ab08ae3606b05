#include "tools/archive/board_generator.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <iterator>
#include <set>

#include "documents/receipt_doc.h"
#include "link/host_protocol.h"
#include "storage/archive_checker.h"
#include "storage/archive_startup.h"
#include "storage/card.h"
#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kDocumentsPerShiftBesidesReceipts = 5;

fs::path archiveOf(const fs::path& root) { return root / "mnt/sd" / card::kArchiveFileName; }

std::vector<std::string> problemsOf(const fs::path& root) {
  const auto file = platform::openDiskFile(archiveOf(root).string(), platform::FileMode::ReadOnly);
  return file ? checkArchive(*file) : std::vector<std::string>{"no archive"};
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The receipts' kinds and ways of payment, and the items' discounts, over a whole archive.
struct Variety {
  std::set<int> types, kinds;
  bool cash = false, card = false, mixed = false, discount = false, weighed = false;
};

TEST(BoardGenerator, Generated_ChecksCleanStartsAsRegisteredAndHoldsEveryKind) {
  platform::TemporaryDirectory directory;
  const frarchive::GeneratorOptions options{.shifts = 3, .receiptsPerShift = 20, .seed = 3};
  ASSERT_EQ(frarchive::generateBoard(directory.path().string(), options), "");
  EXPECT_EQ(problemsOf(directory.path()), std::vector<std::string>{});
  EXPECT_EQ(fs::file_size(directory.path() / "sys/bus/i2c/devices/0-0050/eeprom"), IdentityMemory::kSize);

  // The register's own start-up takes the board as a registered device with its shifts closed.
  auto board = platform::makeSimulatedBoard(directory.path().string());
  DeviceState state;
  IdentityMemory identity(*board);
  identity.loadIdentity(state);
  const auto archive = startArchive(*board, state, identity);
  ASSERT_TRUE(archive);
  EXPECT_EQ(state.statusFlags(), FrStatus::kCardPresent | FrStatus::kArchiveReady | FrStatus::kRegistrationMatches);
  const std::uint32_t documents = 1 + options.shifts * (options.receiptsPerShift + kDocumentsPerShiftBesidesReceipts);
  EXPECT_EQ(state.lastDocumentNumber(), documents);
  EXPECT_EQ(state.shiftNumber(), options.shifts);
  EXPECT_EQ(state.fiscalizationCount(), 1);
  EXPECT_EQ(state.drawerCash(), 0u);

  Variety seen;
  std::uint32_t time = 0;
  for (std::uint32_t number = 1; number <= documents; ++number) {
    std::shared_ptr<BaseWorkDocument> document;
    ASSERT_EQ(archive->loadDocument(number, document), 0) << number;
    EXPECT_TRUE(document->verifySign(state.deviceKey(), state.currentModelData()->serialNumber())) << number;
    EXPECT_GT(document->dateTime(), time) << number;
    time = document->dateTime();
    seen.types.insert(document->type());
    if (document->type() != DocumentType::kReceipt) continue;
    const auto& receipt = static_cast<const ReceiptDoc&>(*document);
    seen.kinds.insert(receipt.kind());
    const bool byCash = receipt.cash().mantissa() > 0, byCard = receipt.electronic().mantissa() > 0;
    seen.cash |= byCash && !byCard;
    seen.card |= byCard && !byCash;
    seen.mixed |= byCash && byCard;
    for (const ReceiptOperation& line : receipt.operations()) {
      seen.discount |= line.total() < line.cost();
      seen.weighed |= line.quantity.mantissa() % 1000 != 0;
    }
  }
  EXPECT_LT(time, std::time(nullptr));
  EXPECT_EQ(seen.types, (std::set<int>{1, 2, 3, 5, 6, 7}));
  EXPECT_EQ(seen.kinds, (std::set<int>{0, 1, 2, 3}));
  EXPECT_TRUE(seen.cash && seen.card && seen.mixed && seen.discount && seen.weighed);

  TotalCounters totals;
  ASSERT_TRUE(archive->readTotals(totals));
  EXPECT_EQ(totals.receipts, options.shifts * options.receiptsPerShift);
}

TEST(BoardGenerator, SameSeed_SameBytes_OtherSeed_OtherBytes) {
  platform::TemporaryDirectory first, second, third;
  const frarchive::GeneratorOptions options{.shifts = 2, .receiptsPerShift = 6, .seed = 9};
  ASSERT_EQ(frarchive::generateBoard(first.path().string(), options), "");
  ASSERT_EQ(frarchive::generateBoard(second.path().string(), options), "");
  ASSERT_EQ(frarchive::generateBoard(third.path().string(), {.shifts = 2, .receiptsPerShift = 6, .seed = 10}), "");
  for (const char* file : {"mnt/sd/V0XD24TX", "sys/bus/i2c/devices/0-0050/eeprom", "nv/CASHIERS"}) {
    EXPECT_EQ(contents(first.path() / file), contents(second.path() / file)) << file;
  }
  EXPECT_NE(contents(archiveOf(first.path())), contents(archiveOf(third.path())));
}

TEST(BoardGenerator, RefusesWhatTheRegisterWouldNotHoldAndNeverOverwrites) {
  platform::TemporaryDirectory directory;
  const std::string root = directory.path().string();
  EXPECT_NE(frarchive::generateBoard(root, {.shifts = 1, .receiptsPerShift = 3001}), "") << "a shift's receipt limit";
  EXPECT_NE(frarchive::generateBoard(root, {.shifts = 50000, .receiptsPerShift = 0}), "") << "250,001 documents";
  EXPECT_FALSE(fs::exists(archiveOf(directory.path())));

  ASSERT_EQ(frarchive::generateBoard(root, {.shifts = 1, .receiptsPerShift = 1}), "");
  const std::string generated = contents(archiveOf(directory.path()));
  EXPECT_NE(frarchive::generateBoard(root, {.shifts = 1, .receiptsPerShift = 1, .seed = 2}), "");
  EXPECT_EQ(contents(archiveOf(directory.path())), generated);
}

// The service started on a generated board stores its next document with the next number,
// and the archive stays consistent.
TEST(BoardGenerator, ServiceOnGeneratedBoard_ContinuesTheNumbering) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  board.board().stopService();
  fs::remove_all(board.root() / "mnt/sd");  // what the service's first start made
  fs::remove_all(board.root() / "nv");
  const frarchive::GeneratorOptions options{.shifts = 2, .receiptsPerShift = 4, .seed = 5};
  ASSERT_EQ(frarchive::generateBoard(board.root().string(), options), "");
  board.board().startService();
  ASSERT_TRUE(board.waitUntilServing()) << board.log();

  const bytes::Bytes administrator{20, 30, 0, 0, 0};
  const auto opened = board.host().transact({protocol::kOpenShiftOpening, 1, administrator});
  ASSERT_EQ(opened.value_or(host::Reply{255, 0, {}}).code, 0) << board.log();
  const auto reply = board.host().transact({protocol::kFinishShiftOpening, 2, {}});
  ASSERT_TRUE(reply && reply->code == 0 && reply->data.size() >= 14) << board.log();
  EXPECT_EQ(bytes::loadU32(reply->data, 0),
            2 + options.shifts * (options.receiptsPerShift + kDocumentsPerShiftBesidesReceipts));
  EXPECT_EQ(bytes::loadU16(reply->data, 12), options.shifts + 1);
  board.board().stopService();
  EXPECT_EQ(problemsOf(board.root()), std::vector<std::string>{});
}

}  // namespace
