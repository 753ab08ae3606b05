// The words typed into frsim while its board runs. Each changes what the board presents to its
// service (the printer's state, the card, the card's free space, the clock) through the board's
// files, or restarts the service, and says what it did.
#pragma once

#include <string>
#include <string_view>

#include "tools/sim/simulated_board.h"

namespace sim {

// The console's words, one line each with what it does, for frsim's help and the word "help".
std::string_view consoleWords();

class BoardConsole {
 public:
  explicit BoardConsole(SimulatedBoard& board) : board_(board) {}

  // Carries out one typed line and returns what it did, in lines each ending with a line feed;
  // an empty line does nothing and returns nothing.
  std::string run(std::string_view line);
  // What the board kept from an earlier run that a fresh board would not have, for frsim to say
  // as it starts: a clock moved away from this machine's (the register then refuses documents
  // older than its last one, 23, or a shift it finds too old, 51). Empty when nothing is.
  std::string keptFromEarlierRuns();

 private:
  SimulatedBoard& board_;
};

}  // namespace sim
