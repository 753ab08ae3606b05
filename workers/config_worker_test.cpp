#include "workers/config_worker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include "platform/board_clock.h"
#include "platform/board_directory.h"
#include "platform/file_growth_refused.h"
#include "platform/file_wrapper.h"
#include "platform/recording_clocks.h"
#include "platform/temporary_directory.h"
#include "printer/print_layout.h"
#include "printer/printer_settings.h"

namespace {

namespace fs = std::filesystem;

const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};  // cashier 20, password 30

bytes::Bytes join(bytes::View first, bytes::View second) {
  bytes::Bytes out(first.begin(), first.end());
  bytes::appendBytes(out, second);
  return out;
}

bytes::Bytes prefix(std::uint8_t cashier, std::uint32_t password) {
  bytes::Bytes out{cashier};
  bytes::appendU32(out, password);
  return out;
}

bytes::Bytes fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A board whose clock, settings file and clock setting a test may take over. The clock is set
// through the real board's path onto recording clocks when `clocks` is given.
class ConfigBoard final : public platform::BoardWrapper {
 public:
  explicit ConfigBoard(std::unique_ptr<platform::Board> target) : BoardWrapper(*target), target_(std::move(target)) {}

  std::unique_ptr<platform::RandomAccessFile> openFile(const std::string& path, platform::FileMode mode) override {
    auto file = BoardWrapper::openFile(path, mode);
    if (failWrites && file) return std::make_unique<RefusedWrites>(std::move(file));
    return file;
  }
  bool setClock(std::int64_t seconds) override {
    return clocks != nullptr ? platform::setBoardClocks(*clocks, seconds) : BoardWrapper::setClock(seconds);
  }

  bool failWrites = false;
  platform::BoardClocks* clocks = nullptr;

 private:
  // Reads as the file does; refuses every write.
  struct RefusedWrites final : platform::FileWrapper {
    using FileWrapper::FileWrapper;
    bool writeAt(std::uint64_t, bytes::View) override { return false; }
  };

  std::unique_ptr<platform::Board> target_;
};

// The configuration commands on a fresh simulated board, served in this process.
class ConfigWorkerTest : public ::testing::Test {
 protected:
  ConfigWorkerTest()
      : board_(prepared(directory_.path())),
        cashiers_(board_, board_.nvPath("CASHIERS")),
        sections_(board_, board_.nvPath("SECTIONS")),
        discounts_(board_, board_.nvPath("DISCOUNTS")) {
    cashiers_.ensureCashierFile();
    sections_.loadSections();
    discounts_.loadDiscounts();
    printerSettings().setPaperWidth(kDefaultPaperWidth);
    // 3: cashier manager; 4: goods tables; 5: the clock and settings; 6: receipts only.
    EXPECT_TRUE(cashiers_.saveCashier({3, CashierRights::kCashierTable, 333, "MANAGER"}));
    EXPECT_TRUE(cashiers_.saveCashier({4, CashierRights::kGoodsTables, 444, "STOCK"}));
    EXPECT_TRUE(cashiers_.saveCashier({5, CashierRights::kClock, 555, "SERVICE"}));
    EXPECT_TRUE(cashiers_.saveCashier({6, CashierRights::kReceipts, 666, "CLERK"}));
  }
  ~ConfigWorkerTest() override { printerSettings().setPaperWidth(kDefaultPaperWidth); }

  static std::unique_ptr<platform::Board> prepared(const fs::path& root) {
    platform::prepareBoardDirectory(root);
    return platform::makeSimulatedBoard(root.string());
  }

  CoreApiResult run(std::uint8_t command, const bytes::Bytes& payload = {}) {
    return ConfigWorker(cashiers_, sections_, discounts_, state_, board_).execute({command, 1, payload});
  }
  int code(std::uint8_t command, const bytes::Bytes& payload = {}) { return run(command, payload).code(); }

  std::string nv(std::string_view name) const { return board_.nvPath(name); }

  bytes::Bytes slotOf(std::string_view file, std::size_t slotSize, std::size_t number) const {
    const bytes::Bytes content = fileBytes(nv(file));
    if (content.size() < number * slotSize) return {};
    return bytes::Bytes(content.begin() + static_cast<long>((number - 1) * slotSize),
                        content.begin() + static_cast<long>(number * slotSize));
  }
  bytes::Bytes cashierSlot(std::size_t number) const { return slotOf("CASHIERS", Cashier::kSlotSize, number); }

  platform::TemporaryDirectory directory_;
  DeviceState state_;
  ConfigBoard board_;
  CashierTable cashiers_;
  SectionTable sections_;
  DiscountTable discounts_;
};

template <typename Record>
bytes::Bytes wire(const Record& record) {
  const auto slot = record.encode();
  return bytes::Bytes(slot.begin(), slot.end());
}

TEST_F(ConfigWorkerTest, ReadRecord_LogInIsAnsweredBeforeTheRights) {
  EXPECT_EQ(code(1, join(prefix(3, 999), bytes::Bytes{1, 3})), 18) << "a cashier manager, wrong password";
  EXPECT_EQ(code(1, join(prefix(6, 999), bytes::Bytes{1, 3})), 18) << "a clerk, wrong password: the same";
  EXPECT_EQ(code(1, join(prefix(6, 666), bytes::Bytes{1, 3})), 16);
  EXPECT_EQ(code(1, join(prefix(4, 444), bytes::Bytes{1, 3})), 16) << "the goods tables do not open the cashiers";
  EXPECT_EQ(code(1, join(prefix(3, 333), bytes::Bytes{2, 3})), 16);
  EXPECT_EQ(code(1, join(prefix(21, 30), bytes::Bytes{1, 3})), 19);
  EXPECT_EQ(code(1, {20, 30, 0, 0}), 19);
}

TEST_F(ConfigWorkerTest, ReadRecord_SelectorsAndNumbers) {
  EXPECT_EQ(code(1, join(prefix(4, 444), bytes::Bytes{4, 1})), 20);
  EXPECT_EQ(code(1, join(prefix(6, 666), bytes::Bytes{4, 1})), 16) << "rights come before the selector";
  EXPECT_EQ(code(1, join(kAdministrator, bytes::Bytes{1})), 19) << "no record number";
  EXPECT_EQ(code(1, kAdministrator), 19) << "no selector either";
  for (std::uint8_t number : {0, 21, 255}) EXPECT_EQ(code(1, join(kAdministrator, bytes::Bytes{1, number})), 17);
  const CoreApiResult clerk = run(1, join(kAdministrator, bytes::Bytes{1, 6, 0xEE}));
  ASSERT_EQ(clerk.code(), 0);
  EXPECT_EQ(clerk.data(), cashierSlot(6));
}

TEST_F(ConfigWorkerTest, ReadRecord_AdministratorsPasswordOnlyForTheAdministrator) {
  const CoreApiResult own = run(1, join(kAdministrator, bytes::Bytes{1, 20}));
  ASSERT_EQ(own.code(), 0);
  EXPECT_EQ(own.data(), cashierSlot(20));
  EXPECT_EQ(bytes::loadU32(own.data(), 3), 30u);

  const CoreApiResult other = run(1, join(prefix(3, 333), bytes::Bytes{1, 20}));
  ASSERT_EQ(other.code(), 0);
  bytes::Bytes expected = cashierSlot(20);
  bytes::storeU32(expected, 3, 0);
  EXPECT_EQ(other.data(), expected) << "name and rights as stored, password zero";
}

TEST_F(ConfigWorkerTest, WriteCashier_StoresTheSlotAndEchoesTheRecord) {
  Cashier clerk{7, CashierRights::kReceipts | CashierRights::kReports, -5, std::string("Иванова"_cp866)};
  const auto slot = clerk.encode();
  bytes::Bytes record(slot.begin(), slot.end());
  record[262] = 0xAA;  // the closing byte is not stored
  const CoreApiResult written = run(2, join(kAdministrator, join(bytes::Bytes{1}, record)));
  EXPECT_EQ(written.code(), 0);
  EXPECT_EQ(written.data(), record);
  EXPECT_EQ(cashierSlot(7), bytes::Bytes(slot.begin(), slot.end()));
  Cashier loggedIn;
  EXPECT_TRUE(cashiers_.checkCashier(7, static_cast<std::uint32_t>(-5), loggedIn));
  EXPECT_EQ(loggedIn, clerk);
}

// A cashier other than the administrator writes a record only with rights it holds itself;
// anything more answers 16, writes nothing and cannot be logged in as.
TEST_F(ConfigWorkerTest, WriteCashier_AnOperatorGivesOnlyTheRightsItHolds) {
  ASSERT_TRUE(cashiers_.saveCashier({8, CashierRights::kCashierTable | CashierRights::kReports, 888, "DEPUTY"}));
  struct Case {
    bytes::Bytes writer;
    std::uint16_t rights;
    int answer;
  };
  const Case cases[] = {
      {prefix(3, 333), CashierRights::kCashierTable, 0},
      {prefix(3, 333), CashierRights::kCashierTable | CashierRights::kReceipts, 16},
      {prefix(3, 333), CashierRights::kAdministrator, 16},
      {prefix(3, 333), 0x8000, 16},
      {prefix(8, 888), CashierRights::kReports, 0},
      {prefix(8, 888), CashierRights::kReports | CashierRights::kFiscalization, 16},
      {prefix(8, 888), CashierRights::kSerialNumber, 16},
      {kAdministrator, CashierRights::kAdministrator, 0},
  };
  for (const Case& test : cases) {
    const std::string where = "writer " + std::to_string(test.writer[0]) + ", rights " + std::to_string(test.rights);
    const Cashier written{9, test.rights, 999, "NEW"};
    const bytes::Bytes before = fileBytes(nv("CASHIERS"));
    EXPECT_EQ(code(2, join(test.writer, join(bytes::Bytes{1}, wire(written)))), test.answer) << where;
    Cashier loggedIn;
    if (test.answer == 0) {
      EXPECT_EQ(cashierSlot(9), wire(written)) << where;
      EXPECT_TRUE(cashiers_.checkCashier(9, 999, loggedIn)) << where;
      EXPECT_TRUE(cashiers_.saveCashier({9, 0, 0, ""}));
    } else {
      EXPECT_EQ(fileBytes(nv("CASHIERS")), before) << where;
      EXPECT_FALSE(cashiers_.checkCashier(9, 999, loggedIn)) << where;
    }
  }
}

TEST_F(ConfigWorkerTest, WriteCashier_RecordsThatDoNotDecodeAreNeverWritten) {
  const bytes::Bytes before = fileBytes(nv("CASHIERS"));
  Cashier clerk{7, CashierRights::kReceipts, 77, "CLERK"};
  const auto slot = clerk.encode();
  const bytes::Bytes whole(slot.begin(), slot.end());
  for (const bytes::Bytes& bad : {bytes::Bytes(whole.begin(), whole.end() - 1), join(whole, bytes::Bytes{0}),
                                  join(bytes::Bytes{0}, bytes::View(whole).subspan(1)),
                                  join(bytes::Bytes{21}, bytes::View(whole).subspan(1))}) {
    const CoreApiResult answer = run(2, join(kAdministrator, join(bytes::Bytes{1}, bad)));
    EXPECT_EQ(answer.code(), 22) << bad.size() << " bytes, number " << int(bad[0]);
    EXPECT_EQ(answer.data(), bad);
  }
  EXPECT_EQ(fileBytes(nv("CASHIERS")), before);
}

TEST_F(ConfigWorkerTest, WriteRecord_CodesAndTheDataTheyCarry) {
  const bytes::Bytes record{1, 2, 3};
  const CoreApiResult shortPrefix = run(2, {20, 30, 0});
  EXPECT_EQ(shortPrefix.code(), 19);
  EXPECT_TRUE(shortPrefix.data().empty());
  const CoreApiResult refused = run(2, join(prefix(20, 31), join(bytes::Bytes{1}, record)));
  EXPECT_EQ(refused.code(), 18);
  EXPECT_EQ(refused.data(), join(bytes::Bytes{1}, record)) << "the whole body, selector included";
  const CoreApiResult unknown = run(2, join(kAdministrator, join(bytes::Bytes{9}, record)));
  EXPECT_EQ(unknown.code(), 20);
  EXPECT_EQ(unknown.data(), record);
  const CoreApiResult noRight = run(2, join(prefix(4, 444), join(bytes::Bytes{1}, record)));
  EXPECT_EQ(noRight.code(), 16);
  EXPECT_EQ(noRight.data(), record);
  const CoreApiResult empty = run(2, kAdministrator);
  EXPECT_EQ(empty.code(), 22) << "a write of nothing is not a success";
  EXPECT_TRUE(empty.data().empty());
}

TEST_F(ConfigWorkerTest, WriteAdministrator_OnlyByTheAdministratorKeepingNameAndPassword) {
  const Cashier blank{20, 0x0001, 0, ""};
  const auto blankSlot = blank.encode();
  const bytes::Bytes body = join(bytes::Bytes{1}, blankSlot);
  const bytes::Bytes before = fileBytes(nv("CASHIERS"));
  EXPECT_EQ(code(2, join(prefix(3, 333), body)), 16) << "a cashier manager may not write the administrator";
  EXPECT_EQ(fileBytes(nv("CASHIERS")), before);

  ASSERT_EQ(code(2, join(kAdministrator, body)), 0);
  const auto kept = Cashier{20, CashierRights::kAdministrator, 30, std::string(Cashier::kDefaultAdministratorName)}.encode();
  EXPECT_EQ(cashierSlot(20), bytes::Bytes(kept.begin(), kept.end()));

  const auto renamed = Cashier{20, 0, 4321, "BOSS"}.encode();
  ASSERT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{1}, renamed))), 0);
  const auto stored = Cashier{20, CashierRights::kAdministrator, 4321, "BOSS"}.encode();
  EXPECT_EQ(cashierSlot(20), bytes::Bytes(stored.begin(), stored.end()));
  EXPECT_EQ(code(1, join(kAdministrator, bytes::Bytes{1, 20})), 18) << "the old password is gone";
  EXPECT_EQ(code(1, join(prefix(20, 4321), bytes::Bytes{1, 20})), 0);
}

TEST_F(ConfigWorkerTest, Sections_ReadAndWrite) {
  EXPECT_EQ(code(1, join(prefix(3, 333), bytes::Bytes{2, 7})), 16);
  const CoreApiResult fresh = run(1, join(prefix(4, 444), bytes::Bytes{2, 7}));
  ASSERT_EQ(fresh.code(), 0);
  bytes::Bytes unnamed(Section::kSlotSize, 0);
  unnamed[0] = 7;
  EXPECT_EQ(fresh.data(), unnamed);
  for (std::uint8_t number : {0, 21}) EXPECT_EQ(code(1, join(kAdministrator, bytes::Bytes{2, number})), 17);

  const bytes::Bytes dairy = wire(Section{7, std::string("МОЛОКО"_cp866)});
  EXPECT_EQ(code(2, join(prefix(3, 333), join(bytes::Bytes{2}, dairy))), 16);
  const CoreApiResult written = run(2, join(prefix(4, 444), join(bytes::Bytes{2}, dairy)));
  EXPECT_EQ(written.code(), 0);
  EXPECT_EQ(written.data(), dairy);
  EXPECT_EQ(slotOf("SECTIONS", Section::kSlotSize, 7), dairy);
  EXPECT_EQ(run(1, join(kAdministrator, bytes::Bytes{2, 7})).data(), dairy);

  const bytes::Bytes before = fileBytes(nv("SECTIONS"));
  for (const bytes::Bytes& bad : {bytes::Bytes(dairy.begin(), dairy.end() - 1), join(dairy, bytes::Bytes{0}),
                                  join(bytes::Bytes{21}, bytes::View(dairy).subspan(1))}) {
    EXPECT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{2}, bad))), 22) << bad.size() << " bytes";
  }
  EXPECT_EQ(fileBytes(nv("SECTIONS")), before);
}

TEST_F(ConfigWorkerTest, Discounts_ReadWriteAndWithdraw) {
  const CoreApiResult unset = run(1, join(prefix(4, 444), bytes::Bytes{3, 5}));
  ASSERT_EQ(unset.code(), 0);
  EXPECT_EQ(unset.data(), wire(Discount{5, Discount::kNotSet, 0, ""})) << "an unset discount reads as kind 2";
  EXPECT_EQ(code(1, join(kAdministrator, bytes::Bytes{3, 21})), 17);

  const bytes::Bytes tenPercent = wire(Discount{5, Discount::kPercentage, 1000, std::string("ПЕНСИОНЕРАМ"_cp866)});
  ASSERT_EQ(code(2, join(prefix(4, 444), join(bytes::Bytes{3}, tenPercent))), 0);
  EXPECT_EQ(slotOf("DISCOUNTS", Discount::kSlotSize, 5), tenPercent);
  EXPECT_EQ(run(1, join(kAdministrator, bytes::Bytes{3, 5})).data(), tenPercent);

  const bytes::Bytes withdrawn = wire(Discount{5, Discount::kPercentage, 0, "OLD"});
  ASSERT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{3}, withdrawn))), 0);
  EXPECT_EQ(slotOf("DISCOUNTS", Discount::kSlotSize, 5), withdrawn);
  EXPECT_EQ(run(1, join(kAdministrator, bytes::Bytes{3, 5})).data(), wire(Discount{5, Discount::kNotSet, 0, ""}));
  EXPECT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{3}, bytes::View(tenPercent).first(140)))), 22);
}

// A file-size limit of zero makes every write to a regular file fail, as a full or failing
// card does: the table is then left as it was, on disk and in memory.
TEST_F(ConfigWorkerTest, WriteRecord_FailedWriteAnswers21AndChangesNothing) {
  ASSERT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{2}, wire(Section{4, "OLD"})))), 0);
  ASSERT_EQ(code(2, join(kAdministrator, join(bytes::Bytes{3}, wire(Discount{4, Discount::kAmount, 100, "OLD"})))), 0);
  struct Case {
    std::uint8_t table;
    const char* file;
    bytes::Bytes record;
    bytes::Bytes readBack;  // command 1's reply for the record afterwards
  };
  const Case cases[] = {
      {1, "CASHIERS", wire(Cashier{6, CashierRights::kReceipts, 1234, "NEW"}), cashierSlot(6)},
      {2, "SECTIONS", wire(Section{4, "NEW"}), wire(Section{4, "OLD"})},
      {3, "DISCOUNTS", wire(Discount{4, Discount::kAmount, 900, "NEW"}), wire(Discount{4, Discount::kAmount, 100, "OLD"})},
  };
  for (const Case& test : cases) {
    const bytes::Bytes before = fileBytes(nv(test.file));
    const int answer = [&] {
      const platform::FileGrowthRefused refused;
      return code(2, join(kAdministrator, join(bytes::Bytes{test.table}, test.record)));
    }();

    EXPECT_EQ(answer, 21) << test.file;
    EXPECT_EQ(fileBytes(nv(test.file)), before) << test.file;
    EXPECT_EQ(run(1, join(kAdministrator, bytes::Bytes{test.table, test.record[0]})).data(), test.readBack) << test.file;
  }
  Cashier cached;
  EXPECT_TRUE(cashiers_.checkCashier(6, 666, cached)) << "the cache keeps the stored cashier";
  EXPECT_FALSE(cashiers_.checkCashier(6, 1234, cached));
}

TEST_F(ConfigWorkerTest, Clock_ReadWithoutOperatorAndSetInOrder) {
  const CoreApiResult read = run(3, {0xFF});
  ASSERT_EQ(read.code(), 0);
  ASSERT_EQ(read.data().size(), 4u);
  EXPECT_NEAR(bytes::loadU32(read.data(), 0), static_cast<double>(board_.now()), 2.0);

  bytes::Bytes target;
  bytes::appendU32(target, 1900000000);  // 2030
  EXPECT_EQ(code(4, join(prefix(6, 666), target)), 16);
  EXPECT_EQ(code(4, join(prefix(5, 1), target)), 18);
  EXPECT_EQ(code(4, join(prefix(5, 555), bytes::Bytes{0, 0, 0})), 22);
  EXPECT_EQ(code(4, join(prefix(5, 555), join(target, bytes::Bytes{0}))), 22);
  EXPECT_EQ(code(4, join(prefix(5, 555), bytes::Bytes{0x00, 0x00, 0x00, 0x80})), 22) << "past 2038";
  EXPECT_EQ(code(4, join(prefix(5, 555), bytes::Bytes{0xFF, 0xFF, 0xFF, 0xFF})), 22);
  state_.setLastDocumentTime(1900000000);
  EXPECT_EQ(code(4, join(prefix(5, 555), target)), 23) << "the time of the last document";
  bytes::Bytes buildMoment;
  bytes::appendU32(buildMoment, static_cast<std::uint32_t>(DeviceState::buildMoment()));
  EXPECT_EQ(code(4, join(prefix(5, 555), buildMoment)), 23);

  state_.setLastDocumentTime(0);
  const CoreApiResult set = run(4, join(prefix(5, 555), target));
  EXPECT_EQ(set.code(), 0);
  EXPECT_EQ(set.data(), target);
  EXPECT_NEAR(static_cast<double>(board_.now()), 1900000000.0, 2.0);
  const std::int64_t offset = platform::clockOffset(directory_.path());
  EXPECT_NEAR(static_cast<double>(offset), 1900000000.0 - static_cast<double>(std::time(nullptr)), 2.0);
  EXPECT_NEAR(bytes::loadU32(run(3).data(), 0), 1900000000.0, 2.0);
}

TEST_F(ConfigWorkerTest, Clock_RealBoardPathSetsBothClocksAndAFailureAnswers21) {
  platform::RecordingClocks clocks;
  board_.clocks = &clocks;
  bytes::Bytes target;
  bytes::appendU32(target, 1900000000);
  EXPECT_EQ(code(4, join(kAdministrator, target)), 0);
  EXPECT_EQ(clocks.calls, (std::vector<std::string>{"system 1900000000", "hardware"}));
  clocks.hardwareWorks = false;
  const CoreApiResult failed = run(4, join(kAdministrator, target));
  EXPECT_EQ(failed.code(), 21);
  EXPECT_TRUE(failed.data().empty());
}

TEST_F(ConfigWorkerTest, PaperWidth_ReadAndWrite) {
  const CoreApiResult fresh = run(193, join(prefix(6, 666), bytes::Bytes{1}));
  EXPECT_EQ(fresh.code(), 0) << "reading needs no right";
  EXPECT_EQ(fresh.data(), bytes::Bytes{0x3C});
  EXPECT_EQ(code(193, join(kAdministrator, bytes::Bytes{2})), 20);
  EXPECT_EQ(code(193, kAdministrator), 22);
  EXPECT_EQ(code(193, prefix(6, 1)), 18);

  EXPECT_EQ(code(194, join(prefix(6, 666), bytes::Bytes{1, 0x50})), 16);
  EXPECT_EQ(code(194, join(prefix(5, 555), bytes::Bytes{1})), 22);
  EXPECT_EQ(code(194, join(prefix(5, 555), bytes::Bytes{2, 0x50})), 20);
  EXPECT_FALSE(fs::exists(nv("PRINTER_SETTINGS")));
  EXPECT_EQ(printerSettings().paperWidth(), 60);

  EXPECT_EQ(code(194, join(prefix(5, 555), bytes::Bytes{1, 0x50, 0x99})), 0);
  EXPECT_EQ(fileBytes(nv("PRINTER_SETTINGS")), bytes::Bytes{0x50});
  EXPECT_EQ(printerSettings().paperWidth(), 80);
  EXPECT_EQ(PrintStyle(PrintStyle::kLeft, 1).paperWidth(), 80u) << "the next printed text";
  EXPECT_EQ(run(193, join(kAdministrator, bytes::Bytes{1})).data(), bytes::Bytes{0x50});
}

TEST_F(ConfigWorkerTest, PaperWidth_FailedSaveAnswers21AndKeepsTheWidthInUse) {
  ASSERT_EQ(code(194, join(kAdministrator, bytes::Bytes{1, 0x50})), 0);
  board_.failWrites = true;
  EXPECT_EQ(code(194, join(kAdministrator, bytes::Bytes{1, 58})), 21);
  EXPECT_EQ(printerSettings().paperWidth(), 80);
  EXPECT_EQ(PrintStyle(PrintStyle::kLeft, 1).paperWidth(), 80u) << "the next printed text";
  EXPECT_EQ(run(193, join(kAdministrator, bytes::Bytes{1})).data(), bytes::Bytes{0x50});
  EXPECT_EQ(fileBytes(nv("PRINTER_SETTINGS")), bytes::Bytes{0x50});
}

// Every command with every payload length up to 300, random bytes after no prefix, a wrong
// one or the administrator's (half of the time followed by a table selector): a code of these
// commands, and no file changes but the one a successful command makes.
TEST_F(ConfigWorkerTest, BadInput_EveryLengthAnswersAKnownCodeAndTouchesOnlyWhatItWrites) {
  const std::map<std::uint8_t, std::set<int>> codes{
      {1, {0, 16, 17, 18, 19, 20}},     {2, {0, 16, 18, 19, 20, 21, 22}}, {3, {0}},
      {4, {0, 16, 18, 19, 21, 22, 23}}, {193, {0, 18, 19, 20, 22}},      {194, {0, 16, 18, 19, 20, 21, 22}},
  };
  const std::vector<std::string> files{"CASHIERS", "SECTIONS", "DISCOUNTS", "PRINTER_SETTINGS"};
  const char* tableFiles[] = {"", "CASHIERS", "SECTIONS", "DISCOUNTS"};
  std::mt19937 random(20261208);
  for (const auto& [command, allowed] : codes) {
    for (std::size_t length = 0; length <= 300; ++length) {
      for (const bytes::Bytes& start : {bytes::Bytes{}, prefix(3, 1), kAdministrator}) {
        bytes::Bytes payload = start;
        while (payload.size() < length) payload.push_back(static_cast<std::uint8_t>(random()));
        payload.resize(length);
        if (length > 5 && random() % 2 == 0) payload[5] = static_cast<std::uint8_t>(1 + random() % 3);
        std::map<std::string, bytes::Bytes> before;
        for (const std::string& name : files) before[name] = fileBytes(nv(name));
        const CoreApiResult answer = run(command, payload);
        ASSERT_TRUE(allowed.count(answer.code())) << "command " << int(command) << ", " << length << " bytes: code "
                                                  << answer.code();
        for (const std::string& name : files) {
          const bool mayChange =
              answer.code() == 0 && ((command == 2 && name == tableFiles[payload[5]]) ||
                                     (command == 194 && name == "PRINTER_SETTINGS"));
          if (!mayChange) {
            ASSERT_EQ(fileBytes(nv(name)), before[name]) << name << " after command " << int(command);
          }
        }
      }
    }
  }
}

}  // namespace
