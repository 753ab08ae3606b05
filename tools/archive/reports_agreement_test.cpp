// The register's printed reports and frarchive agree on one generated archive: each shift's
// range report, the counters since the registration, the archive totals and the last shift's
// section report print the figures summed here from frarchive's export, frarchive's summary
// shows the same figures, and the checker finds the stored counter blocks equal to the ones
// recomputed from the documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "storage/archive_checker.h"
#include "storage/card.h"
#include "tools/archive/archive_export.h"
#include "tools/archive/archive_summary.h"
#include "tools/archive/board_generator.h"
#include "tools/sim/testing.h"
#include "values/decimal.h"
#include "values/tags.h"

namespace {

using nlohmann::json;

constexpr std::size_t kKinds = 4;
constexpr std::size_t kTaxSlots = 5;

// What one kind of receipt added up to; sums in hundredths.
struct KindFigures {
  unsigned receipts = 0;
  std::int64_t total = 0, cash = 0, electronic = 0;
  std::array<std::int64_t, kTaxSlots> taxes{};
};

// The figures of a shift or of the whole archive, summed from exported documents.
struct Figures {
  unsigned shifts = 0, deposits = 0, payouts = 0, receipts = 0;
  std::int64_t depositSum = 0, payoutSum = 0, drawer = 0;
  std::array<KindFigures, kKinds> kinds{};
  std::map<unsigned, std::array<std::int64_t, kKinds>> sections;  // by section number, per kind
};

std::int64_t hundredths(const json& amount) {
  std::string digits = amount.get<std::string>();
  std::erase(digits, '.');
  return std::stoll(digits);
}

std::string money(std::int64_t sum) { return Decimal(Decimal::kMoneyScale, sum).toString(); }

// The value of the first item with `tag` among `items`: a container's items; null when absent.
json valueOf(const json& items, std::uint16_t tag) {
  for (const json& item : items) {
    if (item.value("tag", 0) == tag) return item.contains("items") ? item["items"] : item["value"];
  }
  return nullptr;
}

std::string textOf(const json& value) { return value.is_null() ? std::string() : value.get<std::string>(); }

std::int64_t amountOf(const json& items, std::uint16_t tag) {
  const json value = valueOf(items, tag);
  return value.is_null() ? 0 : hundredths(value);
}

// Tags of the stored forms beyond values/tags.h: a receipt's tax rate containers and their name.
constexpr std::uint16_t kFirstTaxRate = 13105, kTaxName = 13104;

struct Archive {
  std::map<unsigned, Figures> byShift;
  Figures whole;
  std::map<unsigned, std::string> sectionNames;
  std::array<std::string, kTaxSlots> taxNames;
};

void addDocument(const json& document, Figures& figures, Archive& archive) {
  const std::string type = document["type"];
  const json& items = document["items"];
  if (type == "shift opening") ++figures.shifts;
  if (type == "cash deposit" || type == "cash payout") {
    const bool deposit = type == "cash deposit";
    const std::int64_t amount = amountOf(items, tag::kCashPaid);
    ++(deposit ? figures.deposits : figures.payouts);
    (deposit ? figures.depositSum : figures.payoutSum) += amount;
    figures.drawer += deposit ? amount : -amount;
  }
  if (type != "receipt") return;
  const unsigned kind = valueOf(items, tag::kReceiptKind).get<unsigned>();
  KindFigures& sums = figures.kinds.at(kind);
  ++figures.receipts;
  ++sums.receipts;
  sums.total += amountOf(items, tag::kReceiptTotal);
  sums.cash += amountOf(items, tag::kCashPaid);
  sums.electronic += amountOf(items, tag::kElectronicPaid);
  const bool incoming = kind == 0 || kind == 3;  // sales and purchase returns bring cash in
  figures.drawer += incoming ? amountOf(items, tag::kCashPaid) : -amountOf(items, tag::kCashPaid);
  for (const json& item : items) {
    const int tagNumber = item["tag"];
    const json& parts = item.contains("items") ? item["items"] : json::array();
    if (tagNumber >= kFirstTaxRate && tagNumber < kFirstTaxRate + static_cast<int>(kTaxSlots)) {
      const auto slot = static_cast<std::size_t>(tagNumber - kFirstTaxRate);
      sums.taxes[slot] += amountOf(parts, tag::kItemTaxAmount);
      archive.taxNames[slot] = textOf(valueOf(parts, kTaxName));
    } else if (tagNumber == tag::kSection) {
      archive.sectionNames[valueOf(parts, tag::kSectionNumber)] = textOf(valueOf(parts, tag::kSectionName));
    } else if (tagNumber == tag::kReceiptItem) {
      // An item without a section counts in none.
      if (const json section = valueOf(parts, tag::kSectionNumber); !section.is_null()) {
        figures.sections[section][kind] += amountOf(parts, tag::kItemTotal);
      }
    }
  }
}

Archive sumsOfExport(const std::filesystem::path& archivePath) {
  const auto file = platform::openDiskFile(archivePath.string(), platform::FileMode::ReadOnly);
  std::stringstream exported;
  EXPECT_EQ(frarchive::exportDocuments(*file, {}, frarchive::Format::Json, exported).problem, "");
  Archive archive;
  for (std::string line; std::getline(exported, line);) {
    const json document = json::parse(line);
    addDocument(document, archive.byShift[document["shift"]], archive);
    addDocument(document, archive.whole, archive);
  }
  return archive;
}

// A printed or summary line with its runs of blanks made one blank.
std::string squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

constexpr std::array<const char*, kKinds> kPrintedKinds = {"ПРОДАЖ", "ПОКУПОК", "ВОЗВРАТОВ ПРОДАЖ",
                                                           "ВОЗВРАТОВ ПОКУПОК"};
constexpr std::array<const char*, kKinds> kSummaryKinds = {"sales", "purchases", "sale returns", "purchase returns"};

enum class Block { Totals, SinceRegistration, Shift };

// The lines the register prints for one counter block with these figures.
std::vector<std::string> printedCounters(const Figures& figures, Block block, const Archive& archive) {
  std::vector<std::string> lines = {block == Block::Totals              ? "ГРОСС ИТОГИ"
                                    : block == Block::SinceRegistration ? "ИТОГО С ПОСЛЕДНЕЙ РЕГИСТРАЦИИ"
                                                                        : "ИТОГИ СМЕНЫ"};
  if (block != Block::Shift) lines.push_back("СМЕН " + std::to_string(figures.shifts));
  lines.push_back("ВНЕСЕНИЙ " + std::to_string(figures.deposits) + " НА " + money(figures.depositSum));
  lines.push_back("ВЫПЛАТ " + std::to_string(figures.payouts) + " НА " + money(figures.payoutSum));
  lines.push_back("ВСЕГО ЧЕКОВ " + std::to_string(figures.receipts));
  if (block == Block::Shift) lines.push_back("НАЛ. В КАССЕ " + money(figures.drawer));
  for (std::size_t kind = 0; kind < kKinds; ++kind) {
    const KindFigures& sums = figures.kinds[kind];
    const std::string kindName = kPrintedKinds[kind];
    lines.push_back(kindName + " " + std::to_string(sums.receipts) + " НА " + money(sums.total));
    if (sums.receipts == 0) continue;
    lines.push_back("НАЛИЧНЫМИ " + money(sums.cash));
    lines.push_back("БЕЗНАЛИЧНЫМИ " + money(sums.electronic));
    for (std::size_t slot = 0; slot < kTaxSlots && block != Block::Totals; ++slot) {
      if (sums.taxes[slot] > 0) lines.push_back(archive.taxNames[slot] + " " + money(sums.taxes[slot]));
    }
  }
  return lines;
}

std::vector<std::string> printedSections(const Figures& figures, const Archive& archive) {
  std::vector<std::string> lines = {"ИТОГИ ПО ОТДЕЛАМ"};
  for (const auto& [section, byKind] : figures.sections) {
    lines.push_back("ОТДЕЛ " + std::to_string(section) + " " + archive.sectionNames.at(section));
    for (std::size_t kind = 0; kind < kKinds; ++kind) {
      lines.push_back(std::string(kPrintedKinds[kind]) + " НА " + money(byKind[kind]));
    }
  }
  return lines;
}

// frarchive's summary lines for the receipt kinds that had receipts.
void addSummaryKinds(const Figures& figures, std::vector<std::string>& lines) {
  for (std::size_t kind = 0; kind < kKinds; ++kind) {
    const KindFigures& sums = figures.kinds[kind];
    if (sums.receipts == 0) continue;
    lines.push_back(std::string(kSummaryKinds[kind]) + " " + std::to_string(sums.receipts) + " for " +
                    money(sums.total) + ": cash " + money(sums.cash) + ", electronic " + money(sums.electronic));
  }
}

std::string cashMovements(const Figures& figures) {
  return "receipts " + std::to_string(figures.receipts) + ", deposits " + std::to_string(figures.deposits) + " (" +
         money(figures.depositSum) + "), payouts " + std::to_string(figures.payouts) + " (" +
         money(figures.payoutSum) + ")";
}

// The expected lines that `lines` lacks, each line of `lines` matching one expected line at most.
std::vector<std::string> missing(std::vector<std::string> lines, const std::vector<std::string>& expected) {
  std::vector<std::string> absent;
  for (const std::string& line : expected) {
    const auto found = std::find(lines.begin(), lines.end(), line);
    if (found == lines.end()) {
      absent.push_back(line);
    } else {
      lines.erase(found);
    }
  }
  return absent;
}

std::vector<std::string> squeezedLines(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(squeezed(line));
  return out;
}

const std::vector<std::string> kNone;

class ReportsAgreement : public ::testing::Test {
 protected:
  static constexpr frarchive::GeneratorOptions kOptions{.shifts = 3, .receiptsPerShift = 8, .seed = 17};

  // The service started again on a generated board in place of the one its first start made.
  void SetUp() override {
    ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
    board_.board().stopService();
    std::filesystem::remove_all(board_.root() / "mnt/sd");
    std::filesystem::remove_all(board_.root() / "nv");
    ASSERT_EQ(frarchive::generateBoard(board_.root().string(), kOptions), "");
    board_.board().startService();
    ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  }

  // The lines of report `body` (command 177, as the administrator), blanks squeezed.
  std::vector<std::string> report(const bytes::Bytes& body) {
    bytes::Bytes payload{20, 30, 0, 0, 0};
    bytes::appendBytes(payload, body);
    const auto reply = board_.host().transact({177, ++identifier_, payload});
    EXPECT_TRUE(reply && reply->code == 0) << board_.log();
    const auto pieces = sim::readPaper(board_.root()).pieces();
    return pieces.size() < 2 ? std::vector<std::string>{} : squeezedLines(pieces[pieces.size() - 2]);
  }

  std::filesystem::path archivePath() const { return board_.root() / "mnt/sd" / card::kArchiveFileName; }

  sim::TestBoard board_;
  std::uint32_t identifier_ = 100;
};

TEST_F(ReportsAgreement, ReportsSummaryAndCheckerGiveTheExportedDocumentsSums) {
  const Archive sums = sumsOfExport(archivePath());
  ASSERT_EQ(sums.byShift.size(), kOptions.shifts + 1) << "the registration's shift 0 and the generated shifts";
  ASSERT_EQ(sums.whole.receipts, kOptions.shifts * kOptions.receiptsPerShift);

  for (std::uint16_t shift = 1; shift <= kOptions.shifts; ++shift) {
    bytes::Bytes range{6};
    bytes::appendU16(range, shift);
    bytes::appendU16(range, shift);
    EXPECT_EQ(missing(report(range), printedCounters(sums.byShift.at(shift), Block::Totals, sums)), kNone) << shift;
  }
  EXPECT_EQ(missing(report({2}), printedCounters(sums.whole, Block::SinceRegistration, sums)), kNone);
  Figures totals = sums.whole;
  totals.shifts = kOptions.shifts;  // the archive totals count the current shift's number
  EXPECT_EQ(missing(report({3}), printedCounters(totals, Block::Totals, sums)), kNone);
  const Figures& last = sums.byShift.at(kOptions.shifts);
  std::vector<std::string> sectionReport = printedCounters(last, Block::Shift, sums);
  for (const std::string& line : printedSections(last, sums)) sectionReport.push_back(line);
  EXPECT_EQ(missing(report({4}), sectionReport), kNone);

  const auto file = platform::openDiskFile(archivePath().string(), platform::FileMode::ReadOnly);
  std::vector<std::string> summary = {
      "shift " + std::to_string(kOptions.shifts) + " " + cashMovements(last) + ", drawer cash " + money(last.drawer),
      "since registration shifts " + std::to_string(sums.whole.shifts) + ", " + cashMovements(sums.whole),
      "archive totals " + cashMovements(sums.whole)};
  addSummaryKinds(last, summary);
  addSummaryKinds(sums.whole, summary);
  addSummaryKinds(sums.whole, summary);
  std::vector<std::string> summaryLines;
  std::istringstream summaryText(frarchive::summaryText(*file));
  for (std::string line; std::getline(summaryText, line);) summaryLines.push_back(squeezed(line));
  EXPECT_EQ(missing(summaryLines, summary), kNone);
  EXPECT_EQ(checkArchive(*file), std::vector<std::string>{}) << "stored counter blocks equal the recomputed ones";
}

}  // namespace
