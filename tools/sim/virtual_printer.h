// The receipt printer on the board's printer line, as far as the simulator plays it.
#pragma once

#include <filesystem>
#include <fstream>

#include "values/bytes.h"

namespace sim {

// Fed every byte the service sends to the printer, in pieces as they arrive; returns what the
// printer sends back. Every byte is appended to paper/raw.bin at once. The paper status query
// ESC v (1B 76) is answered with 0x00: paper present, not near its end. Other commands are
// kept on the paper but not interpreted.
class VirtualPrinter {
 public:
  // Appends to raw.bin in `paperDirectory`, which must exist.
  explicit VirtualPrinter(const std::filesystem::path& paperDirectory);

  bytes::Bytes receive(bytes::View data);

 private:
  std::ofstream raw_;
  // The last byte received was ESC, so the next one is a command byte.
  bool afterEscape_ = false;
};

}  // namespace sim
