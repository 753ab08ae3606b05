#include "tools/sim/virtual_printer.h"

#include <cerrno>
#include <iterator>
#include <system_error>

#include "tools/sim/board_directory.h"
#include "tools/sim/printer_state.h"

namespace sim {
namespace {

std::filesystem::path rawPaperFile(const std::filesystem::path& boardRoot) {
  return platform::paperDirectory(boardRoot) / "raw.bin";
}

}  // namespace

VirtualPrinter::VirtualPrinter(const std::filesystem::path& boardRoot)
    : stateFile_(printerStateFile(boardRoot)),
      raw_(rawPaperFile(boardRoot), std::ios::binary | std::ios::app),
      interpreter_([this]() -> std::optional<std::uint8_t> {
        if (replaying_) return std::nullopt;
        return paperStatusByte(readPrinterState(stateFile_));
      }),
      paperFiles_(paperFilesIn(platform::paperDirectory(boardRoot)), paperWidthFile(boardRoot)) {
  if (!raw_) throw std::system_error(errno, std::generic_category(), "opening the printer's paper file");
  interpreter_.feed(readRawPaper(boardRoot));
  replaying_ = false;
  paperFiles_.update(interpreter_.paper());
}

bytes::Bytes VirtualPrinter::receive(bytes::View data) {
  raw_.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  raw_.flush();

  const std::size_t itemsBefore = interpreter_.paper().items.size();
  bytes::Bytes answer = interpreter_.feed(data);
  if (interpreter_.paper().items.size() != itemsBefore) paperFiles_.update(interpreter_.paper());
  return answer;
}

bytes::Bytes readRawPaper(const std::filesystem::path& boardRoot) {
  std::ifstream in(rawPaperFile(boardRoot), std::ios::binary);
  return bytes::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sim
