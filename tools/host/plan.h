// The requests one command of the host's command line sends, and the cashier it sends them as.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/frame.h"

namespace host {

// The operator prefix of the open and serial-number commands: cashier number (u8, 1..20) and
// password (u32 LE). The administrator of a new cashier file is cashier 20 with password 30.
struct Operator {
  static constexpr std::uint8_t kFirstNumber = 1;
  static constexpr std::uint8_t kLastNumber = 20;

  std::uint8_t number = 20;
  std::uint32_t password = 30;
};

// One request of a command and what the output calls it.
struct Step {
  std::string label;
  Request request;
};

// The requests of one command, sent in order until one is answered with a non-zero code.
// With `opensDocument` the first request opens a document that the later ones fill and
// finish: when one of them fails, the document is usually still open on the register.
struct Plan {
  std::vector<Step> steps = {};
  bool opensDocument = false;
};

}  // namespace host
