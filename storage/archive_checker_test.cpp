// The checker over an archive the store wrote: clean, then with one chosen byte changed at a
// time, each change reported once, at its place, and nothing else.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/sparse_image.h"
#include "storage/archive_checker.h"
#include "storage/archive_layout.h"
#include "storage/archive_testing.h"
#include "storage/receipt_archive.h"
#include "values/crc.h"
#include "values/tags.h"

namespace {

using namespace archive_layout;
using receipt_testing::Item;

Item line(std::uint64_t price, std::uint8_t section, std::uint8_t taxIndex = 1) {
  Item item;
  item.price = price;
  item.section = section;
  item.taxIndex = taxIndex;
  return item;
}

class ArchiveCheckerTest : public ::testing::Test {
 protected:
  // Two shifts: a deposit, a sale in two sections paid partly by card, a purchase from the
  // drawer and a payout in the first; a sale with a discount in the second, still open.
  ArchiveCheckerTest() {
    Item discounted = line(4550, 1);
    discounted.quantity = Decimal(1000, 1500);
    discounted.discount = 1;
    discounted.unit = "kg";
    Item manual = line(3000, 2);
    manual.manualDiscount = 500;
    const std::vector<int> codes = {
        archive_.registration(),                                           // 1
        archive_.document(DocumentType::kShiftOpening),                    // 2
        archive_.document(DocumentType::kCashDeposit, 10000),              // 3
        archive_.receipt(0, {line(12000, 1), line(6000, 2)}, 10000, 8000), // 4
        archive_.receipt(1, {line(6000, 2)}, 6000),                        // 5
        archive_.document(DocumentType::kCashPayout, 2500),                // 6
        archive_.document(DocumentType::kShiftClosing),                    // 7
        archive_.document(DocumentType::kShiftOpening),                    // 8
        archive_.receipt(0, {discounted, manual}, 0),                      // 9
    };
    EXPECT_EQ(codes, std::vector<int>(codes.size(), 0));
    std::ifstream in(archive_.archivePath(), std::ios::binary);
    sound_.assign(std::istreambuf_iterator<char>(in), {});
    identity_.model = document_testing::sealedModel();
    identity_.key = document_testing::kKey;
  }

  // Where in the file the value of document n's stored item with `tag` begins: the first such
  // item, or the one after `skipped` others.
  std::uint64_t valueOffset(std::uint32_t n, std::uint16_t tag, int skipped = 0) const {
    const DocDescriptor record = descriptor(n);
    const bytes::View data = bytes::slice(sound_, record.dataOffset(), record.dataLength());
    bytes::Bytes wire;
    bytes::appendU16(wire, tag);
    auto at = std::search(data.begin(), data.end(), wire.begin(), wire.end());
    for (; skipped > 0 && at != data.end(); --skipped) at = std::search(at + 1, data.end(), wire.begin(), wire.end());
    EXPECT_NE(at, data.end()) << tag;
    return record.dataOffset() + static_cast<std::uint64_t>(at - data.begin()) + 4;
  }

  DocDescriptor descriptor(std::uint32_t n) const {
    return DocDescriptor::fromBytes(bytes::slice(sound_, indexRecordOffset(n), kRecordSize));
  }

  // The problems in a file holding `image`, which must be the same on a sparse copy that holds
  // only the runs of bytes other than zero.
  std::vector<std::string> problems(const bytes::Bytes& image, const DeviceIdentity* identity) {
    const std::string path = archive_.archivePath() + ".checked";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const std::vector<std::string> texts = problemTexts(*platform::openDiskFile(path, platform::FileMode::ReadOnly), identity);
    EXPECT_EQ(problemTexts(*sparseCopy(image), identity), texts) << "on a sparse copy";
    return texts;
  }

  static std::vector<std::string> problemTexts(platform::RandomAccessFile& file, const DeviceIdentity* identity) {
    std::vector<std::string> texts;
    for (const ArchiveProblem& problem : findArchiveProblems(file, {identity, {}})) texts.push_back(problem.text());
    return texts;
  }

  static std::unique_ptr<platform::RandomAccessFile> sparseCopy(const bytes::Bytes& image) {
    auto sparse = std::make_shared<platform::SparseImage>();
    for (auto run = image.begin(); run != image.end();) {
      run = std::find_if(run, image.end(), [](std::uint8_t b) { return b != 0; });
      const auto zero = std::find(run, image.end(), 0);
      if (run != zero) sparse->write(static_cast<std::uint64_t>(run - image.begin()), bytes::View(&*run, static_cast<std::size_t>(zero - run)));
      run = zero;
    }
    if (sparse->size() < image.size()) sparse->write(image.size() - 1, bytes::Bytes{0});
    return platform::openSparseImage(sparse, false);
  }

  archive_testing::TestArchive archive_;
  bytes::Bytes sound_;
  DeviceIdentity identity_;
};

TEST_F(ArchiveCheckerTest, StoredArchive_IsClean_WithAndWithoutTheIdentity) {
  EXPECT_EQ(problems(sound_, &identity_), std::vector<std::string>());
  EXPECT_EQ(problems(sound_, nullptr), std::vector<std::string>());
}

TEST_F(ArchiveCheckerTest, OneChangedByte_IsReportedOnceAtItsPlace) {
  const DocDescriptor sale = descriptor(4);
  const std::uint64_t shiftReceipts = kShiftCountersOffset + 22;
  const struct {
    const char* what;
    std::uint64_t offset;
    std::string expected;  // the start of the one problem
  } cases[] = {
      {"first magic", kMagicOffset, "offset 0: magic"},
      {"second magic", kSecondMagicOffset + 3, "offset 16777216: magic"},
      {"descriptor's date-time", indexRecordOffset(5) + 5,
       "document 5, offset " + std::to_string(indexRecordOffset(5) + 38) +
           ": header check value (the index's date-time is not the stored data's)"},
      {"descriptor's zero bytes", indexRecordOffset(3) + 50,
       "document 3, offset " + std::to_string(indexRecordOffset(3) + 40) + ": descriptor bytes 40-63 not zero"},
      {"cashier name in a receipt's stored form", sale.dataOffset() + 22,
       "document 4, offset " + std::to_string(indexRecordOffset(4) + 26) + ": data check value"},
      {"shift counters' receipt count", shiftReceipts,
       "offset " + std::to_string(shiftReceipts) + ": shift counters: receipts (stored 0, expected 1"},
      {"shift-open slot's fiscal sign", kLastShiftOpenSlot + 12,
       "document 8, offset " + std::to_string(kLastShiftOpenSlot + 11) + ": shift-open slot: fiscal sign"},
      {"fiscalization table", kFiscalizationTableOffset + 4, "offset " + std::to_string(kFiscalizationTableOffset + 4) +
                                                                 ": fiscalization table entry 2 (stored 1, expected 0"},
      {"zero area", kSecondMagicOffset - 1, "offset " + std::to_string(kSecondMagicOffset - 1) + ": zero area after the counters not zero"},
      {"record after the last", indexRecordOffset(12) + 3,
       "document 12, offset " + std::to_string(indexRecordOffset(12) + 3) + ": index record not empty"},
      {"record deep in the empty index", indexRecordOffset(200000) + 63,
       "document 200000, offset " + std::to_string(indexRecordOffset(200000) + 63) + ": index record not empty"},
  };
  for (const auto& c : cases) {
    bytes::Bytes damaged = sound_;
    damaged[c.offset] ^= 0x01;
    const std::vector<std::string> found = problems(damaged, &identity_);
    ASSERT_EQ(found.size(), 1u) << c.what << ": " << ::testing::PrintToString(found);
    EXPECT_TRUE(found[0].starts_with(c.expected)) << c.what << ": " << found[0];
  }
}

// The records the checker compares whole name each field where it lies: the first byte of every
// field of the last-document slot, of the stored registration and of the shift counters (one
// per-kind field for their sub-blocks), changed, is reported first under that field's name.
TEST_F(ArchiveCheckerTest, EveryRecordField_IsNamedAtItsOffset) {
  std::vector<std::pair<std::uint64_t, std::string>> cases;
  const auto add = [&cases](std::uint64_t record, const std::string& prefix, const bytes::Field& field,
                            const std::string& suffix) {
    const std::string name = std::string(field.name) + (field.count > 1 ? " 1" : "");
    cases.emplace_back(record + field.offset, prefix + name + suffix);
  };
  for (const bytes::Field& field : DocDescriptor::kFields) add(kLastDocumentSlot, "last-document slot: ", field, "");
  for (const bytes::Field& field : RegData::kFields) {
    add(kRegDataOffset, "stored registration: ", field, " is not the newest fiscalization's");
  }
  for (const bytes::Field& field : CounterSet::kFields) {
    if (field.offset != CounterSet::kByKindField.offset) add(kShiftCountersOffset, "shift counters: ", field, "");
  }
  add(kShiftCountersOffset + CounterSet::kByKindField.element(2).offset, "shift counters: sale return ",
      OperationCounters::kTotalField, "");
  for (const auto& [offset, name] : cases) {
    bytes::Bytes damaged = sound_;
    damaged[offset] ^= 0x01;
    const std::vector<std::string> found = problems(damaged, &identity_);
    ASSERT_FALSE(found.empty()) << name;
    EXPECT_NE(found[0].find("offset " + std::to_string(offset) + ": " + name), std::string::npos) << found[0];
  }
}

// A receipt's pieces lie outside its stored form: no check value covers them, but the
// register's rules do. Receipt 4 (closed shift): lines of 120.00 (section 1) and 60.00
// (section 2). Receipt 9 (open shift): 45.50 × 1.500 less 10 % (section 1), 30.00 less a
// manual 5.00 (section 2). Every line is taxed at rate 1, 20 % included.
TEST_F(ArchiveCheckerTest, ChangedReceiptPiece_IsReportedOnceAtItsField) {
  const std::uint64_t line1 = valueOffset(9, tag::kItemName) - 8;   // its 11059 item
  const std::uint64_t line2 = valueOffset(9, tag::kItemName, 1) - 8;
  const struct {
    const char* what;
    std::uint64_t offset;
    std::uint8_t change;  // xor-ed into the byte
    std::uint32_t document;
    std::uint64_t reportedAt;
    std::string field;
  } cases[] = {
      {"rate's kind", valueOffset(9, tag::kTaxRateKind), 0x01, 9, valueOffset(9, tag::kTaxRateKind), "tax rate 1: kind"},
      {"rate's kind, a bit the rate word has no room for", valueOffset(9, tag::kTaxRateKind), 0x04, 9,
       valueOffset(9, tag::kTaxRateKind), "tax rate 1: kind (stored 5, registered 1)"},
      {"rate's percentage", valueOffset(9, tag::kTaxRatePercentage), 0x10, 9, valueOffset(9, tag::kTaxRatePercentage),
       "tax rate 1: percentage"},
      {"rate's name", valueOffset(9, tag::kTaxRateName), 0x01, 9, valueOffset(9, tag::kTaxRateName), "tax rate 1: name"},
      {"rate's tax sum", valueOffset(9, tag::kItemTaxAmount), 0x01, 9, valueOffset(9, tag::kItemTaxAmount),
       "tax rate 1: tax sum"},
      {"rate's kind item's length", valueOffset(4, tag::kTaxRateKind) - 2, 0x01, 4,
       valueOffset(4, tag::kFirstTaxRate) - 4, "tax rate 1: its items do not decode"},
      {"section item's number", valueOffset(9, tag::kSectionNumber, 1), 0x01, 9, valueOffset(9, tag::kSectionNumber, 3),
       "item line 2: section 2 has no section item"},
      {"line's section", valueOffset(4, tag::kSectionNumber, 2), 0x01, 4, valueOffset(4, tag::kSectionNumber, 2),
       "item line 1: section 0 outside 1 to 20"},
      {"line's tax index", valueOffset(9, tag::kTaxIndex), 0x01, 9, valueOffset(9, tag::kTaxIndex),
       "item line 1: tax index 0 outside 1 to 5"},
      {"line's tax index to an unregistered rate", valueOffset(9, tag::kTaxIndex), 0x02, 9, valueOffset(9, tag::kTaxIndex),
       "item line 1: tax index 3 names no tax rate of the registration"},
      {"line's tax amount", valueOffset(9, tag::kItemTaxAmount, 1), 0x01, 9, valueOffset(9, tag::kItemTaxAmount, 1),
       "item line 1: tax amount"},
      {"line's price", valueOffset(9, tag::kPrice), 0x01, 9, line1, "item line 1: total is not price × quantity"},
      {"line's quantity", valueOffset(9, tag::kQuantity) + 1, 0x01, 9, line1, "item line 1: total is not price × quantity"},
      {"line's discount", valueOffset(9, tag::kItemDiscount), 0x01, 9, line1, "item line 1: total is not price × quantity"},
      {"line's total", valueOffset(9, tag::kItemTotal) + 1, 0x10, 9, valueOffset(9, tag::kItemTotal), "item line 1: total"},
      {"manual discount line's total", valueOffset(9, tag::kItemTotal, 1), 0x01, 9, valueOffset(9, tag::kItemTotal, 1),
       "item line 2: total"},
      {"manual discount line's price below its total", valueOffset(9, tag::kPrice, 1) + 1, 0x08, 9, line2,
       "item line 2: total is not price × quantity"},
      {"closed shift's line total", valueOffset(4, tag::kItemTotal) + 1, 0x01, 4, valueOffset(4, tag::kItemTotal),
       "item line 1: total"},
      {"line item's tag", valueOffset(4, tag::kItemTotal) - 4, 0x01, 4, valueOffset(4, tag::kItemTotal) - 4,
       "item line 1: unknown item 11042"},
      {"line item's length", valueOffset(4, tag::kQuantity) - 2, 0x01, 4, valueOffset(4, tag::kItemName) - 8,
       "item line 1: its items do not decode"},
      {"section name item's tag", valueOffset(9, tag::kSectionName) - 4, 0x01, 9, valueOffset(9, tag::kSection) - 4,
       "section item: its items are not a number and a name"},
      {"section item's tag", valueOffset(4, tag::kSection) - 4, 0x01, 4, valueOffset(4, tag::kSection) - 4,
       "unknown item 11301 among the receipt's pieces"},
  };
  for (const auto& c : cases) {
    bytes::Bytes damaged = sound_;
    damaged[c.offset] ^= c.change;
    const std::vector<std::string> found = problems(damaged, &identity_);
    ASSERT_EQ(found.size(), 1u) << c.what << ": " << ::testing::PrintToString(found);
    const std::string expected =
        "document " + std::to_string(c.document) + ", offset " + std::to_string(c.reportedAt) + ": " + c.field;
    EXPECT_TRUE(found[0].starts_with(expected)) << c.what << ": " << found[0] << "\nexpected: " << expected;
  }
}

// A sign replaced in both the index and the stored form, with both check values made again,
// is found only with the device key.
TEST_F(ArchiveCheckerTest, ForgedSign_IsFoundWithTheKey) {
  const DocDescriptor deposit = descriptor(3);
  bytes::Bytes forged = sound_;
  bytes::storeU32(forged, valueOffset(3, tag::kFiscalSign), 0x12345678);
  DocDescriptor record = deposit;
  record.setFiscalSign(0x12345678);
  record.setDataCheckValue(crc::crc16(bytes::slice(forged, deposit.dataOffset(), deposit.dataLength())));
  record.sealHeader();
  std::copy(record.bytes().begin(), record.bytes().end(), forged.begin() + static_cast<std::ptrdiff_t>(indexRecordOffset(3)));

  EXPECT_EQ(problems(forged, nullptr), std::vector<std::string>());
  const std::vector<std::string> found = problems(forged, &identity_);
  ASSERT_EQ(found.size(), 1u) << ::testing::PrintToString(found);
  EXPECT_TRUE(found[0].starts_with("document 3, offset " + std::to_string(indexRecordOffset(3) + 11) +
                                   ": fiscal sign does not verify with the device key"))
      << found[0];

  DeviceIdentity stranger = identity_;
  stranger.key[0] ^= 0xFF;
  EXPECT_EQ(problems(sound_, &stranger),
            std::vector<std::string>{"identity memory offset 44: model record not sealed with the device key"});
}

TEST_F(ArchiveCheckerTest, TruncatedFile_NamesTheDocumentThatRunsPastTheEnd) {
  const DocDescriptor last = descriptor(9);
  bytes::Bytes truncated(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(last.dataOffset() + 10));
  const std::vector<std::string> found = problems(truncated, &identity_);
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(found[0].starts_with("document 9, offset " + std::to_string(indexRecordOffset(9) + 16) +
                                   ": data past the end of the file"))
      << found[0];
  truncated.resize(kDataOffset - 1);
  EXPECT_EQ(problems(truncated, &identity_),
            std::vector<std::string>{"offset 0: file shorter than its fixed head (size 16777219, at least 16777220)"});
}

}  // namespace
