#include "tools/sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace sim {
namespace {

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) fail("posix_openpt");
  try {
    if (::grantpt(master_) != 0) fail("grantpt");
    if (::unlockpt(master_) != 0) fail("unlockpt");
    std::array<char, 128> name{};
    if (::ptsname_r(master_, name.data(), name.size()) != 0) fail("ptsname_r");
    slavePath_ = name.data();

    termios settings{};
    if (::tcgetattr(master_, &settings) != 0) fail("tcgetattr on a pseudo-terminal master");
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    if (::tcsetattr(master_, TCSANOW, &settings) != 0) fail("tcsetattr on a pseudo-terminal master");

    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) fail("opening a pseudo-terminal slave");
  } catch (...) {
    ::close(master_);
    throw;
  }
}

PseudoTerminal::~PseudoTerminal() {
  if (!link_.empty()) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(link_, ignored) == linkTarget_) std::filesystem::remove(link_, ignored);
  }
  ::close(slave_);
  ::close(master_);
}

void PseudoTerminal::linkSlaveAt(const std::filesystem::path& link) {
  linkTarget_ = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(slave_);
  std::filesystem::remove(link);
  std::filesystem::create_symlink(linkTarget_, link);
  link_ = link;
}

void PseudoTerminal::discardSlaveInput() {
  if (::tcflush(slave_, TCIFLUSH) != 0) fail("tcflush on a pseudo-terminal slave");
}

}  // namespace sim
