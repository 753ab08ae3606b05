#include "serial/serialport.h"

// The extended terminal settings (struct termios2, TCGETS2, BOTHER) come from the kernel's
// headers, which clash with the C library's <termios.h>; only the kernel's are used here.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/log.h"

namespace rs {
namespace {

// Bits per second for each BaudRate index.
constexpr std::array<speed_t, 20> kSpeedTable{0,    50,   75,   110,   134,   150,   200,
                                              300,  600,  1200, 1800,  2400,  4800,  9600,
                                              19200, 38400, 57600, 115200, 230400, 460800};

// The classic settings' speed constant for each standard speed in bits per second.
struct StandardSpeed {
  speed_t bitsPerSecond;
  tcflag_t code;
};
constexpr std::array<StandardSpeed, 20> kStandardSpeeds{{
    {0, B0},         {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},     {200, B200},       {300, B300},       {600, B600},       {1200, B1200},
    {1800, B1800},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
}};

std::optional<tcflag_t> standardSpeedCode(speed_t bitsPerSecond) {
  for (const StandardSpeed& standard : kStandardSpeeds) {
    if (standard.bitsPerSecond == bitsPerSecond) return standard.code;
  }
  return std::nullopt;
}

// The answers of a kernel or emulator that does not know the extended terminal calls.
bool lacksExtendedCalls(int error) { return error == ENOSYS || error == ENOTTY || error == EINVAL; }

// Puts the frame, the speed bits (for CBAUD), echo and the read time-out into either kind of
// settings record, with every kind of processing and flow control off. Both speed fields of
// c_cflag are cleared first: with CIBAUD left over from an earlier user the input speed would
// not follow the output speed.
template <typename Line>
void makeRawLine(Line& line, tcflag_t frame, tcflag_t speedBits, bool echo, int timeoutMs) {
  line.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
  line.c_cflag |= frame | speedBits | CLOCAL | CREAD;

  line.c_oflag = 0;

  // VMIN 1 blocks until a byte arrives; VMIN 0 with VTIME t waits up to t tenths of a second
  // for the first byte.
  if (timeoutMs == SerialPort::kBlockingTimeout) {
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
  } else {
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = static_cast<cc_t>(timeoutMs / 100);
  }

  line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF);

  line.c_lflag &= ~(ICANON | ECHO | ISIG | ECHOE | ECHONL);
  if (echo) line.c_lflag |= ECHO;
}

// Repeats a system call that a signal interrupted before it did anything.
template <typename Call>
auto retryInterrupted(Call call) {
  auto result = call();
  while (result < 0 && errno == EINTR) result = call();
  return result;
}

std::optional<tcflag_t> characterSizeFlag(CharacterSize size) {
  switch (size) {
    case CharacterSize::Bits5: return CS5;
    case CharacterSize::Bits6: return CS6;
    case CharacterSize::Bits7: return CS7;
    case CharacterSize::Bits8: return CS8;
  }
  return std::nullopt;
}

// The PARENB and PARODD bits for the parity.
std::optional<tcflag_t> parityFlags(Parity parity) {
  switch (parity) {
    case Parity::None: return 0;
    case Parity::Even: return PARENB;
    case Parity::Odd: return PARENB | PARODD;
  }
  return std::nullopt;
}

std::optional<tcflag_t> stopBitsFlag(StopBits stopBits) {
  switch (stopBits) {
    case StopBits::One: return 0;
    case StopBits::Two: return CSTOPB;
  }
  return std::nullopt;
}

// The line speed in bits per second; nothing for a negative custom speed.
std::optional<speed_t> lineSpeed(SpeedMode mode, BaudRate baudRate, int customSpeed) {
  switch (mode) {
    case SpeedMode::Table:
      return static_cast<speed_t>(bitsPerSecond(baudRate));
    case SpeedMode::Custom:
      if (customSpeed < 0) return std::nullopt;
      return static_cast<speed_t>(customSpeed);
  }
  throw std::logic_error("serial port speed mode is neither table nor custom");
}

}  // namespace

int bitsPerSecond(BaudRate baudRate) {
  const auto index = static_cast<int>(baudRate);
  if (index < 0 || index >= static_cast<int>(kSpeedTable.size())) {
    throw std::runtime_error("baudRate passed to bool rs::SerialPort::configureTermios() unrecognized.");
  }
  return static_cast<int>(kSpeedTable[static_cast<std::size_t>(index)]);
}

SerialPort::SerialPort(std::string portName, BaudRate baudRate) : portName_(std::move(portName)) {
  settings_.baudRate = baudRate;
}

SerialPort::SerialPort(std::string portName, int customSpeed) : portName_(std::move(portName)) {
  settings_.speedMode = SpeedMode::Custom;
  settings_.customSpeed = customSpeed;
}

SerialPort::SerialPort(std::string portName, BaudRate baudRate, CharacterSize characterSize,
                       Parity parity, StopBits stopBits)
    : portName_(std::move(portName)) {
  settings_.baudRate = baudRate;
  settings_.characterSize = characterSize;
  settings_.parity = parity;
  settings_.stopBits = stopBits;
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::open() {
  close();
  if (portName_.empty()) return false;
  // Close-on-exec keeps the line out of the shell commands the service runs.
  fd_ = ::open(portName_.c_str(), O_RDWR | O_NOCTTY | O_DSYNC | O_CLOEXEC);
  if (fd_ < 0) return false;
  bool configured = false;
  try {
    configured = configureTermios();
  } catch (...) {
    close();
    throw;
  }
  if (!configured) close();
  return configured;
}

int SerialPort::close() {
  if (!isOpen()) return -1;
  // The descriptor is released even when close(2) reports an error, so it is not retried.
  return ::close(std::exchange(fd_, -1));
}

int SerialPort::read(bytes::Bytes& out, std::size_t n) {
  if (!isOpen()) return -1;
  bytes::Bytes received(std::min<std::size_t>(n, INT_MAX));
  const ssize_t count = retryInterrupted([&] { return ::read(fd_, received.data(), received.size()); });
  if (count <= 0) return count == 0 ? 0 : -1;
  received.resize(static_cast<std::size_t>(count));
  out = std::move(received);
  return static_cast<int>(count);
}

int SerialPort::readWithin(bytes::Bytes& out, std::size_t n, int timeoutMs) {
  if (!isOpen()) return -1;
  // A signal restarts the whole wait; the service installs no handlers that interrupt it.
  pollfd input{fd_, POLLIN, 0};
  const int ready = retryInterrupted([&] { return ::poll(&input, 1, timeoutMs); });
  if (ready <= 0) return ready;
  return read(out, n);
}

int SerialPort::write(std::string_view data) { return write(bytes::view(data)); }

int SerialPort::write(bytes::View data) {
  if (!isOpen()) return -1;
  const ssize_t written = retryInterrupted([&] { return ::write(fd_, data.data(), data.size()); });
  return written < 0 ? -1 : static_cast<int>(written);
}

int SerialPort::bytesAvailable() const {
  if (!isOpen()) return -1;
  int count = 0;
  if (terminalControl(FIONREAD, &count) != 0) return -1;
  return count;
}

bool SerialPort::setSpeed(BaudRate baudRate) {
  Settings next = settings_;
  next.speedMode = SpeedMode::Table;
  next.baudRate = baudRate;
  return changeSettings(next);
}

bool SerialPort::setCustomSpeed(int bitsPerSecond) {
  Settings next = settings_;
  next.speedMode = SpeedMode::Custom;
  next.customSpeed = bitsPerSecond;
  return changeSettings(next);
}

bool SerialPort::setSpeedMode(SpeedMode mode) {
  Settings next = settings_;
  next.speedMode = mode;
  return changeSettings(next);
}

bool SerialPort::setCharacterSize(CharacterSize size) {
  Settings next = settings_;
  next.characterSize = size;
  return changeSettings(next);
}

bool SerialPort::setParity(Parity parity) {
  Settings next = settings_;
  next.parity = parity;
  return changeSettings(next);
}

bool SerialPort::setStopBits(StopBits stopBits) {
  Settings next = settings_;
  next.stopBits = stopBits;
  return changeSettings(next);
}

bool SerialPort::setEcho(bool on) {
  Settings next = settings_;
  next.echo = on;
  return changeSettings(next);
}

bool SerialPort::setTimeout(int milliseconds) {
  if (isOpen() || milliseconds < kBlockingTimeout || milliseconds > kMaxTimeoutMs) return false;
  settings_.timeoutMs = milliseconds;
  return true;
}

void SerialPort::setPortName(std::string portName) { portName_ = std::move(portName); }

void SerialPort::setTerminalControl(TerminalControl control) { control_ = std::move(control); }

bool SerialPort::changeSettings(const Settings& next) {
  const Settings previous = std::exchange(settings_, next);
  if (!isOpen()) return true;
  bool applied = false;
  try {
    applied = configureTermios();
  } catch (...) {
    settings_ = previous;
    throw;
  }
  if (!applied) settings_ = previous;
  return applied;
}

int SerialPort::terminalControl(unsigned long request, void* argument) const {
  return control_ ? control_(fd_, request, argument) : ::ioctl(fd_, request, argument);
}

bool SerialPort::configureTermios() {
  const auto size = characterSizeFlag(settings_.characterSize);
  const auto parity = parityFlags(settings_.parity);
  const auto stopBits = stopBitsFlag(settings_.stopBits);
  if (!size || !parity || !stopBits) return false;
  const auto speed = lineSpeed(settings_.speedMode, settings_.baudRate, settings_.customSpeed);
  if (!speed) return false;
  const tcflag_t frame = *size | *parity | *stopBits;

  termios2 extended{};
  if (terminalControl(TCGETS2, &extended) == 0) {
    // BOTHER makes the kernel take c_ospeed (and, CIBAUD being zero, the same for input) as
    // a plain number.
    makeRawLine(extended, frame, BOTHER, settings_.echo, settings_.timeoutMs);
    extended.c_ispeed = *speed;
    extended.c_ospeed = *speed;
    return terminalControl(TCSETS2, &extended) == 0;
  }
  if (!lacksExtendedCalls(errno)) return false;

  const auto code = standardSpeedCode(*speed);
  if (!code) {
    platform::logLine("serial line " + portName_ + ": " + std::to_string(*speed) +
                      " bit/s needs the extended terminal settings, which this system does not offer");
    return false;
  }
  termios classic{};
  if (terminalControl(TCGETS, &classic) != 0) return false;
  makeRawLine(classic, frame, *code, settings_.echo, settings_.timeoutMs);
  return terminalControl(TCSETS, &classic) == 0;
}

}  // namespace rs
