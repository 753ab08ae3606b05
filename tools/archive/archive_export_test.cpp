// Export of an archive the store wrote, compared with the documents as they were stored: every
// document, its index fields, and each item's tag and amount; the selections; CSV rows.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "storage/archive_testing.h"
#include "tools/archive/archive_export.h"
#include "tools/archive/archive_items.h"
#include "tools/archive/archive_summary.h"
#include "values/tags.h"

namespace {

using nlohmann::json;
using receipt_testing::Item;

// The value of the first item with `tag` among `items`; null when there is none.
json valueOf(const json& items, std::uint16_t tag) {
  for (const json& item : items) {
    if (item.value("tag", 0) == tag) return item.contains("items") ? item["items"] : item["value"];
  }
  return nullptr;
}

// Documents from .. to, narrowed to a shift or a period when given.
frarchive::Selection chosen(std::uint32_t from, std::uint32_t to, std::optional<std::uint16_t> shift = {},
                            std::optional<std::uint32_t> periodFrom = {}, std::optional<std::uint32_t> periodTo = {}) {
  frarchive::Selection selection;
  selection.from = from;
  selection.to = to;
  selection.shift = shift;
  selection.periodFrom = periodFrom;
  selection.periodTo = periodTo;
  return selection;
}

std::string money(const Decimal& amount) { return amount.rescaled(Decimal::kMoneyScale).toString(); }

class ArchiveExportTest : public ::testing::Test {
 protected:
  ArchiveExportTest() {
    Item bread;
    bread.name = std::string("ХЛЕБ, РЖАНОЙ"_cp866);
    bread.price = 12000;
    bread.unit = "kg";
    bread.quantity = Decimal(1000, 1500);
    Item milk;
    milk.name = "MILK";
    milk.price = 6000;
    milk.section = 2;
    const std::vector<int> codes = {
        archive_.registration(),
        archive_.document(DocumentType::kShiftOpening),
        archive_.document(DocumentType::kCashDeposit, 10000),
        archive_.receipt(0, {bread, milk}, 20000, 4000),
        archive_.document(DocumentType::kCashPayout, 2500),
        archive_.document(DocumentType::kShiftClosing),
        archive_.document(DocumentType::kShiftOpening),
    };
    EXPECT_EQ(codes, std::vector<int>(codes.size(), 0));
    file_ = platform::openDiskFile(archive_.archivePath(), platform::FileMode::ReadOnly);
  }

  std::vector<json> exported(const frarchive::Selection& selection = {}, const DeviceIdentity* identity = nullptr) {
    std::stringstream out;
    const auto result = frarchive::exportDocuments(*file_, selection, frarchive::Format::Json, out, identity);
    EXPECT_EQ(result.problem, "");
    std::vector<json> documents;
    for (std::string line; std::getline(out, line);) documents.push_back(json::parse(line));
    EXPECT_EQ(result.documents, documents.size());
    return documents;
  }

  std::vector<std::uint32_t> numbers(const frarchive::Selection& selection) {
    std::vector<std::uint32_t> out;
    for (const json& document : exported(selection)) out.push_back(document["number"]);
    return out;
  }

  archive_testing::TestArchive archive_;
  std::unique_ptr<platform::RandomAccessFile> file_;
};

TEST_F(ArchiveExportTest, EveryDocument_CarriesWhatWasStored) {
  const std::vector<json> documents = exported();
  const auto& stored = archive_.stored();
  ASSERT_EQ(documents.size(), stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const BaseWorkDocument& document = *stored[i];
    const json& line = documents[i];
    const json& items = line["items"];
    SCOPED_TRACE(i);
    EXPECT_EQ(line["number"], document.documentNumber());
    EXPECT_EQ(line["typeCode"], document.type());
    EXPECT_EQ(valueOf(items, tag::kDocumentNumber), document.documentNumber());
    EXPECT_EQ(valueOf(items, tag::kFiscalSign), document.fiscalSign());
    EXPECT_EQ(valueOf(items, tag::kFiscalizationNumber), document.fiscalizationNumber());
    EXPECT_EQ(valueOf(items, tag::kCashierName), "ИВАНОВ");
    EXPECT_EQ(items[3]["seconds"], document.dateTime());
    EXPECT_EQ(line["fiscalSign"], document.fiscalSign());
  }
  EXPECT_EQ(documents[0]["type"], "fiscalization");
  EXPECT_EQ(valueOf(documents[0]["items"], 11048), "SHOP");
  EXPECT_EQ(valueOf(documents[2]["items"], tag::kCashPaid),
            money(static_cast<const CashCtrlDocument&>(*stored[2]).amount()));
  EXPECT_EQ(valueOf(documents[4]["items"], tag::kCashPaid), "25.00");
  const json counters = valueOf(documents[5]["items"], tag::kShiftCounters);
  EXPECT_EQ(valueOf(counters, tag::kReceipts), static_cast<const CloseCycleDoc&>(*stored[5]).shiftCounters()->receipts);
  EXPECT_EQ(valueOf(counters, tag::kDepositSum), "100.00");
  EXPECT_EQ(valueOf(valueOf(counters, tag::kSaleCounters), tag::kElectronic), "40.00");
}

TEST_F(ArchiveExportTest, Receipt_CarriesEveryLineAndPayment) {
  const auto& receipt = static_cast<const ReceiptDoc&>(*archive_.stored()[3]);
  const json items = exported(chosen(4, 4)).at(0)["items"];
  EXPECT_EQ(valueOf(items, tag::kReceiptTotal), money(receipt.total()));
  EXPECT_EQ(valueOf(items, tag::kReceiptTotal), "240.00");
  EXPECT_EQ(valueOf(items, tag::kCashPaid), money(receipt.cash()));
  EXPECT_EQ(valueOf(items, tag::kElectronicPaid), "40.00");
  EXPECT_EQ(valueOf(items, tag::kReceiptKind), 0);
  std::vector<json> lines;
  for (const json& item : items) {
    if (item["tag"] == tag::kReceiptItem) lines.push_back(item["items"]);
  }
  ASSERT_EQ(lines.size(), receipt.operations().size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ReceiptOperation& operation = receipt.operations()[i];
    EXPECT_EQ(valueOf(lines[i], tag::kItemName), cp866::toUtf8(operation.name));
    EXPECT_EQ(valueOf(lines[i], tag::kPrice), money(operation.price));
    EXPECT_EQ(valueOf(lines[i], tag::kQuantity), operation.quantity.toString());
    EXPECT_EQ(valueOf(lines[i], tag::kItemTotal), money(operation.total()));
    EXPECT_EQ(valueOf(lines[i], tag::kSectionNumber), operation.section->number);
    EXPECT_EQ(valueOf(lines[i], tag::kTaxIndex), operation.taxIndex);
  }
  EXPECT_EQ(valueOf(lines[0], tag::kItemName), "ХЛЕБ, РЖАНОЙ");
  EXPECT_EQ(valueOf(lines[0], tag::kUnit), "kg");
  EXPECT_EQ(valueOf(lines[0], tag::kQuantity), "1.500");
  EXPECT_EQ(valueOf(lines[0], tag::kItemTotal), "180.00");
  EXPECT_EQ(valueOf(valueOf(items, 13105), 13103), "20.00");
}

TEST_F(ArchiveExportTest, Selections_ChooseByNumberShiftAndPeriod) {
  const std::uint32_t third = archive_.stored()[2]->dateTime(), fifth = archive_.stored()[4]->dateTime();
  EXPECT_EQ(numbers(chosen(4, 4)), std::vector<std::uint32_t>({4}));
  EXPECT_EQ(numbers(chosen(6, 100)), std::vector<std::uint32_t>({6, 7}));
  EXPECT_EQ(numbers(chosen(1, 100, 1)), std::vector<std::uint32_t>({2, 3, 4, 5, 6}));
  EXPECT_EQ(numbers(chosen(1, 100, 2)), std::vector<std::uint32_t>({7}));
  EXPECT_EQ(numbers(chosen(1, 100, 3)), std::vector<std::uint32_t>());
  EXPECT_EQ(numbers(chosen(1, 100, {}, third, fifth)), std::vector<std::uint32_t>({3, 4, 5}));
  EXPECT_EQ(numbers(chosen(1, 100, {}, fifth + 1000, UINT32_MAX)), std::vector<std::uint32_t>());
}

// The registration a sign covers comes from the fiscalization, also when it is not exported.
TEST_F(ArchiveExportTest, WithTheIdentity_EachSignIsVerified) {
  const DeviceIdentity identity{document_testing::sealedModel(), document_testing::kKey};
  for (const frarchive::Selection& selection : {chosen(1, 100), chosen(4, 5)}) {
    for (const json& document : exported(selection, &identity)) {
      EXPECT_EQ(document["signVerified"], true) << document["number"];
    }
  }
  EXPECT_FALSE(exported(chosen(1, 1)).at(0).contains("signVerified"));
}

TEST_F(ArchiveExportTest, Csv_HasARowPerItemWithQuotedTexts) {
  std::stringstream out;
  frarchive::exportDocuments(*file_, chosen(4, 4), frarchive::Format::Csv, out);
  const std::string text = out.str();
  EXPECT_TRUE(text.starts_with("number,type,date_time,shift,fiscal_sign,path,tag,name,value\n"));
  const std::string head = "4,receipt," + frarchive::timeText(archive_.stored()[3]->dateTime()) + ",1," +
                           std::to_string(archive_.stored()[3]->fiscalSign()) + ",";
  EXPECT_NE(text.find(head + "11059/11030,11030,item name,\"ХЛЕБ, РЖАНОЙ\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find(head + "11059/11079,11079,price,120.00\n"), std::string::npos) << text;
}

// A 16-digit registration number fills its field and is stored with the zero after it.
TEST(ArchiveItemsTest, Texts_EndAtTheirFirstZeroByte_OtherBytesAfterItShowRaw) {
  const auto text = [](std::string_view stored) {
    return frarchive::itemJson(TlvItem(tag::kRegistrationNumber, bytes::Bytes(stored.begin(), stored.end())));
  };
  EXPECT_EQ(text(std::string_view("0000000000012345\0", 17))["value"], "0000000000012345");
  EXPECT_EQ(text(std::string_view("7701234567\0\0", 12))["value"], "7701234567");
  EXPECT_EQ(text("7701234567")["value"], "7701234567");
  const json damaged = text(std::string_view("77\0" "01", 5));
  EXPECT_FALSE(damaged.contains("value")) << damaged;
  EXPECT_EQ(damaged["hex"], "3737003031");
}

TEST_F(ArchiveExportTest, Summary_NamesTheRegistrationDocumentsAndCounters) {
  const std::string summary = frarchive::summaryText(*file_);
  for (const char* expected : {"registration       0000000001, taxpayer 7700000000", "SHOP, PLACE, ADDR",
                               "documents          7, shifts 2 (the last one open)", "last document      7, shift opening",
                               "since registration shifts 2, receipts 1, deposits 1 (100.00), payouts 1 (25.00)",
                               "  sales            1 for 240.00: cash 200.00, electronic 40.00"}) {
    EXPECT_NE(summary.find(expected), std::string::npos) << expected << "\n" << summary;
  }
}

}  // namespace
