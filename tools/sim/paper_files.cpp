#include "tools/sim/paper_files.h"

#include <algorithm>
#include <sstream>

#include "printer/print_layout.h"
#include "printer/printer_settings.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

// Characters in UTF-8 text: the bytes that do not continue a character.
std::size_t characterCount(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string escapedHtml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The page's look. One dot of the printer is one pixel: the large font is 12 dots wide
// (20 px monospace), the small font 9 (75 %); double size doubles both. A line is at least one
// character high and at least its line feed.
constexpr std::string_view kHtmlHead = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta http-equiv="refresh" content="2"><title>paper</title>
<style>
body { background: #666; margin: 0; padding: 24px; }
.roll { background: #fff; color: #000; font: 20px/1.2 monospace; margin: 0 auto; padding: 12px 16px; }
.line { white-space: pre-wrap; word-break: break-all; }
.centred { text-align: center; } .right { text-align: right; }
.bold { font-weight: bold; }
.small { font-size: 75%; } .double { font-size: 200%; } .small.double { font-size: 150%; }
.reverse span { background: #000; color: #fff; }
.cut { border-top: 2px dashed #888; height: 0; margin: 16px -16px; text-align: center; }
.cut span { position: relative; top: -12px; background: #fff; color: #444; font-size: 18px; padding: 0 6px; }
</style></head><body>
)";

void appendHtmlLine(std::ostringstream& out, const PrintedLine& line) {
  out << "<div class=\"line";
  if (line.alignment == Alignment::Centred) out << " centred";
  if (line.alignment == Alignment::Right) out << " right";
  if (line.bold) out << " bold";
  if (line.smallFont) out << " small";
  if (line.doubleSize) out << " double";
  if (line.reverse) out << " reverse";
  out << "\" style=\"min-height: " << line.lineSpacing << "px\">";
  if (line.text.empty()) {
    out << "<br>";  // one character high, and nothing to show reversed
  } else {
    out << "<span>" << escapedHtml(line.text) << "</span>";
  }
  out << "</div>\n";
}

}  // namespace

unsigned charactersPerLine(const PrintedLine& line, unsigned paperWidth) {
  constexpr unsigned kLargeFontField = 2;
  const PrintStyle style =
      PrintStyle(line.doubleSize ? PrintStyle::kDoubleSize : 0, line.smallFont ? 0 : kLargeFontField).withPaperWidth(paperWidth);
  return charsPerLine(style);
}

std::string paperTextLine(const PaperItem& item, unsigned paperWidth) {
  const auto* line = std::get_if<PrintedLine>(&item);
  if (line == nullptr) return std::string(kCutMark);
  const std::size_t width = charactersPerLine(*line, paperWidth);
  const std::size_t length = characterCount(line->text);
  std::size_t padding = 0;  // none for an empty line: nothing to place
  if (length > 0 && length < width && line->alignment == Alignment::Centred) padding = (width - length) / 2;
  if (length > 0 && length < width && line->alignment == Alignment::Right) padding = width - length;
  return std::string(padding, ' ') + line->text;
}

std::string paperHtml(const PrintedPaper& paper, unsigned paperWidth) {
  const unsigned rollCharacters = charactersPerLine(PrintedLine{}, paperWidth);
  std::ostringstream out;
  out << kHtmlHead << "<div class=\"roll\" style=\"width: " << rollCharacters << "ch\">\n";
  for (const PaperItem& item : paper.items) {
    if (const auto* line = std::get_if<PrintedLine>(&item)) {
      appendHtmlLine(out, *line);
    } else {
      out << "<div class=\"cut\"><span>✂</span></div>\n";
    }
  }
  out << "</div>\n</body></html>\n";
  return out.str();
}

PaperFiles::PaperFiles(const fs::path& paperDirectory, fs::path paperWidthFile)
    : htmlPath_(paperDirectory / "paper.html"),
      paperWidthFile_(std::move(paperWidthFile)),
      text_(paperDirectory / "paper.txt", std::ios::binary | std::ios::trunc) {}

void PaperFiles::update(const PrintedPaper& paper) {
  const unsigned paperWidth = readPaperWidth(paperWidthFile_.string());
  for (; itemsWritten_ < paper.items.size(); ++itemsWritten_) {
    text_ << paperTextLine(paper.items[itemsWritten_], paperWidth) << '\n';
  }
  text_.flush();

  // Written beside the page and renamed over it, so a browser never loads half a page.
  fs::path written = htmlPath_;
  written += ".new";
  {
    std::ofstream html(written, std::ios::binary | std::ios::trunc);
    html << paperHtml(paper, paperWidth);
  }
  std::error_code ignored;
  fs::rename(written, htmlPath_, ignored);
}

}  // namespace sim
