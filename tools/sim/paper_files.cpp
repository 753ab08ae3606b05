#include "tools/sim/paper_files.h"

#include <algorithm>
#include <fstream>
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
// character high and at least its line feed. The script keeps the view at the end of the roll
// across reloads, and where the reader left it once they scroll up.
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
</style>
<script>
history.scrollRestoration = "manual";
addEventListener("load", () => {
  const page = document.documentElement;
  scrollTo(0, sessionStorage.paperAway === "1" ? Number(sessionStorage.paperY) : page.scrollHeight);
  addEventListener("scroll", () => {
    sessionStorage.paperAway = innerHeight + scrollY < page.scrollHeight - 40 ? "1" : "0";
    sessionStorage.paperY = String(scrollY);
  });
});
</script></head><body>
)";

std::string rollStart(unsigned paperWidth) {
  return "<div class=\"roll\" style=\"width: " + std::to_string(charactersPerLine(PrintedLine{}, paperWidth)) +
         "ch\">\n";
}

std::string htmlItem(const PaperItem& item) {
  const auto* line = std::get_if<PrintedLine>(&item);
  if (line == nullptr) return "<div class=\"cut\"><span>✂</span></div>\n";
  std::ostringstream out;
  out << "<div class=\"line";
  if (line->alignment == Alignment::Centred) out << " centred";
  if (line->alignment == Alignment::Right) out << " right";
  if (line->bold) out << " bold";
  if (line->smallFont) out << " small";
  if (line->doubleSize) out << " double";
  if (line->reverse) out << " reverse";
  out << "\" style=\"min-height: " << line->lineSpacing << "px\">";
  if (line->text.empty()) {
    out << "<br>";  // one character high, and nothing to show reversed
  } else {
    out << "<span>" << escapedHtml(line->text) << "</span>";
  }
  out << "</div>\n";
  return out.str();
}

// Appends to two files held open for the life of the printer.
class FileOutput final : public PaperOutput {
 public:
  explicit FileOutput(const fs::path& paperDirectory)
      : text_(paperDirectory / "paper.txt", std::ios::binary | std::ios::trunc),
        html_(paperDirectory / "paper.html", std::ios::binary | std::ios::trunc) {}

  void appendText(std::string_view bytes) override { append(text_, bytes); }
  void appendHtml(std::string_view bytes) override { append(html_, bytes); }

 private:
  static void append(std::ofstream& file, std::string_view bytes) {
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.flush();
  }

  std::ofstream text_;
  std::ofstream html_;
};

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
  std::string page(kHtmlHead);
  if (paper.items.empty()) return page;
  page += rollStart(paperWidth);
  for (const PaperItem& item : paper.items) page += htmlItem(item);
  return page;
}

std::unique_ptr<PaperOutput> paperFilesIn(const fs::path& paperDirectory) {
  return std::make_unique<FileOutput>(paperDirectory);
}

PaperFiles::PaperFiles(std::unique_ptr<PaperOutput> output, fs::path paperWidthFile)
    : output_(std::move(output)), paperWidthFile_(std::move(paperWidthFile)) {
  output_->appendHtml(kHtmlHead);
}

void PaperFiles::update(const PrintedPaper& paper) {
  if (itemsWritten_ == paper.items.size()) return;
  const unsigned paperWidth = readPaperWidth(paperWidthFile_.string());
  std::string text;
  std::string html;
  if (openRollWidth_ != paperWidth) {
    if (openRollWidth_) html += "</div>\n";
    html += rollStart(paperWidth);
    openRollWidth_ = paperWidth;
  }
  for (; itemsWritten_ < paper.items.size(); ++itemsWritten_) {
    text += paperTextLine(paper.items[itemsWritten_], paperWidth) + '\n';
    html += htmlItem(paper.items[itemsWritten_]);
  }
  output_->appendText(text);
  output_->appendHtml(html);
}

}  // namespace sim
