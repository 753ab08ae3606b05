#include "storage/counter_reports.h"

#include <gtest/gtest.h>

#include <string_view>
#include <variant>
#include <vector>

#include "printer/printer_settings.h"
#include "reference/tax_rate.h"
#include "tools/sim/escpos_interpreter.h"
#include "values/cp866.h"

namespace {

// The lines the printer puts on paper, in UTF-8. Every line of these reports is in the
// small font (font field 1) and not bold; on 60 mm paper the layout centres with spaces.
std::vector<std::string> paperLines(std::string_view rendered) {
  const sim::PrintedPaper paper = sim::decodePaper(bytes::view(rendered));
  for (const sim::PaperItem& item : paper.items) {
    const auto* line = std::get_if<sim::PrintedLine>(&item);
    if (line == nullptr) {
      ADD_FAILURE() << "a report is never cut";
    } else {
      EXPECT_TRUE(line->smallFont && !line->bold && !line->doubleSize) << line->text;
    }
  }
  return paper.texts();
}

class CounterReports : public testing::Test {
 protected:
  void SetUp() override { printerSettings().setPaperWidth(60); }
};

CounterSet shiftCounters() {
  CounterSet block;
  block.shiftNumber = 12;
  block.deposits = 2;
  block.depositSum = 150000;
  block.payouts = 1;
  block.payoutSum = 2050;
  block.receipts = 3;
  block.drawerCash = 123456;
  OperationCounters& sales = block.byKind[0];
  sales.receipts = 2;
  sales.total = 30000;
  sales.cash = 20000;
  sales.electronic = 10000;
  sales.taxSums = {5000, 0, -100, 0, 1000};
  OperationCounters& saleReturns = block.byKind[2];
  saleReturns.receipts = 1;
  saleReturns.total = 500;
  saleReturns.cash = 500;
  return block;
}

// Tax index 1 is registered by name; index 5 has no valid rate.
RegData registrationWithOneRate() {
  TaxRate vat;
  vat.setKind(1);
  vat.setPercentage(2000);
  vat.setName("НДС 20%"_cp866);
  RegData registration;
  registration.setTaxRateSlot(0, vat.bytes());
  return registration;
}

TEST_F(CounterReports, ShiftReport_KindsPaymentsAndPositiveTaxSumsOnly) {
  const CounterSet block = shiftCounters();
  EXPECT_EQ(paperLines(counterReport(true, &block, registrationWithOneRate())),
            (std::vector<std::string>{
                "                ИТОГИ СМЕНЫ",
                "ВНЕСЕНИЙ 2                        НА 1500.00",
                "ВЫПЛАТ 1                            НА 20.50",
                "ВСЕГО ЧЕКОВ                                3",
                "НАЛ. В КАССЕ                         1234.56",
                "ПРОДАЖ 2                           НА 300.00",
                "НАЛИЧНЫМИ                             200.00",
                "БЕЗНАЛИЧНЫМИ                          100.00",
                "НДС 20%                                50.00",
                "НАЛОГ 5                                10.00",
                "ПОКУПОК 0                            НА 0.00",
                "ВОЗВРАТОВ ПРОДАЖ 1                   НА 5.00",
                "НАЛИЧНЫМИ                               5.00",
                "БЕЗНАЛИЧНЫМИ                            0.00",
                "ВОЗВРАТОВ ПОКУПОК 0                  НА 0.00",
            }));
}

TEST_F(CounterReports, PeriodReport_ShiftsInsteadOfDrawerCash) {
  const CounterSet block = shiftCounters();
  const std::vector<std::string> lines = paperLines(counterReport(false, &block, RegData()));
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0], "       ИТОГО С ПОСЛЕДНЕЙ РЕГИСТРАЦИИ");
  EXPECT_EQ(lines[1], "СМЕН                                      12");
  EXPECT_EQ(lines[4], "ВСЕГО ЧЕКОВ                                3");
  EXPECT_EQ(lines[8], "НАЛОГ 1                                50.00") << "no valid rate registered";
}

TEST_F(CounterReports, CounterReport_NoBlockPrintsNothing) {
  EXPECT_EQ(counterReport(true, nullptr, RegData()), "");
}

TEST_F(CounterReports, TotalsReport_NoDrawerCashNoTaxes) {
  TotalCounters block;
  block.shiftNumber = 7;
  block.receipts = 65536;
  block.byKind[0].receipts = 65536;
  block.byKind[0].total = 1234567890;
  block.byKind[0].cash = 1234567890;
  block.byKind[3].total = -100;
  EXPECT_EQ(paperLines(totalsReport(block)), (std::vector<std::string>{
                                                 "                ГРОСС ИТОГИ",
                                                 "СМЕН                                       7",
                                                 "ВНЕСЕНИЙ 0                           НА 0.00",
                                                 "ВЫПЛАТ 0                             НА 0.00",
                                                 "ВСЕГО ЧЕКОВ                            65536",
                                                 "ПРОДАЖ 65536                  НА 12345678.90",
                                                 "НАЛИЧНЫМИ                        12345678.90",
                                                 "БЕЗНАЛИЧНЫМИ                            0.00",
                                                 "ПОКУПОК 0                            НА 0.00",
                                                 "ВОЗВРАТОВ ПРОДАЖ 0                   НА 0.00",
                                                 "ВОЗВРАТОВ ПОКУПОК 0                 НА -1.00",
                                             }));
}

TEST_F(CounterReports, SectionReport_OnlySectionsWithSums) {
  std::array<SectionSums, kReceiptKinds> sums{};
  sums[0].bySection[2] = 12000;
  sums[2].bySection[19] = -1;
  const SectionNames names = [](unsigned section) { return section == 3 ? std::string("МОЛОКО"_cp866) : ""; };
  EXPECT_EQ(paperLines(sectionReport(sums, names)), (std::vector<std::string>{
                                                        "              ИТОГИ ПО ОТДЕЛАМ",
                                                        "ОТДЕЛ 3                               МОЛОКО",
                                                        "ПРОДАЖ НА                             120.00",
                                                        "ПОКУПОК НА                              0.00",
                                                        "ВОЗВРАТОВ ПРОДАЖ НА                     0.00",
                                                        "ВОЗВРАТОВ ПОКУПОК НА                    0.00",
                                                        "ОТДЕЛ 20                                    ",
                                                        "ПРОДАЖ НА                               0.00",
                                                        "ПОКУПОК НА                              0.00",
                                                        "ВОЗВРАТОВ ПРОДАЖ НА                    -0.01",
                                                        "ВОЗВРАТОВ ПОКУПОК НА                    0.00",
                                                    }));
  EXPECT_EQ(paperLines(sectionReport({}, names)), std::vector<std::string>{"              ИТОГИ ПО ОТДЕЛАМ"});
}

}  // namespace
