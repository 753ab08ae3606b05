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

namespace rs {
namespace {

// Bits per second for each BaudRate index.
constexpr std::array<speed_t, 20> kSpeedTable{0,    50,   75,   110,   134,   150,   200,
                                              300,  600,  1200, 1800,  2400,  4800,  9600,
                                              19200, 38400, 57600, 115200, 230400, 460800};

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
    case SpeedMode::Table: {
      const auto index = static_cast<int>(baudRate);
      if (index < 0 || index >= static_cast<int>(kSpeedTable.size())) {
        throw std::runtime_error("baudRate passed to bool rs::SerialPort::configureTermios() unrecognized.");
      }
      return kSpeedTable[static_cast<std::size_t>(index)];
    }
    case SpeedMode::Custom:
      if (customSpeed < 0) return std::nullopt;
      return static_cast<speed_t>(customSpeed);
  }
  throw std::logic_error("serial port speed mode is neither table nor custom");
}

}  // namespace

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
  if (::ioctl(fd_, FIONREAD, &count) != 0) return -1;
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

bool SerialPort::configureTermios() {
  termios2 line{};
  if (::ioctl(fd_, TCGETS2, &line) != 0) return false;

  const auto size = characterSizeFlag(settings_.characterSize);
  const auto parity = parityFlags(settings_.parity);
  const auto stopBits = stopBitsFlag(settings_.stopBits);
  if (!size || !parity || !stopBits) return false;
  const auto speed = lineSpeed(settings_.speedMode, settings_.baudRate, settings_.customSpeed);
  if (!speed) return false;

  // Both speed fields are cleared: with CIBAUD left over from an earlier user the input speed
  // would not follow c_ispeed. BOTHER makes the kernel take c_ospeed (and, CIBAUD being zero,
  // the same for input) as a plain number.
  line.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
  line.c_cflag |= *size | *parity | *stopBits | BOTHER | CLOCAL | CREAD;
  line.c_ispeed = *speed;
  line.c_ospeed = *speed;

  line.c_oflag = 0;

  // VMIN 1 blocks until a byte arrives; VMIN 0 with VTIME t waits up to t tenths of a second
  // for the first byte.
  if (settings_.timeoutMs == kBlockingTimeout) {
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
  } else {
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = static_cast<cc_t>(settings_.timeoutMs / 100);
  }

  line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF);

  line.c_lflag &= ~(ICANON | ECHO | ISIG | ECHOE | ECHONL);
  if (settings_.echo) line.c_lflag |= ECHO;

  return ::ioctl(fd_, TCSETS2, &line) == 0;
}

}  // namespace rs
