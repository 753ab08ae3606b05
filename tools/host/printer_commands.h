// The host's printer commands as the command line gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/host/command_options.h"
#include "values/bytes.h"

namespace host {

// The print-text command's arguments:
//   [--center|--right] [--bold] [--double] [--reverse] [--font N] [--spacing N] [--cut] [--] TEXT...
// The words of TEXT (UTF-8) are joined by single spaces and sent in CP866; a character CP866
// lacks is sent as '?'. Every word from the first of TEXT on is text, and so is every word after
// "--". Payload: line-spacing field (0-5, default 0), alignment (0 left, 1 centred, 2 right; the
// last option given counts), font field (0-3, default 1: ordinary text in the small font; 2 and
// 3 are the large font), style bits (0 bold, 2 reverse, 3 double size, 4 feed and cut after the
// text), then the text.
class PrintTextArguments : public CommandArguments {
 public:
  void declare(CLI::App& command) override;
  std::optional<Plan> plan(const Operator& cashier, std::string& problem) const override;
  bytes::Bytes payload() const;

 private:
  const CLI::App* command_ = nullptr;
  std::uint8_t spacing_ = 0;
  std::uint8_t font_ = 1;  // ordinary text in the small font
  std::vector<std::string> words_;
};

// The payload for the words of a print command line; nullopt when they are not valid.
std::optional<bytes::Bytes> printTextPayload(Arguments words);

}  // namespace host
