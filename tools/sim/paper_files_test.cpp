#include "tools/sim/paper_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;
using sim::Alignment;
using sim::PaperCut;
using sim::PrintedLine;

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PaperTextLine, AlignedLines_ArePaddedWithinTheLineWidthOfTheirFont) {
  const PrintedLine centred{.text = "ЗН 123", .alignment = Alignment::Centred};
  EXPECT_EQ(sim::paperTextLine(centred, 80), std::string(21, ' ') + "ЗН 123");  // (48 - 6) / 2
  EXPECT_EQ(sim::paperTextLine(centred, 60), std::string(14, ' ') + "ЗН 123");  // (34 - 6) / 2

  PrintedLine right{.text = "12.00", .alignment = Alignment::Right, .smallFont = true};
  EXPECT_EQ(sim::paperTextLine(right, 80), std::string(59, ' ') + "12.00");

  PrintedLine doubleSize = centred;
  doubleSize.doubleSize = true;
  EXPECT_EQ(sim::paperTextLine(doubleSize, 80), std::string(9, ' ') + "ЗН 123");  // (24 - 6) / 2
}

TEST(PaperTextLine, LeftLongEmptyAndCut_AreNotPadded) {
  EXPECT_EQ(sim::paperTextLine(PrintedLine{.text = "  left"}, 80), "  left");
  const std::string full(48, 'x');
  EXPECT_EQ(sim::paperTextLine(PrintedLine{.text = full, .alignment = Alignment::Right}, 80), full);
  EXPECT_EQ(sim::paperTextLine(PaperCut{}, 80), sim::kCutMark);
  EXPECT_EQ(sim::paperTextLine(PrintedLine{.alignment = Alignment::Centred}, 80), "");
}

TEST(PaperHtml, Roll_HasItsWidthModesEscapedTextAndTearLines) {
  const sim::PrintedPaper paper{{PrintedLine{.text = "<a&b>", .alignment = Alignment::Centred, .bold = true},
                                 PrintedLine{.text = "", .doubleSize = true, .reverse = true, .lineSpacing = 255},
                                 PaperCut{}}};
  const std::string wide = sim::paperHtml(paper, 80);
  EXPECT_NE(wide.find("width: 48ch"), std::string::npos);
  EXPECT_NE(wide.find("<div class=\"line centred bold\" style=\"min-height: 30px\"><span>&lt;a&amp;b&gt;</span></div>"),
            std::string::npos);
  EXPECT_NE(wide.find("<div class=\"line double reverse\" style=\"min-height: 255px\"><br></div>"),
            std::string::npos);
  EXPECT_NE(wide.find("class=\"cut\""), std::string::npos);
  EXPECT_EQ(wide.find("<a&b>"), std::string::npos);
  EXPECT_NE(sim::paperHtml(paper, 60).find("width: 34ch"), std::string::npos);
}

// Counts what the paper files are given, as the files would receive it.
struct CountingOutput final : sim::PaperOutput {
  struct Counts {
    std::size_t calls = 0;
    std::size_t bytes = 0;
  };
  void appendText(std::string_view bytes) override { add(bytes); }
  void appendHtml(std::string_view bytes) override { add(bytes); }
  void add(std::string_view bytes) {
    ++counts->calls;
    counts->bytes += bytes.size();
  }
  std::shared_ptr<Counts> counts = std::make_shared<Counts>();
};

TEST(PaperFiles, Updates_AppendNewItemsToBothFilesAndANewRollWhenTheWidthChanges) {
  platform::TemporaryDirectory directory;
  const fs::path widthFile = directory.path() / "PRINTER_SETTINGS";
  std::ofstream(widthFile, std::ios::binary) << '\x50';  // 80 mm
  sim::PaperFiles files(sim::paperFilesIn(directory.path()), widthFile);
  EXPECT_EQ(fileText(directory.path() / "paper.html"), sim::paperHtml({}, 80));

  sim::PrintedPaper paper{{PrintedLine{.text = "first", .alignment = Alignment::Right}}};
  files.update(paper);
  EXPECT_EQ(fileText(directory.path() / "paper.txt"), std::string(43, ' ') + "first\n");

  paper.items.emplace_back(std::in_place_type<PaperCut>);
  paper.items.push_back(PrintedLine{.text = "second"});
  files.update(paper);
  EXPECT_EQ(fileText(directory.path() / "paper.txt"),
            std::string(43, ' ') + "first\n" + std::string(sim::kCutMark) + "\nsecond\n");
  EXPECT_EQ(fileText(directory.path() / "paper.html"), sim::paperHtml(paper, 80));

  std::ofstream(widthFile, std::ios::binary) << '\x3C';  // 60 mm from here on
  paper.items.push_back(PrintedLine{.text = "third"});
  files.update(paper);
  const std::string html = fileText(directory.path() / "paper.html");
  EXPECT_TRUE(html.starts_with(sim::paperHtml({{paper.items.begin(), paper.items.end() - 1}}, 80)));
  EXPECT_TRUE(html.ends_with("</div>\n<div class=\"roll\" style=\"width: 34ch\">\n"
                             "<div class=\"line\" style=\"min-height: 30px\"><span>third</span></div>\n"));
}

TEST(PaperFiles, PrintCost_DoesNotGrowWithTheLengthOfTheRoll) {
  CountingOutput* output = new CountingOutput;
  const auto counts = output->counts;
  sim::PaperFiles files(std::unique_ptr<sim::PaperOutput>(output), "no-width-file");
  sim::PrintedPaper paper;
  const auto printReceipt = [&] {
    const CountingOutput::Counts before = *counts;
    for (int line = 0; line < 20; ++line) paper.items.push_back(PrintedLine{.text = "ХЛЕБ 45.50"});
    paper.items.emplace_back(std::in_place_type<PaperCut>);
    files.update(paper);
    return CountingOutput::Counts{counts->calls - before.calls, counts->bytes - before.bytes};
  };

  const CountingOutput::Counts second = (printReceipt(), printReceipt());
  for (int receipt = 0; receipt < 2000; ++receipt) printReceipt();
  const CountingOutput::Counts late = printReceipt();
  EXPECT_EQ(late.calls, second.calls);
  EXPECT_EQ(late.bytes, second.bytes);
  EXPECT_EQ(late.calls, 2u) << "one append to each file";
}

}  // namespace
