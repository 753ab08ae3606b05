#include "tools/sim/virtual_printer.h"

#include <cerrno>
#include <system_error>

namespace sim {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kPaperStatusQuery = 0x76;
constexpr std::uint8_t kPaperPresent = 0x00;

}  // namespace

VirtualPrinter::VirtualPrinter(const std::filesystem::path& paperDirectory)
    : raw_(paperDirectory / "raw.bin", std::ios::binary | std::ios::app) {
  if (!raw_) throw std::system_error(errno, std::generic_category(), "opening the printer's paper file");
}

bytes::Bytes VirtualPrinter::receive(bytes::View data) {
  raw_.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  raw_.flush();

  bytes::Bytes answer;
  for (const std::uint8_t byte : data) {
    if (afterEscape_ && byte == kPaperStatusQuery) answer.push_back(kPaperPresent);
    afterEscape_ = !afterEscape_ && byte == kEscape;
  }
  return answer;
}

}  // namespace sim
