#include "printer/print_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printer/escpos.h"
#include "printer/printer_settings.h"
#include "values/cp866.h"

namespace {

constexpr std::size_t kPrefixSize = 12;

PrintStyle style(std::uint8_t attributes, unsigned font, unsigned paperWidth, unsigned lineSpacing = 0) {
  return PrintStyle(attributes, font, lineSpacing).withPaperWidth(paperWidth);
}

// ESC a, ESC 3, ESC ! and GS B with their values.
std::string prefix(char alignment, char spacing, char mode, char reverse) {
  return {'\x1B', 'a', alignment, '\x1B', '3', spacing, '\x1B', '!', mode, '\x1D', 'B', reverse};
}

// The rendered lines of a block without its style prefix.
std::string body(const PrintBlock& block, bool withCut = false) { return render(block, withCut).substr(kPrefixSize); }

std::string spaces(std::size_t count) { return std::string(count, ' '); }

std::string utf8(const std::string& text) { return cp866::toUtf8(text); }

TEST(PrintStyle, Fields_LandInTheirBitsAndAreCutToThem) {
  EXPECT_EQ(style(0x4C, 3, 80, 7).word(), 0x4C03E050u);

  const PrintStyle oversized = style(0x01, 7, 0xFFFF, 0x3F);
  EXPECT_EQ(oversized.paperWidth(), 0x1FFFu);
  EXPECT_EQ(oversized.fontField(), 3u);
  EXPECT_EQ(oversized.lineSpacingField(), 0x1Fu);
  EXPECT_EQ(oversized.attributes(), 0x01);
}

TEST(PrintStyle, PaperWidthAbove127_IsCopiedWithoutTouchingOtherFields) {
  printerSettings().setPaperWidth(200);
  const PrintStyle copied(0x04, 1, 2);
  printerSettings().setPaperWidth(kDefaultPaperWidth);

  EXPECT_EQ(copied.word(), 0x04000000u | (2u << 15) | (1u << 13) | 200u);
}

TEST(CharsPerLine, DependsOnPaperFontAndDoubleSize) {
  struct Case {
    unsigned paperWidth;
    unsigned font;
    std::uint8_t attributes;
    unsigned expected;
  };
  const std::vector<Case> cases = {
      {60, 1, 0x01, 44}, {60, 2, 0x01, 34}, {60, 3, 0x41, 17}, {60, 0, 0x41, 22}, {0, 1, 0x01, 44},
      {61, 1, 0x01, 64}, {80, 3, 0x01, 48}, {80, 2, 0x41, 24}, {80, 1, 0x41, 32}, {8191, 0, 0x01, 64},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(charsPerLine(style(c.attributes, c.font, c.paperWidth)), c.expected)
        << c.paperWidth << " mm, font " << c.font << ", attributes " << int{c.attributes};
  }
}

TEST(RenderPrefix, LineSpacingField_DropsItsLowestBit) {
  for (unsigned field = 0; field < 32; ++field) {
    const unsigned expected = field < 2 ? 1 : field < 4 ? 71 : field < 6 ? 141 : 255;
    EXPECT_EQ(static_cast<unsigned char>(render(PrintBlock(style(0x01, 1, 60, field)), false)[5]), expected)
        << "field " << field;
  }
}

TEST(RenderPrefix, Alignment_LeftOnNarrowPaperAndRightBeforeCentringOnWide) {
  EXPECT_EQ(render(PrintBlock(style(0x06, 1, 60)), false), prefix(0, 1, 1, 0));
  EXPECT_EQ(render(PrintBlock(style(0x06, 1, 80)), false), prefix(2, 1, 1, 0));
  EXPECT_EQ(render(PrintBlock(style(0x04, 1, 80)), false), prefix(1, 1, 1, 0));
  EXPECT_EQ(render(PrintBlock(style(0x01, 1, 80)), false), prefix(0, 1, 1, 0));
}

TEST(RenderPrefix, PrintModeAndReverse_FollowTheAttributes) {
  EXPECT_EQ(render(PrintBlock(style(0x4C, 3, 80, 3)), false), prefix(1, 71, 0x38, 0));
  EXPECT_EQ(render(PrintBlock(style(0x48, 1, 60)), false), prefix(0, 1, 0x39, 0));
  // The carried bit is not printed; reverse is.
  EXPECT_EQ(render(PrintBlock(style(0x31, 2, 60)), false), prefix(0, 1, 0x00, 1));
}

TEST(PrintBlock, AddText_MakesOneLinePerLineFeedPlusTheRest) {
  EXPECT_EQ(PrintBlock(style(0x01, 1, 60), "a\nb").lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(PrintBlock(style(0x01, 1, 60), "a\n").lines(), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(PrintBlock(style(0x01, 1, 60), "").lines(), (std::vector<std::string>{""}));

  PrintBlock block(style(0x01, 1, 60));
  EXPECT_TRUE(block.lines().empty());
  block.addText("\nx");
  block.addText("y");
  EXPECT_EQ(block.lines(), (std::vector<std::string>{"", "x", "y"}));
}

TEST(Render, Lines_EndInLineFeedsAndTheCutComesLast) {
  const PrintBlock block(style(0x01, 1, 60), "one\n\ntwo");
  EXPECT_EQ(render(block, false), prefix(0, 1, 1, 0) + "one\n\ntwo\n");
  EXPECT_EQ(render(block, true), prefix(0, 1, 1, 0) + "one\n\ntwo\n" + std::string(escpos::kFeedAndCut));
}

// 53 characters; its spaces lie at 5, 11, ..., 41, 47.
const std::string kWords = "alpha bravo charl delta echoo foxtr golfs hotel india";

TEST(Wrap, NarrowPaper_BreaksAtTheLastSpaceThatFits) {
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), kWords)), "alpha bravo charl delta echoo foxtr golfs\nhotel india\n");
}

TEST(Wrap, NarrowPaper_AlignsEveryPieceOfABrokenLine) {
  EXPECT_EQ(body(PrintBlock(style(0x04, 1, 60), kWords)),
            spaces(1) + "alpha bravo charl delta echoo foxtr golfs\n" + spaces(16) + "hotel india\n");
  EXPECT_EQ(body(PrintBlock(style(0x02, 1, 60), kWords)),
            spaces(3) + "alpha bravo charl delta echoo foxtr golfs\n" + spaces(33) + "hotel india\n");
}

TEST(Wrap, NarrowPaper_CutsAWordLongerThanTheLine) {
  const std::string word(50, 'x');
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), word)), std::string(44, 'x') + "\n" + std::string(6, 'x') + "\n");
  // The first space lies beyond the line, so the word is cut and the rest wrapped anew.
  EXPECT_EQ(body(PrintBlock(style(0x02, 1, 60), word + " yy")),
            std::string(44, 'x') + "\n" + spaces(35) + "xxxxxx yy\n");
  // A long word after a short one moves to the next line whole, then is cut.
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), "ab " + word)),
            "ab\n" + std::string(44, 'x') + "\n" + std::string(6, 'x') + "\n");
}

TEST(Wrap, NarrowPaper_DoubleSizeCyrillicCentredOnSeventeenColumns) {
  const PrintBlock block(style(0x4C, 3, 60), "ДВОЙНОЙ РАЗМЕР ТЕКСТА"_cp866);
  EXPECT_EQ(render(block, false), prefix(0, 1, 0x38, 0) + " " + std::string("ДВОЙНОЙ РАЗМЕР\n"_cp866) +
                                      spaces(5) + std::string("ТЕКСТА\n"_cp866));
}

TEST(Wrap, WidePaper_LeavesLongLinesToThePrinter) {
  const std::string line = kWords + " " + kWords;  // 107 characters
  EXPECT_EQ(body(PrintBlock(style(0x04, 1, 80), line)), line + "\n");
}

TEST(Wrap, NarrowPaper_LongLineWithTab_PutsLabelAndValueOnTwoLines) {
  const std::string label(30, 'a');
  const std::string value = "12 345.00 x 1 = 12 345.00";
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), label + "\t" + value)), label + "\n" + value + "\n");
  // Further TABs break again while the rest does not fit; a rest that fits is justified.
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), label + "\t" + label + "\t" + label)),
            label + "\n" + label + "\n" + label + "\n");
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), label + "\t" + label + "\tA\tB")),
            label + "\n" + label + spaces(11) + "A B\n");
}

TEST(Wrap, ManyTabs_AreHandledWithoutDeepRecursion) {
  const std::string rendered = body(PrintBlock(style(0x01, 1, 60), std::string(200000, '\t')));
  // Every TAB breaks the line until 44 remain, which justify to one line of spaces.
  EXPECT_EQ(rendered, std::string(200000 - 44, '\n') + spaces(44) + "\n");
}

TEST(Align, Tab_JustifiesTheValueToTheRightEdge) {
  // Large font on 60 mm paper: 34 columns.
  EXPECT_EQ(utf8(body(PrintBlock(style(0x01, 3, 60), "ИТОГО\t12.00"_cp866))), "ИТОГО" + spaces(24) + "12.00\n");
  // Small font on 80 mm paper: 64 columns, whatever the alignment.
  EXPECT_EQ(utf8(body(PrintBlock(style(0x04, 1, 80), "ИТОГО\t12.00"_cp866))), "ИТОГО" + spaces(54) + "12.00\n");
  // Further TABs become single spaces.
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), "A\tB\tC")), "A" + spaces(40) + "B C\n");
}

TEST(Align, TabInALineOfExactlyTheWidth_BecomesOneSpace) {
  const std::string left(20, 'l');
  const std::string right(23, 'r');
  EXPECT_EQ(body(PrintBlock(style(0x01, 1, 60), left + "\t" + right)), left + " " + right + "\n");
}

TEST(Align, NarrowPaper_CentresWithSpacesAndWidePaperLeavesItToThePrinter) {
  EXPECT_EQ(body(PrintBlock(style(0x04, 1, 60), "0123456789")), spaces(17) + "0123456789\n");
  EXPECT_EQ(body(PrintBlock(style(0x04, 1, 60), "012345678")), spaces(17) + "012345678\n");
  EXPECT_EQ(body(PrintBlock(style(0x02, 1, 60), "0123456789")), spaces(34) + "0123456789\n");
  // Centring wins over right alignment when both are set.
  EXPECT_EQ(body(PrintBlock(style(0x06, 1, 60), "0123456789")), spaces(17) + "0123456789\n");

  EXPECT_EQ(render(PrintBlock(style(0x04, 1, 80), "0123456789"), false), prefix(1, 1, 1, 0) + "0123456789\n");
}

}  // namespace
