// A board whose clock stands still until the test steps it or sets it through the board, so
// that document times, shift ages and the one-document-a-second rule do not hang on the
// machine's clock. Everything else is the wrapped board's.
#pragma once

#include <cstdint>

#include "platform/board.h"

namespace platform {

class SteppedClockBoard final : public BoardWrapper {
 public:
  SteppedClockBoard(Board& target, std::int64_t start) : BoardWrapper(target), now_(start) {}

  std::int64_t now() const override { return now_; }
  // Always succeeds; the wrapped board's clock is left as it is.
  bool setClock(std::int64_t secondsSinceEpoch) override {
    now_ = secondsSinceEpoch;
    return true;
  }
  void advance(std::int64_t seconds) { now_ += seconds; }

 private:
  std::int64_t now_;
};

}  // namespace platform
