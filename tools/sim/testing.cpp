#include "tools/sim/testing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

#include "link/host_protocol.h"

namespace sim {
namespace {

// Each attempt to reach the service has its own identifier, counting up from this one, so a
// late reply to an earlier attempt is never taken for the reply to a later request.
constexpr std::uint32_t kFirstAttemptIdentifier = 0x7E570001;

int duplicate(int fd) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) throw std::system_error(errno, std::generic_category(), "duplicating the host line");
  return copy;
}

}  // namespace

TestBoard::TestBoard(TestBoardOptions options)
    : board_(BoardOptions{.root = directory_.path(),
                          .service = FRCORE_BINARY,
                          .serviceArguments = std::move(options.serviceArguments),
                          .logToFile = true,
                          .hostRelay = false,
                          .printerBaud = options.printerBaud}),
      host_(duplicate(board_.hostMasterFd())) {}

bool TestBoard::waitUntilServing(std::chrono::milliseconds timeout) {
  constexpr std::chrono::milliseconds kAttempt{1000};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint32_t identifier = kFirstAttemptIdentifier;
  while (true) {
    if (board_.serviceEnded() || std::chrono::steady_clock::now() >= deadline) return false;
    if (host_.transact({.command = protocol::kVersion, .identifier = identifier}, kAttempt)) break;
    ++identifier;
  }
  // Earlier attempts the service read late are answered now: their replies are drained here.
  if (identifier != kFirstAttemptIdentifier) host_.readAvailable(kAttempt / 2);
  return true;
}

void TestBoard::restart() {
  board_.stopService();
  board_.startService();
}

PrintedPaper readPaper(const std::filesystem::path& boardRoot) { return decodePaper(readRawPaper(boardRoot)); }

std::string TestBoard::log() const {
  std::ifstream in(board_.logPath(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace sim
