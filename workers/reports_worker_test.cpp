#include "workers/reports_worker.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "core/state/result_code.h"
#include "documents/cash_ctrl_document.h"
#include "documents/document_testing.h"
#include "documents/receipt_doc.h"
#include "documents/receipt_testing.h"
#include "storage/archive_layout.h"
#include "storage/card.h"
#include "tools/sim/printer_state.h"
#include "values/local_time.h"
#include "workers/documents_worker.h"
#include "workers/worker_testing.h"

namespace {

using namespace document_testing;
using namespace worker_testing;
using Lines = std::vector<std::string>;

bytes::Bytes withOperator(const bytes::Bytes& body, const bytes::Bytes& prefix = kAdministrator) {
  bytes::Bytes payload = prefix;
  bytes::appendBytes(payload, body);
  return payload;
}

bytes::Bytes u32Body(std::uint32_t value) {
  bytes::Bytes body;
  bytes::appendU32(body, value);
  return body;
}

// A printed line with its justification undone: runs of blanks as one, none at the ends.
std::string squeezed(const std::string& line) {
  std::istringstream words(line);
  std::string word, out;
  while (words >> word) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string money(std::int64_t hundredths) {
  const std::uint64_t magnitude = hundredths < 0 ? 0 - static_cast<std::uint64_t>(hundredths) : hundredths;
  const std::uint64_t cents = magnitude % 100;
  return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100) + (cents < 10 ? ".0" : ".") +
         std::to_string(cents);
}

// What the test counts itself from the stored documents of some shifts.
struct Sums {
  struct Kind {
    unsigned receipts = 0;
    std::int64_t total = 0, cash = 0, electronic = 0, tax = 0;
  };
  unsigned shifts = 0, deposits = 0, payouts = 0;
  std::int64_t depositSum = 0, payoutSum = 0;
  std::array<Kind, 4> kinds{};

  unsigned receipts() const {
    unsigned count = 0;
    for (const Kind& kind : kinds) count += kind.receipts;
    return count;
  }

  // Each kind's lines: count and total, and with receipts the payments and (`withTaxes`) the
  // tax of rate 1, "VAT".
  Lines kindLines(bool withTaxes) const {
    static const char* const kNames[] = {"ПРОДАЖ", "ПОКУПОК", "ВОЗВРАТОВ ПРОДАЖ", "ВОЗВРАТОВ ПОКУПОК"};
    Lines lines;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      const Kind& kind = kinds[k];
      lines.push_back(std::string(kNames[k]) + " " + std::to_string(kind.receipts) + " НА " + money(kind.total));
      if (kind.receipts == 0) continue;
      lines.push_back("НАЛИЧНЫМИ " + money(kind.cash));
      lines.push_back("БЕЗНАЛИЧНЫМИ " + money(kind.electronic));
      if (withTaxes && kind.tax > 0) lines.push_back("VAT " + money(kind.tax));
    }
    return lines;
  }

  Lines headLines() const {
    return {"ВНЕСЕНИЙ " + std::to_string(deposits) + " НА " + money(depositSum),
            "ВЫПЛАТ " + std::to_string(payouts) + " НА " + money(payoutSum),
            "ВСЕГО ЧЕКОВ " + std::to_string(receipts())};
  }

  // The lines of the totals report of these sums.
  Lines totalsLines() const {
    Lines lines{"ГРОСС ИТОГИ", "СМЕН " + std::to_string(shifts)};
    for (const auto& part : {headLines(), kindLines(false)}) lines.insert(lines.end(), part.begin(), part.end());
    return lines;
  }
};

// The report commands, with the documents made through the document commands.
class ReportsWorkerTest : public WorkerTest {
 protected:
  CoreApiResult run(std::uint8_t command, const bytes::Bytes& payload = {}) override {
    board_->advance(1);  // commands come at least a second apart
    const CoreTransaction transaction{command, 1, payload};
    if (command == 58 || command == 177 || command == 178) {
      return ReportsWorker(cashiers_, state_, archive_.get(), printer_, &tables_.sections()).execute(transaction);
    }
    return DocumentsWorker(cashiers_, state_, *board_, archive_.get(), printer_, open_, tables_.tables())
        .execute(transaction);
  }

  // The command's code and the lines it printed, squeezed.
  std::pair<int, Lines> printed(std::uint8_t command, const bytes::Bytes& payload) {
    const std::size_t before = paper().size();
    const int answer = code(command, payload);
    Lines lines;
    const Lines all = paper();
    for (std::size_t i = before; i < all.size(); ++i) lines.push_back(squeezed(all[i]));
    return {answer, lines};
  }

  Lines report(std::uint8_t selector, const bytes::Bytes& rest = {}) {
    bytes::Bytes body{selector};
    bytes::appendBytes(body, rest);
    auto [answer, lines] = printed(177, withOperator(body));
    EXPECT_EQ(answer, 0) << "report " << int(selector);
    return lines;
  }

  void cash(bool deposit, std::int64_t amount) {
    ASSERT_EQ(code(deposit ? 162 : 164, kAdministrator), 0);
    ASSERT_EQ(code(deposit ? 163 : 165, kopecks(amount)), 0);
  }

  // A receipt of `kind` with one item per price (quantity 1, tax rate 1), in `section`s 1 and
  // 2 by turns, paid exactly: `electronic` of it by card, the rest in cash.
  void receipt(std::uint8_t kind, std::initializer_list<std::uint64_t> prices, std::int64_t electronic = 0) {
    ASSERT_EQ(code(21, withOperator({kind})), 0);
    std::int64_t total = 0;
    std::uint8_t section = 1;
    for (std::uint64_t price : prices) {
      receipt_testing::Item item;
      item.price = price;
      item.section = section;
      section = section == 1 ? 2 : 1;
      ASSERT_EQ(code(7, item.tlv().encode()), 0);
      total += static_cast<std::int64_t>(price);
    }
    ASSERT_EQ(code(22, receipt_testing::payment(total - electronic, electronic)), 0);
  }

  void openShift() {
    ASSERT_EQ(code(17, kAdministrator), 0);
    ASSERT_EQ(code(18), 0);
  }

  // Empties the drawer and closes the shift.
  void closeShift() {
    if (state_.drawerCash() > 0) cash(false, static_cast<std::int64_t>(state_.drawerCash()));
    ASSERT_EQ(code(19, kAdministrator), 0);
    ASSERT_EQ(code(20), 0);
  }

  // Fiscalization; shifts 1 and 2 closed, with cash movements and receipts of all four kinds;
  // shift 3 open with one deposit.
  void makeArchive() {
    fiscalize();
    openShift();
    cash(true, 100000);
    receipt(0, {4550, 6000});
    receipt(2, {4550});
    cash(false, 25050);
    receipt(1, {3000});
    receipt(3, {1200, 1000}, 1200);
    receipt(0, {9999}, 9999);
    closeShift();
    openShift();
    cash(true, 50000);
    cash(true, 1234);
    receipt(0, {4550}, 4550);
    cash(false, 10000);
    closeShift();
    openShift();
    cash(true, 1000);
  }

  // Counted from the stored documents of the shifts lo .. hi that were closed.
  Sums sumsOf(std::uint16_t lo, std::uint16_t hi) {
    Sums sums;
    const std::uint32_t last = archive_->lastDocumentInfo().first;
    for (std::uint32_t number = 1; number <= last; ++number) {
      std::shared_ptr<BaseWorkDocument> document;
      EXPECT_EQ(archive_->loadDocument(number, document), 0);
      if (document->shiftNumber() < lo || document->shiftNumber() > hi) continue;
      if (document->type() == DocumentType::kShiftClosing) ++sums.shifts;
      if (const auto* receipt = dynamic_cast<const ReceiptDoc*>(document.get())) {
        Sums::Kind& kind = sums.kinds.at(receipt->kind());
        ++kind.receipts;
        kind.total += receipt->total().rescaled(100).mantissa();
        kind.cash += receipt->cash().rescaled(100).mantissa();
        kind.electronic += receipt->electronic().rescaled(100).mantissa();
        for (const auto& [index, sum] : receipt->taxSums()) kind.tax += sum.rescaled(100).mantissa();
      }
      if (const auto* movement = dynamic_cast<const CashCtrlDocument*>(document.get())) {
        const std::int64_t amount = movement->amount().rescaled(100).mantissa();
        if (movement->isDeposit()) {
          ++sums.deposits;
          sums.depositSum += amount;
        } else {
          ++sums.payouts;
          sums.payoutSum += amount;
        }
      }
    }
    return sums;
  }

  DocDescriptor descriptor(std::uint32_t number) {
    DocDescriptor record;
    EXPECT_TRUE(archive_->readDescriptor(number, record));
    return record;
  }

  // The first document of `type` of shift `shift`.
  std::uint32_t find(std::uint8_t type, std::uint16_t shift) {
    for (std::uint32_t n = 1; n <= archive_->lastDocumentInfo().first; ++n) {
      if (descriptor(n).type() == type && descriptor(n).shiftNumber() == shift) return n;
    }
    ADD_FAILURE() << "no document of type " << int(type) << " in shift " << shift;
    return 0;
  }

  // The frame every report has around its own lines; the feed before the cut shows as an empty
  // line.
  Lines framed(const Lines& title, const Lines& body) {
    Lines lines{"SHOP", "PLACE", "ADDR"};
    lines.insert(lines.end(), title.begin(), title.end());
    lines.insert(lines.end(), body.begin(), body.end());
    const auto model = state_.currentModelData();
    lines.insert(lines.end(), {"ИНН 7700000000", "ФН 0000000001",
                               squeezed(cp866::toUtf8(model->modelName()) + " " + model->serialNumber()), ""});
    return lines;
  }

  static std::string timeText(std::uint32_t seconds) { return localTimeText(seconds, "%d.%m.%Y %H:%M:%S"); }

  receipt_testing::Tables tables_;  // section 1 "ХЛЕБ", section 2 unnamed
};

bytes::Bytes reportBody(std::uint8_t selector, const bytes::Bytes& rest) {
  bytes::Bytes body{selector};
  bytes::appendBytes(body, rest);
  return body;
}

bytes::Bytes shiftRange(std::uint16_t a, std::uint16_t b) {
  bytes::Bytes body;
  bytes::appendU16(body, a);
  bytes::appendU16(body, b);
  return body;
}

bytes::Bytes period(std::uint32_t a, std::uint32_t b) {
  bytes::Bytes body;
  bytes::appendU32(body, a);
  bytes::appendU32(body, b);
  return body;
}

TEST_F(ReportsWorkerTest, ShiftRange_SumsExactlyTheClosedShiftsOfTheRange) {
  makeArchive();
  struct Case {
    std::uint16_t a, b, lo, hi;
  };
  // Bounds in either order, equal bounds, and a range reaching the open shift or past it.
  for (const Case& c : {Case{1, 1, 1, 1}, Case{2, 2, 2, 2}, Case{2, 1, 1, 2}, Case{0, 3, 1, 2}, Case{2, 60000, 2, 2}}) {
    const Lines expected = framed({"ОТЧЕТ ПО ДИАПАЗОНУ СМЕН"},
                                  [&] {
                                    Lines body{"СМЕНЫ С " + std::to_string(c.lo) + " ПО " + std::to_string(c.hi)};
                                    for (const auto& line : sumsOf(c.lo, c.hi).totalsLines()) body.push_back(line);
                                    return body;
                                  }());
    EXPECT_EQ(report(6, shiftRange(c.a, c.b)), expected) << c.a << ".." << c.b;
  }
  for (auto [a, b] : {std::pair<std::uint16_t, std::uint16_t>{3, 3}, {0, 0}, {4, 65535}}) {
    EXPECT_EQ(printed(177, withOperator(reportBody(6, shiftRange(a, b)))), (std::pair<int, Lines>{17, {}}))
        << a << ".." << b;
  }
}

// The period holds exactly the documents whose time lies within its bounds.
TEST_F(ReportsWorkerTest, Period_CoversTheDocumentsWithinItsBounds) {
  makeArchive();
  const std::uint32_t closing1 = descriptor(find(DocumentType::kShiftClosing, 1)).dateTime();
  const std::uint32_t opening2 = descriptor(find(DocumentType::kShiftOpening, 2)).dateTime();
  const std::uint32_t closing2 = descriptor(find(DocumentType::kShiftClosing, 2)).dateTime();
  const std::uint32_t start = descriptor(1).dateTime();
  struct Case {
    std::uint32_t a, b;
    std::uint16_t lo, hi;  // the shifts whose closings lie inside
  };
  for (const Case& c : {Case{start - 100, closing1, 1, 1}, Case{closing1, closing1, 1, 1}, Case{closing2, opening2, 2, 2},
                        Case{0, 0xFFFFFFFF, 1, 2}, Case{closing1, closing2, 1, 2}}) {
    const std::uint32_t lo = std::min(c.a, c.b), hi = std::max(c.a, c.b);
    Lines body{"С " + timeText(lo), "ПО " + timeText(hi)};  // too long for 60 mm paper: broken at the TAB
    for (const auto& line : sumsOf(c.lo, c.hi).totalsLines()) body.push_back(squeezed(line));
    EXPECT_EQ(report(5, period(c.a, c.b)), framed({"ОТЧЕТ ЗА ПЕРИОД"}, body)) << c.a << ".." << c.b;
  }
  // No shift closing inside, before the archive, in the future.
  for (auto [a, b] : {std::pair<std::uint32_t, std::uint32_t>{closing1 + 1, closing2 - 1}, {0, start - 1},
                      {closing2 + 1, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}}) {
    EXPECT_EQ(printed(177, withOperator(reportBody(5, period(a, b)))), (std::pair<int, Lines>{17, {}}))
        << a << ".." << b;
  }
}

TEST_F(ReportsWorkerTest, CounterReports_PrintTheArchiveBlocksCountedFromTheDocuments) {
  makeArchive();
  const Sums open = sumsOf(3, 3), all = sumsOf(0, 3);
  const std::uint32_t opened = state_.shiftOpeningTime();
  Lines shift{"СМЕНА 3", "ОТКРЫТА " + timeText(opened), "ИТОГИ СМЕНЫ"};
  for (const auto& part : {open.headLines(), Lines{"НАЛ. В КАССЕ " + money(open.depositSum)}, open.kindLines(true)}) {
    shift.insert(shift.end(), part.begin(), part.end());
  }
  EXPECT_EQ(report(1), framed({"X-Отчет"}, shift));

  Lines period{"ИТОГО С ПОСЛЕДНЕЙ РЕГИСТРАЦИИ", "СМЕН 3"};
  for (const auto& part : {all.headLines(), all.kindLines(true)}) period.insert(period.end(), part.begin(), part.end());
  EXPECT_EQ(report(2), framed({}, period));

  Sums gross = all;
  gross.shifts = 3;  // the totals hold the current shift number
  EXPECT_EQ(report(3), framed({}, gross.totalsLines()));

  Lines sections = shift;
  sections.push_back("ИТОГИ ПО ОТДЕЛАМ");
  EXPECT_EQ(report(4), framed({"X-Отчет"}, sections));
  ASSERT_EQ(code(164, kAdministrator), 0);
  ASSERT_EQ(code(165, kopecks(1000)), 0);
  ASSERT_EQ(code(19, kAdministrator), 0);
  ASSERT_EQ(code(20), 0);
  const Lines closed = report(4);
  ASSERT_GT(closed.size(), 6u);
  EXPECT_EQ(closed[6], "ЗАКРЫТА " + timeText(state_.shiftClosingTime())) << "a closed shift shows its closing";
  EXPECT_EQ(printed(177, withOperator({1})), (std::pair<int, Lines>{27, {}})) << "no X-report of a closed shift";
}

// Each copy prints what the document printed when it was made, with the banner after its
// header: every kind, under the registration in force and under an earlier one, receipts with
// manual and programmed discounts among their lines.
TEST_F(ReportsWorkerTest, Copy_OfEveryTypeRepeatsTheOriginalPrintoutWithTheBanner) {
  std::map<std::uint32_t, Lines> originals;  // by document number
  // Opens a document, adds the items and finishes it; a receipt is paid its total in cash.
  const auto make = [&](std::uint8_t openCode, const bytes::Bytes& openData, const std::vector<TlvItem>& items,
                        bytes::Bytes finishing = {}) {
    const std::size_t before = paper().size();
    ASSERT_EQ(code(openCode, withOperator(openData)), 0);
    for (const TlvItem& item : items) ASSERT_EQ(code(7, item.encode()), 0);
    if (const auto* receipt = dynamic_cast<const ReceiptDoc*>(open_.document().get())) {
      finishing = receipt_testing::payment(receipt->total().rescaled(100).mantissa());
    }
    ASSERT_EQ(code(openCode + 1, finishing), 0);
    const Lines all = paper();
    Lines lines;
    for (std::size_t i = before; i < all.size(); ++i) lines.push_back(squeezed(all[i]));
    originals[state_.lastDocumentNumber()] = lines;
  };
  const auto line = [](std::uint64_t price, std::uint8_t section, std::uint8_t discount, std::uint64_t manual) {
    receipt_testing::Item item;
    item.price = price;
    item.section = section;
    item.discount = discount;
    item.manualDiscount = manual;
    return item.tlv();
  };
  // Manual discounts, the unnamed fixed discount 2 (printed as a manual one is) and no discount.
  const std::vector<TlvItem> discounted{line(4550, 1, 0, 550), line(8999, 2, 2, 0), line(6000, 2, 0, 0),
                                        line(9999, 1, 0, 999)};
  const auto shift = [&](std::initializer_list<std::uint8_t> kinds) {
    make(17, {}, {});
    make(162, {}, {}, kopecks(50000));
    for (const std::uint8_t kind : kinds) make(21, {kind}, discounted);
    make(164, {}, {}, kopecks(static_cast<std::int64_t>(state_.drawerCash())));
    make(19, {}, {});
  };
  make(8, {}, registrationItems("SHOP"), registrationNumbers());
  shift({0, 1});
  make(8, {}, registrationItems("SHOP2"), registrationNumbers());  // the documents before were made under the earlier one
  shift({2, 3});
  make(24, {}, {});

  for (const auto& [number, original] : originals) {
    auto [answer, copy] = printed(178, withOperator(u32Body(number)));
    EXPECT_EQ(answer, 0) << number;
    const auto banner = std::find(copy.begin(), copy.end(), "(КОПИЯ)");
    ASSERT_NE(banner, copy.end()) << number;
    copy.erase(banner);
    EXPECT_EQ(copy, original) << "document " << number << " of type " << int(descriptor(number).type());
  }
}

// A programmed discount is stored as its amount, without its number or name: its copy prints
// it as a manual discount is printed.
TEST_F(ReportsWorkerTest, Copy_ProgrammedDiscountPrintsAsAManualOne) {
  fiscalize();
  openShift();
  receipt_testing::Item item;
  item.price = 6000;
  item.discount = 1;  // "CLUB", 10 %
  ASSERT_EQ(code(21, withOperator({0})), 0);
  const std::size_t before = paper().size();
  ASSERT_EQ(code(7, item.tlv().encode()), 0);
  Lines original;
  for (std::size_t i = before; i < paper().size(); ++i) original.push_back(squeezed(paper()[i]));
  ASSERT_EQ(code(22, receipt_testing::payment(5400)), 0);
  const Lines copy = printed(178, withOperator(u32Body(state_.lastDocumentNumber()))).second;
  ASSERT_EQ(std::count(original.begin(), original.end(), "CLUB 6.00 C УЧЕТОМ СКИДКИ 54.00"), 1);
  for (std::string& text : original) {
    if (text.starts_with("CLUB ")) text.replace(0, 4, "СКИДКА");
  }
  const auto lines = std::search(copy.begin(), copy.end(), original.begin(), original.end());
  EXPECT_NE(lines, copy.end()) << "the item's lines in the copy";
}

TEST_F(ReportsWorkerTest, Copy_RefusesWhatItCannotCopy) {
  EXPECT_EQ(code(178, withOperator(u32Body(0))), 17) << "empty archive";
  EXPECT_EQ(code(178, withOperator(u32Body(1))), 17);
  makeArchive();
  const std::uint32_t last = state_.lastDocumentNumber();
  for (std::uint32_t number : {0u, last + 1, 0xFFFFFFFFu}) EXPECT_EQ(code(178, withOperator(u32Body(number))), 17);
  EXPECT_EQ(code(178, withOperator({1, 0, 0})), 22);
  EXPECT_EQ(code(178, withOperator({1, 0, 0, 0, 0})), 22);
  Cashier clerk{3, CashierRights::kReceipts, 1234, "CLERK"};
  ASSERT_TRUE(cashiers_.saveCashier(clerk));
  EXPECT_EQ(code(178, withOperator(u32Body(1), {3, 0xD2, 0x04, 0, 0})), 16);
  EXPECT_EQ(code(177, withOperator({1}, {3, 0xD2, 0x04, 0, 0})), 16);
  EXPECT_EQ(ReportsWorker(cashiers_, state_, nullptr, printer_).execute({178, 1, withOperator(u32Body(1))}).code(), 5)
      << "no archive";
  state_.setStatusFlag(FrStatus::kArchiveReady, false);
  EXPECT_EQ(code(178, withOperator(u32Body(1))), 5) << "an archive that failed its checks";
}

// Damaged index records and data: descriptors pointing outside the file or at another
// document's data, items running past their data, an unknown type. Copies and range reports
// over them answer 5.
TEST_F(ReportsWorkerTest, DamagedArchive_Answers5) {
  makeArchive();
  const std::uint32_t closing = find(DocumentType::kShiftClosing, 1);
  const std::string path = card::archivePath(*board_);
  const DocDescriptor good = descriptor(closing);
  const auto damage = [&](auto change) {
    DocDescriptor record = good;
    change(record);
    ASSERT_TRUE(archive_->writeSlot(archive_layout::kIndexOffset + 64ull * (closing - 1), record));
  };
  const auto expect5 = [&](const char* what) {
    EXPECT_EQ(code(178, withOperator(u32Body(closing))), 5) << what;
    EXPECT_EQ(code(177, withOperator(reportBody(6, shiftRange(1, 2)))), 5) << what;
  };
  damage([](DocDescriptor& d) { d.setDataOffset(std::uint64_t{1} << 40); });
  expect5("data past the end of the file");
  damage([&](DocDescriptor& d) { d.setDataLength(static_cast<std::uint16_t>(good.dataLength() - 1)); });
  expect5("last item running past the data");
  const DocDescriptor deposit = descriptor(find(DocumentType::kCashDeposit, 1));
  damage([&](DocDescriptor& d) {
    d.setDataOffset(deposit.dataOffset());
    d.setDataLength(deposit.dataLength());
  });
  expect5("the data of another document, its type byte not the descriptor's");
  for (const std::uint8_t type : {0, 8, 9, 255}) {
    damage([type](DocDescriptor& d) { d.setType(type); });
    const std::string what = "type " + std::to_string(type);
    expect5(what.c_str());
    EXPECT_EQ(code(177, withOperator(reportBody(5, period(0, 0xFFFFFFFF)))), 5) << what;
  }
  damage([](DocDescriptor& d) { d.setFiscalizationNumber(0xFFFF); });
  expect5("made under a fiscalization that is not there");
}

// Whatever follows the operator, the reports answer a code of their own and never crash.
TEST_F(ReportsWorkerTest, AnyBody_AnswersACode) {
  makeArchive();
  const std::set<int> codes{0, 5, 17, 22, 27, 30, 53, 54};
  std::mt19937 random(15);
  for (std::uint8_t command : {58, 177, 178}) {
    for (std::size_t length = 0; length <= 64; ++length) {
      bytes::Bytes body(length);
      for (auto& byte : body) byte = static_cast<std::uint8_t>(random());
      if (command == 177 && length > 0) body[0] = static_cast<std::uint8_t>(length % 8);
      const int answer = code(command, withOperator(body));
      EXPECT_EQ(codes.count(answer), 1u) << int(command) << " length " << length << " answered " << answer;
    }
  }
  EXPECT_EQ(code(177, withOperator({})), 22);
  EXPECT_EQ(code(177, withOperator({0})), 30);
  EXPECT_EQ(code(177, withOperator({7})), 30);
  EXPECT_EQ(code(177, withOperator({5, 1, 2, 3})), 22);
  EXPECT_EQ(code(177, withOperator({6, 1, 2, 3, 4, 5})), 22);
}

}  // namespace

namespace {

class ControlTapeTest : public ReportsWorkerTest {
 protected:
  // An open shift with receipts of every kind.
  void SetUp() override {
    fiscalize();
    openShift();
    cash(true, 100000);
    for (std::uint8_t i = 0; i < 6; ++i) receipt(i % 4, {1000u + 100u * i, 500});
  }

  std::vector<std::uint32_t> receiptNumbers() {
    std::vector<std::uint32_t> numbers;
    for (std::uint32_t n = state_.shiftOpeningNumber(); n <= state_.lastDocumentNumber(); ++n) {
      if (descriptor(n).type() == DocumentType::kReceipt) numbers.push_back(n);
    }
    return numbers;
  }

  // The lines a continuation prints before its receipts.
  static constexpr std::size_t kContinuationHead = 5;
};

// Paper out before a receipt: the reply names the last receipt printed whole, and the tape
// continued from the next number ends what the whole tape prints, nothing twice or skipped.
TEST_F(ControlTapeTest, StoppedByPaperOut_ContinuesWithoutRepeatOrGap) {
  const auto [wholeCode, whole] = printed(58, withOperator({}));
  ASSERT_EQ(wholeCode, 0);
  ASSERT_GE(whole.size(), 4u);
  EXPECT_EQ(whole[3], "КОНТРОЛЬНАЯ ЛЕНТА");
  EXPECT_EQ(whole[4], "СМЕНА 1");

  const std::vector<std::uint32_t> receipts = receiptNumbers();
  ASSERT_EQ(receipts.size(), 6u);
  const std::uint64_t stopAt = descriptor(receipts[3]).dataOffset();
  onRead_ = [&](std::uint64_t offset) {
    if (offset == stopAt) sim::writePrinterState(simulated_.printerStatePath(), sim::PrinterState::Out);
  };
  std::size_t before = paper().size();
  const CoreApiResult stopped = run(58, withOperator({}));
  onRead_ = nullptr;
  Lines first;
  for (std::size_t i = before; i < paper().size(); ++i) first.push_back(squeezed(paper()[i]));
  ASSERT_EQ(stopped.code(), 54);
  ASSERT_EQ(stopped.data(), u32Body(receipts[2]));

  EXPECT_EQ(code(58, withOperator(u32Body(receipts[2] + 1))), 54) << "still no paper";
  ASSERT_TRUE(sim::writePrinterState(simulated_.printerStatePath(), sim::PrinterState::Ok));
  const auto [continuedCode, continued] = printed(58, withOperator(u32Body(receipts[2] + 1)));
  ASSERT_EQ(continuedCode, 0);
  ASSERT_GT(continued.size(), kContinuationHead);
  EXPECT_EQ(Lines(continued.begin(), continued.begin() + kContinuationHead),
            (Lines{"SHOP", "PLACE", "ADDR", "КОНТРОЛЬНАЯ ЛЕНТА", "(ПРОДОЛЖЕНИЕ)"}));
  Lines joined = first;
  joined.insert(joined.end(), continued.begin() + kContinuationHead, continued.end());
  EXPECT_EQ(joined, whole);
}

TEST_F(ControlTapeTest, DamagedReceiptOrBadStart_AnswersItsCode) {
  const std::vector<std::uint32_t> receipts = receiptNumbers();
  const DocDescriptor sound = descriptor(receipts[1]);
  DocDescriptor damaged = sound;
  damaged.setDataLength(static_cast<std::uint16_t>(damaged.dataLength() - 1));
  ASSERT_TRUE(archive_->writeSlot(archive_layout::kIndexOffset + 64ull * (receipts[1] - 1), damaged));
  const CoreApiResult stopped = run(58, withOperator({}));
  EXPECT_EQ(stopped.code(), 5);
  EXPECT_EQ(stopped.data(), u32Body(receipts[0]));
  // A record of no document type where a receipt stood is not skipped.
  damaged = sound;
  damaged.setType(9);
  ASSERT_TRUE(archive_->writeSlot(archive_layout::kIndexOffset + 64ull * (receipts[1] - 1), damaged));
  const CoreApiResult unknown = run(58, withOperator({}));
  EXPECT_EQ(unknown.code(), 5);
  EXPECT_EQ(unknown.data(), u32Body(receipts[0]));

  EXPECT_EQ(printed(58, withOperator(u32Body(state_.lastDocumentNumber() + 1))), (std::pair<int, Lines>{17, {}}));
  Cashier clerk{3, CashierRights::kReceipts | CashierRights::kReports, 1234, "CLERK"};
  ASSERT_TRUE(cashiers_.saveCashier(clerk));
  EXPECT_EQ(code(58, withOperator({}, {3, 0xD2, 0x04, 0, 0})), 16) << "the tape also needs the returns right";
  closeShift();
  EXPECT_EQ(code(58, withOperator({})), 27);
}

// The section report of the shift: each section's sum per kind, counted from the receipts.
TEST_F(ControlTapeTest, SectionReport_SumsEachSectionFromTheReceipts) {
  std::map<unsigned, std::array<std::int64_t, 4>> bySection;
  for (std::uint32_t number : receiptNumbers()) {
    std::shared_ptr<BaseWorkDocument> document;
    ASSERT_EQ(archive_->loadDocument(number, document), 0);
    const auto& receipt = dynamic_cast<const ReceiptDoc&>(*document);
    for (const ReceiptOperation& operation : receipt.operations()) {
      bySection[operation.section->number][receipt.kind()] += operation.total().rescaled(100).mantissa();
    }
  }
  const Lines lines = report(4);
  const auto title = std::find(lines.begin(), lines.end(), "ИТОГИ ПО ОТДЕЛАМ");
  ASSERT_NE(title, lines.end());
  Lines expected;
  for (const auto& [section, sums] : bySection) {
    expected.push_back("ОТДЕЛ " + std::to_string(section) + (section == 1 ? " ХЛЕБ" : ""));
    const char* const kinds[] = {"ПРОДАЖ НА ", "ПОКУПОК НА ", "ВОЗВРАТОВ ПРОДАЖ НА ", "ВОЗВРАТОВ ПОКУПОК НА "};
    for (std::size_t kind = 0; kind < 4; ++kind) expected.push_back(kinds[kind] + money(sums[kind]));
  }
  EXPECT_EQ(Lines(title + 1, title + 1 + static_cast<std::ptrdiff_t>(expected.size())), expected);
  EXPECT_EQ(bySection.size(), 2u);
}

}  // namespace

namespace {

// A receipt's copy prints its header, the banner, its item lines and its footer, each as the
// receipt printed them; its totals and payments are the control tape's.
TEST_F(ControlTapeTest, ReceiptCopy_RepeatsHeaderItemsAndFooter) {
  const std::size_t before = paper().size();
  receipt(0, {4550, 6000});
  Lines original;
  for (std::size_t i = before; i < paper().size(); ++i) original.push_back(squeezed(paper()[i]));
  auto [answer, copy] = printed(178, withOperator(u32Body(state_.lastDocumentNumber())));
  ASSERT_EQ(answer, 0);
  const auto banner = std::find(copy.begin(), copy.end(), "(КОПИЯ)");
  ASSERT_NE(banner, copy.end());
  copy.erase(banner);
  // In order, every copied line is one the receipt printed.
  auto next = original.begin();
  for (const std::string& line : copy) {
    next = std::find(next, original.end(), line);
    ASSERT_NE(next, original.end()) << line;
    ++next;
  }
  for (const char* line : {"ХЛЕБ", "BREAD 45.50 x 1 = 45.50", "BREAD 60.00 x 1 = 60.00"}) {
    EXPECT_NE(std::find(copy.begin(), copy.end(), line), copy.end()) << line;
  }
  EXPECT_TRUE(std::any_of(copy.begin(), copy.end(), [](const std::string& l) { return l.starts_with("ФП "); }));
}

}  // namespace
