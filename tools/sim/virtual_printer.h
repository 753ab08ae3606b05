// The receipt printer on the board's printer line, as the simulator plays it.
#pragma once

#include <filesystem>
#include <fstream>

#include "tools/sim/escpos_interpreter.h"
#include "tools/sim/paper_files.h"
#include "values/bytes.h"

namespace sim {

// Fed every byte the service sends to the printer, in pieces as they arrive; returns what the
// printer sends back. Every byte is appended to paper/raw.bin at once and interpreted
// (EscPosInterpreter); paper/paper.txt and paper/paper.html follow as lines come out. The
// paper status query ESC v is answered as the board's printer-state file says at that moment
// (PrinterState; absent: paper present). The state changes only that answer: what arrives is
// still put on the paper, so a test sees what the service sent to a printer without paper.
class VirtualPrinter {
 public:
  // The printer of the board at `boardRoot`, whose paper directory must exist. The paper
  // already in raw.bin is read again first, so the readable paper goes on from where an
  // earlier printer on the same board left it.
  explicit VirtualPrinter(const std::filesystem::path& boardRoot);

  bytes::Bytes receive(bytes::View data);

 private:
  std::filesystem::path stateFile_;
  std::ofstream raw_;
  // Set while raw.bin is read again: its status queries were answered long ago.
  bool replaying_ = true;
  EscPosInterpreter interpreter_;
  PaperFiles paperFiles_;
};

// Every byte the printer of the board at `boardRoot` has received (paper/raw.bin); empty when
// nothing has been printed there.
bytes::Bytes readRawPaper(const std::filesystem::path& boardRoot);

}  // namespace sim
