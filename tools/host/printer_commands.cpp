#include "tools/host/printer_commands.h"

#include "link/host_protocol.h"
#include "values/cp866.h"

namespace host {
namespace {

constexpr unsigned kMaxSpacingField = 5;
constexpr unsigned kMaxFontField = 3;

constexpr std::uint8_t kAlignCentred = 1;
constexpr std::uint8_t kAlignRight = 2;

constexpr std::uint8_t kBoldBit = 0x01;
constexpr std::uint8_t kReverseBit = 0x04;
constexpr std::uint8_t kDoubleSizeBit = 0x08;
constexpr std::uint8_t kCutBit = 0x10;

}  // namespace

void PrintTextArguments::declare(CLI::App& command) {
  command_ = &command;
  command.positionals_at_end();
  command.add_flag("--center")->description("centre the text (the last alignment given counts)");
  command.add_flag("--right")->description("align the text right (default left)");
  command.add_flag("--bold")->description("bold");
  command.add_flag("--double")->description("double size");
  command.add_flag("--reverse")->description("white on black");
  command.add_flag("--cut")->description("feed and cut after the text");
  addNumber(command, "--font", font_, 0, kMaxFontField, "font field: 0, 1 small font (default), 2, 3 large");
  addNumber(command, "--spacing", spacing_, 0, kMaxSpacingField, "line-spacing field (default 0)");
  command.add_option("TEXT", words_, "the words to print (UTF-8); -- before a TEXT that starts with --")->required();
}

bytes::Bytes PrintTextArguments::payload() const {
  std::uint8_t alignment = 0;
  for (const CLI::Option* option : command_->parse_order()) {
    if (option->check_name("--center")) alignment = kAlignCentred;
    if (option->check_name("--right")) alignment = kAlignRight;
  }
  std::uint8_t bits = 0;
  for (const auto& [name, bit] : {std::pair{"--bold", kBoldBit}, {"--reverse", kReverseBit},
                                  {"--double", kDoubleSizeBit}, {"--cut", kCutBit}}) {
    if (command_->count(name) > 0) bits |= bit;
  }
  std::string text;
  for (std::size_t i = 0; i < words_.size(); ++i) text += (i > 0 ? " " : "") + words_[i];
  bytes::Bytes payload{spacing_, alignment, font_, bits};
  const std::string encoded = cp866::fromUtf8(text);
  payload.insert(payload.end(), encoded.begin(), encoded.end());
  return payload;
}

std::optional<Plan> PrintTextArguments::plan(const Operator&, std::string&) const {
  return Plan{.steps = {{.label = "", .request = {.command = protocol::kPrintText, .payload = payload()}}}};
}

std::optional<bytes::Bytes> printTextPayload(Arguments words) {
  PrintTextArguments arguments;
  CLI::App command;
  arguments.declare(command);
  std::string problem;
  if (!parseWords(command, words, problem)) return std::nullopt;
  return arguments.payload();
}

}  // namespace host
