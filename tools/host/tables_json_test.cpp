#include "tools/host/tables_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "values/cp866.h"

namespace {

using json = nlohmann::ordered_json;

TEST(TablesJson, TablesRoundTripThroughTheFileForm) {
  host::Tables tables;
  tables.cashiers = {{3, CashierRights::kReceipts | CashierRights::kReports, -2, std::string("Иванова"_cp866)},
                     {20, CashierRights::kAdministrator, 30, std::string(Cashier::kDefaultAdministratorName)}};
  tables.sections = {{1, std::string("ХЛЕБ"_cp866)}, {2, ""}};
  tables.discounts = {{1, Discount::kPercentage, 750, "SENIOR"}, {2, Discount::kAmount, 500, ""},
                      {3, Discount::kNotSet, 0, "OLD"}};
  const std::string text = host::tablesToJson(tables);
  const json file = json::parse(text);
  EXPECT_EQ(file["cashiers"][0], json::parse(R"({"number":3,"name":"Иванова","rights":3,"password":4294967294})"));
  EXPECT_EQ(file["discounts"][0], json::parse(R"({"number":1,"name":"SENIOR","percent":"7.50"})"));
  EXPECT_EQ(file["discounts"][1], json::parse(R"({"number":2,"name":"","amount":"5.00"})"));
  EXPECT_EQ(file["discounts"][2], json::parse(R"({"number":3,"name":"OLD"})"));

  std::string problem;
  const auto back = host::tablesFromJson(text, problem);
  ASSERT_TRUE(back.has_value()) << problem;
  EXPECT_EQ(back->cashiers, tables.cashiers);
  EXPECT_EQ(back->sections, tables.sections);
  EXPECT_EQ(back->discounts, tables.discounts);
}

TEST(TablesJson, FilesThatAreNotTablesAreRefusedWithAReason) {
  const char* bad[] = {
      R"({"sections": [)",
      R"([])",
      R"({"cashier": []})",
      R"({"cashiers": {}})",
      R"({"cashiers": [{"name": "X"}]})",
      R"({"cashiers": [{"number": 21}]})",
      R"({"cashiers": [{"number": 2}, {"number": 2}]})",
      R"({"cashiers": [{"number": 2, "rights": 65536}]})",
      R"({"cashiers": [{"number": 2, "password": "30"}]})",
      R"({"cashiers": [{"number": 2, "pin": 30}]})",
      R"({"sections": [{"number": 1, "name": 5}]})",
      R"({"discounts": [{"number": 1, "percent": 10}]})",
      R"({"discounts": [{"number": 1, "percent": "10.001"}]})",
      R"({"discounts": [{"number": 1, "percent": "1", "amount": "1"}]})",
  };
  for (const char* text : bad) {
    std::string problem;
    EXPECT_FALSE(host::tablesFromJson(text, problem).has_value()) << text;
    EXPECT_FALSE(problem.empty()) << text;
  }
  std::string problem;
  const json longName = {{"sections", {{{"number", 1}, {"name", std::string(127, 'N')}}}}};
  EXPECT_FALSE(host::tablesFromJson(longName.dump(), problem).has_value()) << "126 bytes at most";
  const auto partial = host::tablesFromJson(R"({"sections": [{"number": 4}]})", problem);
  ASSERT_TRUE(partial.has_value());
  EXPECT_TRUE(partial->cashiers.empty());
  EXPECT_EQ(partial->sections, (std::vector<Section>{{4, ""}}));
}

// One record as an entry of the file, as the gateway reads and writes records: the same record
// back, and problems that say which kind of record is at fault.
TEST(TablesJson, SingleEntries_RoundTripAndNameTheRecordInProblems) {
  const Cashier cashier{7, CashierRights::kReports, -1, std::string("Пётр"_cp866)};
  const Section section{5, std::string("МОЛОКО"_cp866)};
  const Discount discount{3, Discount::kAmount, 1250, "COUPON"};
  std::string problem;
  Cashier cashierBack;
  Section sectionBack;
  Discount discountBack;
  ASSERT_TRUE(host::recordFromJson(host::recordToJson(cashier), cashierBack, problem)) << problem;
  ASSERT_TRUE(host::recordFromJson(host::recordToJson(section), sectionBack, problem)) << problem;
  ASSERT_TRUE(host::recordFromJson(host::recordToJson(discount), discountBack, problem)) << problem;
  EXPECT_EQ(cashierBack, cashier);
  EXPECT_EQ(sectionBack, section);
  EXPECT_EQ(discountBack, discount);

  EXPECT_FALSE(host::recordFromJson(json::parse(R"({"name": "X"})"), cashierBack, problem));
  EXPECT_EQ(problem, "the cashier: \"number\" must be 1 to 20");
  EXPECT_FALSE(host::recordFromJson(json::parse(R"({"number": 1, "colour": 1})"), sectionBack, problem));
  EXPECT_EQ(problem, "the section: unknown key \"colour\"");
  EXPECT_FALSE(host::recordFromJson(json::parse(R"({"number": 1, "percent": "1", "amount": "1"})"), discountBack,
                                    problem));
  EXPECT_EQ(problem, "the discount: a percent or an amount, not both");
}

}  // namespace
