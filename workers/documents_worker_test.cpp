#include "workers/documents_worker.h"

#include <gtest/gtest.h>

#include <fstream>

#include "documents/archive_close_doc.h"
#include "documents/close_cycle_doc.h"
#include "documents/document_testing.h"
#include "documents/fiscalization_document.h"
#include "documents/receipt_testing.h"
#include "platform/board_directory.h"
#include "printer/escpos.h"
#include "printer/print_layout.h"
#include "tools/sim/printer_state.h"
#include "tools/sim/virtual_printer.h"
#include "workers/worker_testing.h"

namespace {

using namespace document_testing;
using namespace worker_testing;

bytes::Bytes textItem(std::uint16_t tag, std::string_view text) {
  TlvItem item;
  item.setText(tag, text);
  return item.encode();
}

// The document commands, without the goods tables.
class DocumentsWorkerTest : public WorkerTest {
 protected:
  CoreApiResult run(std::uint8_t command, const bytes::Bytes& payload = {}) override {
    board_->advance(1);  // commands come at least a second apart
    return DocumentsWorker(cashiers_, state_, *board_, archive_.get(), printer_, open_)
        .execute({command, 1, payload});
  }

  // The space the card offers from now on, in bytes; what the register counts one document's
  // room (32 KiB of the 80 % it uses).
  static constexpr std::uint64_t kDocumentRoom = 32768 * 10 / 8;
  void cardFree(std::uint64_t bytes) { std::ofstream(platform::cardFreeBytesFile(directory_.path())) << bytes; }

  // The bytes the printer got since the previous call. Every command ends on a status query the
  // printer has answered, so by then it has written all it got.
  std::string printerBytesSinceLast() {
    const bytes::Bytes raw = sim::readRawPaper(directory_.path());
    std::string fresh(raw.begin() + static_cast<std::ptrdiff_t>(rawSeen_), raw.end());
    rawSeen_ = raw.size();
    return fresh;
  }

  std::size_t rawSeen_ = 0;
};

// What the printer should get: a printer check is one status query; a print is the setup, the
// text and the status query that follows it.
struct PrinterStream {
  std::string bytes;
  PrinterStream& check() {
    bytes += escpos::kPaperStatusQuery;
    return *this;
  }
  PrinterStream& print(std::string_view text) {
    (((bytes += escpos::kSetup1) += escpos::kSetup2) += escpos::kCodePage) += text;
    return check();
  }
};

TEST(DocumentCodes, TypeFollowsFromTheCode) {
  const std::pair<std::uint8_t, std::uint8_t> pairs[] = {{8, 1}, {9, 1}, {17, 7}, {18, 7}, {19, 2}, {20, 2},
                                                          {21, 3}, {22, 3}, {24, 4}, {25, 4}, {162, 5}, {163, 5},
                                                          {164, 6}, {165, 6}, {6, 0}, {176, 0}};
  for (auto [command, type] : pairs) EXPECT_EQ(DocumentsWorker::typeOfCode(command), type) << int(command);
}

TEST_F(DocumentsWorkerTest, Open_ChecksInOrder) {
  EXPECT_EQ(code(17, {20, 30, 0, 0}), 19);
  EXPECT_EQ(code(17, {20, 31, 0, 0, 0}), 18);
  state_.publishModelData(ModelData());
  EXPECT_EQ(code(17, kAdministrator), 13);
  state_.publishModelData(sealedModel());
  state_.setLastDocumentTime(static_cast<std::uint32_t>(board_->now() + 3600));
  EXPECT_EQ(code(17, kAdministrator), 23);
  state_.setLastDocumentTime(0);

  Cashier clerk{3, CashierRights::kReports, 1234, "CLERK"};
  ASSERT_TRUE(cashiers_.saveCashier(clerk));
  EXPECT_EQ(code(8, {3, 0xD2, 0x04, 0, 0}), 16) << "a fiscalization needs the fiscalization right";
  EXPECT_EQ(code(17, {3, 0xD2, 0x04, 0, 0}), 0) << "no registration is needed to open a shift";
  EXPECT_EQ(state_.openDocumentState(), 7);
  EXPECT_EQ(code(8, kAdministrator), 28);
  EXPECT_EQ(state_.openDocumentState(), 7) << "the open document is untouched";
  const CoreApiResult open = run(176);
  EXPECT_EQ(open.code(), 0);
  EXPECT_EQ(open.data(), bytes::Bytes{7});
}

TEST_F(DocumentsWorkerTest, Open_ReadinessAndTheReceiptKind) {
  state_.setStatusFlag(FrStatus::kShiftOpen, true);
  state_.setShiftOpeningTime(static_cast<std::uint32_t>(board_->now()));
  EXPECT_EQ(code(8, kAdministrator), 26);
  EXPECT_EQ(code(21, kAdministrator), 42) << "a receipt without its kind";
  state_.setStatusFlag(FrStatus::kShiftOpen, false);
  EXPECT_EQ(code(19, kAdministrator), 27);
  cardFree(9 * kDocumentRoom);
  state_.setDocumentCapacity(9);
  EXPECT_EQ(code(8, kAdministrator), 6);
}

// The free space the status holds is that of the last store: a card still full is refused, and
// one freed since then takes documents at once.
TEST_F(DocumentsWorkerTest, Open_CardFreedSinceTheLastStore_IsMeasuredAgainBeforeRefusing) {
  cardFree(kDocumentRoom);
  state_.setDocumentCapacity(0);
  EXPECT_EQ(code(17, kAdministrator), 6);
  EXPECT_EQ(state_.documentCapacity(), 1u) << "measured again";
  EXPECT_EQ(state_.openDocumentState(), 0);
  cardFree(1000 * kDocumentRoom);
  EXPECT_EQ(code(17, kAdministrator), 0) << "no restart";
  EXPECT_EQ(state_.documentCapacity(), 1000u);
}

// Stored times are read as signed 32-bit numbers: a clock at or past 2^31 opens and finishes
// no document (23), so the last document's time never passes what the clock may be set to.
TEST_F(DocumentsWorkerTest, ClockAtTheTimeLimit_DatesNoDocument) {
  fiscalize();
  board_->advance(DeviceState::kTimeLimit - 2 - board_->now());
  ASSERT_EQ(code(17, kAdministrator), 0) << "the last second before the limit";
  EXPECT_EQ(code(18), 23) << "finished at the limit";
  EXPECT_EQ(state_.openDocumentState(), 7) << "still open";
  EXPECT_EQ(code(6), 0);
  EXPECT_EQ(code(17, kAdministrator), 23);
  board_->advance(1000000);
  EXPECT_EQ(code(17, kAdministrator), 23);
  EXPECT_EQ(state_.lastDocumentNumber(), 1u);
  EXPECT_LT(state_.lastDocumentTime(), DeviceState::kTimeLimit);
}

TEST_F(DocumentsWorkerTest, AddItemAndFinish_ChecksAndTheMissingTag) {
  EXPECT_EQ(code(7, textItem(11048, "SHOP")), 29);
  EXPECT_EQ(code(9, {}), 29);
  ASSERT_EQ(code(8, kAdministrator), 0);
  EXPECT_EQ(code(7, {0x01, 0x02, 0x03}), 22) << "not one whole item";
  EXPECT_EQ(code(7, textItem(11021, "")), 0);
  EXPECT_EQ(code(18, {}), 30) << "a shift-opening finish for a fiscalization";
  state_.setLastDocumentTime(static_cast<std::uint32_t>(board_->now() + 3600));
  EXPECT_EQ(code(9, {}), 23);
  state_.setLastDocumentTime(0);

  const CoreApiResult missing = run(9, {});
  EXPECT_EQ(missing.code(), 37);
  EXPECT_EQ(missing.data(), (bytes::Bytes{0x0D, 0x2B})) << "11021: the cashier's name was emptied";
  EXPECT_EQ(state_.openDocumentState(), 1) << "still open";
}

TEST_F(DocumentsWorkerTest, Fiscalization_IsStoredPublishedAndPrinted) {
  fiscalize();
  EXPECT_EQ(state_.openDocumentState(), 0);
  EXPECT_EQ(run(176).code(), 29);
  EXPECT_TRUE(state_.currentRegData()->isComplete());
  EXPECT_EQ(state_.currentRegData()->archiveId(), archive_->archiveId());
  EXPECT_EQ(state_.fiscalizationCount(), 1);
  EXPECT_EQ(state_.lastDocumentNumber(), 1u);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kRegistrationMatches));
  const auto printed = paper();
  EXPECT_NE(std::find_if(printed.begin(), printed.end(),
                         [](const std::string& line) { return line.find("ФП ") != std::string::npos; }),
            printed.end());
}

// Each text a document command prints goes out as a print of its own, with the printer checks
// where the commands make them: before opening, after an opened document's header (none when
// the header is empty), before finishing and before every added item.
TEST_F(DocumentsWorkerTest, Printing_EachTextIsItsOwnPrintWithTheChecksBetween) {
  printerBytesSinceLast();
  ASSERT_EQ(code(8, kAdministrator), 0);
  EXPECT_EQ(printerBytesSinceLast(), PrinterStream().check().bytes) << "the fiscalization's header is empty";
  addRegistrationItems();
  EXPECT_EQ(printerBytesSinceLast(), PrinterStream().check().check().check().check().bytes)
      << "items that print nothing";
  // The very document the worker finishes, stores and prints.
  const auto fiscalization = std::dynamic_pointer_cast<FiscalizationDocument>(open_.document());
  ASSERT_TRUE(fiscalization);
  ASSERT_EQ(code(9, registrationNumbers()), 0);
  EXPECT_EQ(printerBytesSinceLast(), PrinterStream()
                                         .check()
                                         .print(fiscalization->reportHeaderText())
                                         .print(fiscalization->reportText())
                                         .print(fiscalization->footerText(true))
                                         .bytes);

  bytes::Bytes amount;
  bytes::appendU64(amount, 10000);
  const std::tuple<std::uint8_t, std::uint8_t, bytes::Bytes> openAndFinish[] = {
      {17, 18, {}}, {162, 163, amount}, {164, 165, amount}, {19, 20, {}}, {24, 25, {}}};
  for (const auto& [openCode, finishCode, finishData] : openAndFinish) {
    SCOPED_TRACE(int(openCode));
    ASSERT_EQ(code(openCode, kAdministrator), 0);
    const std::shared_ptr<BaseWorkDocument> document = open_.document();
    ASSERT_FALSE(document->headerText().empty());
    EXPECT_EQ(printerBytesSinceLast(), PrinterStream().check().print(document->headerText()).check().bytes);

    ASSERT_EQ(code(finishCode, finishData), 0);
    PrinterStream expected;
    expected.check();
    if (const auto closing = std::dynamic_pointer_cast<CloseCycleDoc>(document)) expected.print(closing->reportText());
    if (const auto closing = std::dynamic_pointer_cast<ArchiveCloseDoc>(document)) expected.print(closing->reportText());
    EXPECT_EQ(printerBytesSinceLast(), expected.print(document->footerText(true)).bytes);
  }
}

// Numbers that fill their fields come back from the archive, for the fiscalization and for the
// documents made under it, also once a later fiscalization is in force.
TEST_F(DocumentsWorkerTest, FullWidthNumbers_SurviveTheArchiveAndAReRegistration) {
  fiscalize(registrationNumbers("770000000012", "0000000000012345"));
  for (auto [open, finish] : {std::pair<std::uint8_t, std::uint8_t>{17, 18}, {19, 20}}) {
    ASSERT_EQ(code(open, kAdministrator), 0);
    ASSERT_EQ(code(finish), 0);
  }
  fiscalize(registrationNumbers("7700000000", "0000000002"));

  for (std::uint32_t number : {1u, 2u, 3u}) {
    SCOPED_TRACE(number);
    std::shared_ptr<BaseWorkDocument> document;
    ASSERT_EQ(archive_->loadDocument(number, document), 0);
    EXPECT_EQ(document->regData().text(RegData::Text::TaxpayerNumber), std::string("770000000012\0", 13));
    EXPECT_EQ(document->regData().text(RegData::Text::RegistrationNumber), std::string("0000000000012345\0", 17));
    DocDescriptor descriptor;
    ASSERT_TRUE(archive_->readDescriptor(number, descriptor));
    EXPECT_EQ(crc::crc16(document->toStored()), descriptor.dataCheckValue());
  }
}

// A re-registration refused at its finish leaves the registration in force as it was.
TEST_F(DocumentsWorkerTest, RefusedReRegistration_KeepsTheRegistrationInForce) {
  fiscalize();
  const RegData before = *state_.currentRegData();
  ASSERT_EQ(code(8, kAdministrator), 0);
  EXPECT_EQ(code(9, registrationNumbers()), 37);
  EXPECT_EQ(*state_.currentRegData(), before);
  EXPECT_EQ(code(6), 0);
}

TEST_F(DocumentsWorkerTest, Cancel_DropsTheDocumentAndPrintsTheNotice) {
  EXPECT_EQ(code(6), 29);
  ASSERT_EQ(code(17, kAdministrator), 0);
  EXPECT_EQ(code(6), 0);
  EXPECT_EQ(state_.openDocumentState(), 0);
  const auto printed = paper();
  EXPECT_NE(std::find_if(printed.begin(), printed.end(),
                         [](const std::string& line) { return line.find("ДОКУМЕНТ ОТМЕНЕН") != std::string::npos; }),
            printed.end());
}

// A document lost to a printer failure is gone from the state byte too.
TEST_F(DocumentsWorkerTest, PrinterFailureAtFinish_DropsTheDocumentAndClearsTheState) {
  ASSERT_EQ(code(17, kAdministrator), 0);
  ASSERT_TRUE(sim::writePrinterState(simulated_.printerStatePath(), sim::PrinterState::Out));
  EXPECT_EQ(code(7, textItem(11021, "NAME")), 54) << "the printer check comes first and keeps the document";
  EXPECT_EQ(state_.openDocumentState(), 7);
  EXPECT_EQ(code(18, {}), 54);
  EXPECT_EQ(state_.openDocumentState(), 0);
  EXPECT_EQ(run(176).code(), 29);
}

// A paper-out flag left by an old status query does not block a document once the roll is back;
// a printer still out does.
TEST_F(DocumentsWorkerTest, Open_StalePrinterFlag_AsksThePrinterBeforeRefusing) {
  state_.setStatusFlag(FrStatus::kPaperOut, true);
  EXPECT_EQ(code(17, kAdministrator), 0);
  EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kPaperOut));
  EXPECT_EQ(code(6), 0);
  ASSERT_TRUE(sim::writePrinterState(simulated_.printerStatePath(), sim::PrinterState::Out));
  EXPECT_EQ(code(17, kAdministrator), 54);
  EXPECT_EQ(state_.openDocumentState(), 0);
}

TEST_F(DocumentsWorkerTest, Receipt_OpenAddFinish_MovesTheDrawerAndPrintsEachPart) {
  receipt_testing::Tables tables;
  const auto runReceipt = [&](std::uint8_t command, const bytes::Bytes& payload) {
    board_->advance(1);
    return DocumentsWorker(cashiers_, state_, *board_, archive_.get(), printer_, open_, tables.tables())
        .execute({command, 1, payload});
  };
  fiscalize();
  ASSERT_EQ(code(17, kAdministrator), 0);
  ASSERT_EQ(code(18, {}), 0);
  bytes::Bytes open = kAdministrator;
  open.push_back(0);
  ASSERT_EQ(runReceipt(21, open).code(), 0);
  EXPECT_EQ(state_.openDocumentState(), 3);
  receipt_testing::Item item;
  item.quantity = Decimal(1000, 2000);
  EXPECT_EQ(runReceipt(7, item.tlv().encode()).code(), 0);
  item.taxIndex = 6;
  EXPECT_EQ(runReceipt(7, item.tlv().encode()).code(), 45);
  bytes::Bytes status{3, 0, 1, 0, 1, 0};
  bytes::appendI64(status, 9100);
  EXPECT_EQ(runReceipt(176, {}).data(), status);

  const CoreApiResult finished = runReceipt(22, receipt_testing::payment(10000));
  ASSERT_EQ(finished.code(), 0);
  ASSERT_EQ(finished.data().size(), 32u);
  EXPECT_EQ(bytes::loadI64(finished.data(), 16), 9100);
  EXPECT_EQ(bytes::loadI64(finished.data(), 24), 900) << "change";
  EXPECT_EQ(state_.drawerCash(), 9100u);
  EXPECT_EQ(state_.receiptCounter(), 1);
  EXPECT_EQ(state_.openDocumentState(), 0);
  EXPECT_EQ(state_.shiftClosingNumber(), state_.lastDocumentNumber()) << "the open shift's newest document";
  const auto printed = paper();
  for (std::string_view text : {"ПРОДАЖА ЧЕК 1", "45.50 x 2 = 91.00", "ИТОГО", "СДАЧА", "ФП "}) {
    EXPECT_NE(std::find_if(printed.begin(), printed.end(),
                           [text](const std::string& line) { return line.find(text) != std::string::npos; }),
              printed.end())
        << text;
  }

  // A purchase paid from the drawer takes its cash out again.
  open.back() = 1;
  ASSERT_EQ(runReceipt(21, open).code(), 0);
  item.taxIndex = 1;
  ASSERT_EQ(runReceipt(7, item.tlv().encode()).code(), 0);
  EXPECT_EQ(runReceipt(22, receipt_testing::payment(9101)).code(), 48) << "overpaid";
  ASSERT_EQ(runReceipt(22, receipt_testing::payment(9100)).code(), 0);
  EXPECT_EQ(state_.drawerCash(), 0u);
  EXPECT_EQ(state_.receiptCounter(), 2);
}

}  // namespace
