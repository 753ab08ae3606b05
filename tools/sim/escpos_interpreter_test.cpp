#include "tools/sim/escpos_interpreter.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "printer/escpos.h"
#include "printer/print_layout.h"
#include "values/cp866.h"

namespace {

using bytes::Bytes;
using sim::Alignment;
using sim::PaperCut;
using sim::PrintedLine;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// The bytes of a literal that may hold zero bytes (without the terminating one).
template <std::size_t N>
Bytes literal(const char (&text)[N]) {
  return bytesOf(std::string_view(text, N - 1));
}

// What the register sends to print `block`: reset, setup and code page, then the rendered block.
std::string printed(const PrintBlock& block, bool withCut) {
  return std::string(escpos::kReset) + std::string(escpos::kSetup1) + std::string(escpos::kSetup2) +
         std::string(escpos::kCodePage) + render(block, withCut);
}

PrintBlock receiptTotal() {
  const PrintStyle style = PrintStyle(PrintStyle::kCentred | PrintStyle::kBold | PrintStyle::kDoubleSize, 3, 4)
                               .withPaperWidth(80);
  return PrintBlock(style, "ИТОГО\n=12.00"_cp866);
}

TEST(EscPosInterpreter, RenderedBlockWithCut_GivesItsLinesInTheirModeThenTheFeedAndOneCut) {
  sim::EscPosInterpreter printer;
  EXPECT_TRUE(printer.feed(bytesOf(printed(receiptTotal(), true))).empty());

  const PrintedLine total{.text = "ИТОГО", .alignment = Alignment::Centred, .bold = true, .doubleSize = true,
                          .lineSpacing = 141};
  PrintedLine sum = total;
  sum.text = "=12.00";
  PrintedLine feed = total;
  feed.text = "";
  feed.lineSpacing = 255;
  const std::vector<sim::PaperItem> expected{total, sum, feed, PaperCut{}};
  EXPECT_EQ(printer.paper().items, expected);
}

TEST(EscPosInterpreter, SmallFontReverseAndRightAlignment_AreKeptPerLine) {
  const PrintStyle style = PrintStyle(PrintStyle::kRight | PrintStyle::kReverse, 1).withPaperWidth(80);
  sim::EscPosInterpreter printer;
  printer.feed(bytesOf(printed(PrintBlock(style, "a"), false)));
  printer.feed(bytesOf(render(PrintBlock(PrintStyle(PrintStyle::kLeft, 2).withPaperWidth(80), "b"), false)));

  const std::vector<sim::PaperItem> expected{
      PrintedLine{.text = "a", .alignment = Alignment::Right, .reverse = true, .smallFont = true, .lineSpacing = 1},
      PrintedLine{.text = "b", .lineSpacing = 1}};
  EXPECT_EQ(printer.paper().items, expected);
}

TEST(EscPosInterpreter, StreamSplitAtEveryPosition_PrintsAndAnswersAsWhole) {
  Bytes stream = bytesOf(printed(receiptTotal(), true) + std::string(escpos::kPaperStatusQuery));
  const Bytes counted = literal("\x1D(k\x03\x00" "abc" "x\n");
  stream.insert(stream.end(), counted.begin(), counted.end());
  sim::EscPosInterpreter whole;
  const Bytes wholeAnswer = whole.feed(stream);
  ASSERT_EQ(wholeAnswer, Bytes{0x00});

  for (std::size_t split = 0; split <= stream.size(); ++split) {
    sim::EscPosInterpreter pieces;
    Bytes answer = pieces.feed(bytes::View(stream).first(split));
    const Bytes rest = pieces.feed(bytes::View(stream).subspan(split));
    answer.insert(answer.end(), rest.begin(), rest.end());
    EXPECT_EQ(answer, wholeAnswer) << "split at " << split;
    EXPECT_EQ(pieces.paper().items, whole.paper().items) << "split at " << split;
  }

  sim::EscPosInterpreter byteByByte;
  for (const std::uint8_t byte : stream) byteByByte.feed(Bytes{byte});
  EXPECT_EQ(byteByByte.paper().items, whole.paper().items);
}

TEST(EscPosInterpreter, Cp866Text_IsDecodedToUtf8) {
  std::string upperHalf;
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte) upperHalf.push_back(static_cast<char>(byte));
  sim::EscPosInterpreter printer;
  printer.feed(bytesOf(std::string("ЗН 0012 ёЁ №"_cp866) + "\n" + upperHalf + "\n"));
  const std::vector<std::string> expected{"ЗН 0012 ёЁ №", cp866::toUtf8(upperHalf)};
  EXPECT_EQ(printer.paper().texts(), expected);
}

TEST(EscPosInterpreter, UnknownSequences_TakeOnlyPrefixAndCommandByte) {
  sim::EscPosInterpreter printer;
  // ESC z, GS z, FS p are unknown; ESC ESC is an unknown command too, so the v after it is text.
  EXPECT_TRUE(printer.feed(bytesOf("A\x1Bz" "B\x1Dz" "C\x1Cp" "D\x1B\x1Bv\n")).empty());
  EXPECT_EQ(printer.paper().texts(), std::vector<std::string>{"ABCDv"});
}

TEST(EscPosInterpreter, KnownCommandsWithParameters_AreSkippedWhole) {
  sim::EscPosInterpreter printer;
  // ESC p (3 bytes), ESC t, GS ( with 4 counted data bytes, GS P: none of their bytes is text.
  printer.feed(literal("\x1Bp\x00\x19\xFA" "a\x1Bt\x11" "b\x1D(L\x04\x00" "wxyz" "c\x1DP\x00\x00" "d\n"));
  EXPECT_EQ(printer.paper().texts(), std::vector<std::string>{"abcd"});
}

TEST(EscPosInterpreter, ControlBytes_TabToNextStopOthersDropped) {
  sim::EscPosInterpreter printer;
  printer.feed(literal("ab\tc\r\x00\x10\x04\x01\x7F" "d\tend\n"));
  EXPECT_EQ(printer.paper().texts(), std::vector<std::string>{"ab      cd      end"});
}

TEST(EscPosInterpreter, ModeCommands_ChangeTheModeOfTheNextLine) {
  sim::EscPosInterpreter printer;
  // ESC E 1 bold, ESC M 1 small font, GS ! 0x11 double size, ESC a '2' right, ESC 3 60.
  printer.feed(bytesOf("\x1B" "E\x01\x1BM1\x1D!\x11\x1B" "a2\x1B" "3<x\n"));
  // ESC ! 0 clears bold, small font and double size; GS B 1 reverse; ESC 2 default spacing.
  printer.feed(literal("\x1B!\x00\x1D" "B\x01\x1B" "2y\n"));
  const std::vector<sim::PaperItem> expected{
      PrintedLine{.text = "x", .alignment = Alignment::Right, .bold = true, .doubleSize = true, .smallFont = true,
                  .lineSpacing = 60},
      PrintedLine{.text = "y", .alignment = Alignment::Right, .reverse = true}};
  EXPECT_EQ(printer.paper().items, expected);
}

TEST(EscPosInterpreter, Reset_RestoresDefaultsAndDropsUnfinishedText) {
  sim::EscPosInterpreter printer;
  printer.feed(bytesOf("\x1B" "a\x01\x1B!\x08lost\x1B@kept\n"));
  EXPECT_EQ(printer.paper().items, (std::vector<sim::PaperItem>{PrintedLine{.text = "kept"}}));
}

TEST(EscPosInterpreter, CutsAndFeeds_EndUnfinishedLinesFirst) {
  sim::EscPosInterpreter printer;
  // ESC d 2 prints the line and feeds once more; a cut ends "b"; GS V 66 n takes one more byte.
  printer.feed(bytesOf("a\x1B" "d\x02" "b\x1Bi\x1Bm\x1DV\x42\x05" "c\x1DV0"));
  const std::vector<sim::PaperItem> expected{PrintedLine{.text = "a"}, PrintedLine{.text = ""},
                                             PrintedLine{.text = "b"}, PaperCut{},
                                             PaperCut{}, PaperCut{},
                                             PrintedLine{.text = "c"}, PaperCut{}};
  EXPECT_EQ(printer.paper().items, expected);
  EXPECT_EQ(printer.paper().cutCount(), 4u);
  const std::vector<std::vector<std::string>> pieces{{"a", "", "b"}, {}, {}, {"c"}, {}};
  EXPECT_EQ(printer.paper().pieces(), pieces);
}

TEST(EscPosInterpreter, UnfinishedLine_IsNotOnThePaper) {
  sim::EscPosInterpreter printer;
  printer.feed(bytesOf("done\nwaiting"));
  EXPECT_EQ(printer.paper().texts(), std::vector<std::string>{"done"});
}

TEST(EscPosInterpreter, StatusQuery_AnsweredAsTheSourceSaysAtThatMoment) {
  std::deque<std::optional<std::uint8_t>> states{0x03, std::nullopt, 0x0F};
  sim::EscPosInterpreter printer([&states]() {
    const auto state = states.front();
    states.pop_front();
    return state;
  });
  EXPECT_EQ(printer.feed(bytesOf("\x1Bv")), Bytes{0x03});
  EXPECT_EQ(printer.feed(bytesOf("\x1Bv\x1B")), Bytes{});
  EXPECT_EQ(printer.feed(bytesOf("v")), Bytes{0x0F});
  EXPECT_TRUE(printer.paper().items.empty());
}

TEST(DecodePaper, RawBytes_GivesThePaperOfAResetPrinter) {
  const sim::PrintedPaper paper = sim::decodePaper(bytesOf(printed(receiptTotal(), true)));
  EXPECT_EQ(paper.texts(), (std::vector<std::string>{"ИТОГО", "=12.00", ""}));
  EXPECT_EQ(paper.cutCount(), 1u);
}

}  // namespace
