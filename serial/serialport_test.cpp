#include "serial/serialport.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "serial/line_timing.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 10s;  // generous: the machine may be loaded

// A pseudo-terminal whose slave the port under test opens. The test plays the far end of the
// line on the master and inspects the slave's settings through a descriptor of its own.
// A pseudo-terminal keeps parity and stop-bit choices but always reports CS8 and no PARENB.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(clearOfStandardDescriptors(posix_openpt(O_RDWR | O_NOCTTY))) {
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    slavePath_ = name;
    observer_ = clearOfStandardDescriptors(::open(name, O_RDWR | O_NOCTTY));
    if (observer_ < 0) throw std::runtime_error("pseudo-terminal slave does not open");
  }
  ~PseudoTerminal() {
    ::close(observer_);
    ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& slavePath() const { return slavePath_; }

  // False where the kernel or an emulator (qemu-user) does not know the extended calls.
  bool hasExtendedCalls() const {
    termios2 line{};
    return ::ioctl(observer_, TCGETS2, &line) == 0;
  }

  // The slave's settings; without the extended calls the speeds come from the classic
  // settings' speed constants.
  termios2 settings() const {
    termios2 line{};
    if (::ioctl(observer_, TCGETS2, &line) == 0) return line;
    termios classic{};
    if (::ioctl(observer_, TCGETS, &classic) != 0) throw std::runtime_error("TCGETS failed");
    line.c_iflag = classic.c_iflag;
    line.c_oflag = classic.c_oflag;
    line.c_cflag = classic.c_cflag;
    line.c_lflag = classic.c_lflag;
    std::copy(std::begin(classic.c_cc), std::end(classic.c_cc), std::begin(line.c_cc));
    line.c_ospeed = speedOfCode(classic.c_cflag & CBAUD);
    const tcflag_t inputCode = (classic.c_cflag & CIBAUD) >> IBSHIFT;
    line.c_ispeed = inputCode == 0 ? line.c_ospeed : speedOfCode(inputCode);
    return line;
  }
  // Sets the slave's settings; `line` must use speed constants where the extended calls are
  // missing.
  void setSettings(const termios2& line) {
    if (::ioctl(observer_, TCSETS2, &line) == 0) return;
    termios classic{};
    classic.c_iflag = line.c_iflag;
    classic.c_oflag = line.c_oflag;
    classic.c_cflag = line.c_cflag;
    classic.c_lflag = line.c_lflag;
    std::copy(std::begin(line.c_cc), std::begin(line.c_cc) + NCCS, std::begin(classic.c_cc));
    if (::ioctl(observer_, TCSETS, &classic) != 0) throw std::runtime_error("TCSETS failed");
  }

  void send(std::string_view data) {
    ASSERT_EQ(::write(master_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  }
  // Collects `n` bytes written to the slave, or what arrived before the patience ran out.
  std::string receive(std::size_t n) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (received.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd output{master_, POLLIN, 0};
      if (::poll(&output, 1, 100) != 1) continue;
      char chunk[64];
      const ssize_t count = ::read(master_, chunk, std::min(sizeof chunk, n - received.size()));
      if (count <= 0) break;
      received.append(chunk, static_cast<std::size_t>(count));
    }
    return received;
  }

 private:
  // Moves a descriptor to 3 or above, so that a test run with standard input closed does not
  // hand descriptor 0 to the harness instead of the port under test.
  static int clearOfStandardDescriptors(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
  }

  static speed_t speedOfCode(tcflag_t code) {
    static const std::pair<tcflag_t, speed_t> kCodes[] = {
        {B0, 0},          {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},      {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400},  {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}};
    for (const auto& [known, bitsPerSecond] : kCodes) {
      if (known == code) return bitsPerSecond;
    }
    throw std::runtime_error("speed constant not in the table");
  }

  int master_;
  int observer_ = -1;
  std::string slavePath_;
};

// Waits until the port has `n` bytes waiting to be read.
bool waitForInput(const rs::SerialPort& port, int n) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (port.bytesAvailable() < n) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

long openDescriptorCount() {
  const std::filesystem::directory_iterator entries("/proc/self/fd");
  return std::distance(begin(entries), end(entries));
}

bytes::Bytes asBytes(std::string_view text) {
  const bytes::View view = bytes::view(text);
  return {view.begin(), view.end()};
}

class SerialPortTest : public ::testing::Test {
 protected:
  PseudoTerminal pty;
};

TEST_F(SerialPortTest, Open_LineLeftInAnyState_SetsRawLineAt57600) {
  // Leave the line as another program might: speeds, flow control, processing all set.
  termios2 dirty = pty.settings();
  dirty.c_cflag &= ~(CBAUD | CIBAUD);
  dirty.c_cflag |= B1200 | (B9600 << IBSHIFT) | PARODD | CSTOPB | CRTSCTS;
  dirty.c_iflag |= IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF;
  dirty.c_oflag |= OPOST | ONLCR;
  dirty.c_lflag |= ICANON | ECHO | ISIG | ECHOE | ECHONL;
  pty.setSettings(dirty);

  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
  ASSERT_TRUE(port.open());
  EXPECT_TRUE(port.isOpen());

  const termios2 line = pty.settings();
  const tcflag_t speedBits = pty.hasExtendedCalls() ? BOTHER : B57600;  // B57600: the classic calls
  EXPECT_EQ(line.c_cflag & CBAUD, speedBits);
  EXPECT_EQ(line.c_cflag & CIBAUD, 0u) << "input speed must follow the output speed";
  EXPECT_EQ(line.c_ospeed, 57600u);
  EXPECT_EQ(line.c_ispeed, 57600u);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(line.c_oflag, 0u);
  EXPECT_EQ(line.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | ECHOE | ECHONL), 0u);
  EXPECT_EQ(line.c_cc[VMIN], 1);
  EXPECT_EQ(line.c_cc[VTIME], 0);
}

TEST_F(SerialPortTest, Open_FullConstructor_AppliesSpeedParityAndStopBits) {
  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud460800, rs::CharacterSize::Bits7,
                      rs::Parity::Odd, rs::StopBits::Two);
  ASSERT_TRUE(port.open());
  termios2 line = pty.settings();
  EXPECT_EQ(line.c_ospeed, 460800u);
  EXPECT_TRUE(line.c_cflag & PARODD);
  EXPECT_TRUE(line.c_cflag & CSTOPB);

  // Setters on an open port take effect at once.
  EXPECT_TRUE(port.setParity(rs::Parity::Even));
  EXPECT_TRUE(port.setStopBits(rs::StopBits::One));
  EXPECT_TRUE(port.setEcho(true));
  line = pty.settings();
  EXPECT_FALSE(line.c_cflag & (PARODD | CSTOPB));
  EXPECT_TRUE(line.c_lflag & ECHO);
  EXPECT_FALSE(line.c_lflag & ICANON);
}

TEST_F(SerialPortTest, Speed_TableAndCustom_SetBothSpeedFields) {
  if (!pty.hasExtendedCalls()) {
    GTEST_SKIP() << "the terminal calls here lack TCGETS2 (as under qemu-user), so no custom speed can be set";
  }
  rs::SerialPort port(pty.slavePath(), 250000);
  EXPECT_EQ(port.speedMode(), rs::SpeedMode::Custom);
  ASSERT_TRUE(port.open());
  EXPECT_EQ(pty.settings().c_ospeed, 250000u);
  EXPECT_EQ(pty.settings().c_ispeed, 250000u);

  for (const auto& [index, bitsPerSecond] :
       {std::pair{rs::BaudRate::Baud50, 50u}, std::pair{rs::BaudRate::Baud460800, 460800u}}) {
    ASSERT_TRUE(port.setSpeed(index));
    EXPECT_EQ(port.speedMode(), rs::SpeedMode::Table);
    EXPECT_EQ(pty.settings().c_ospeed, bitsPerSecond);
    EXPECT_EQ(pty.settings().c_ispeed, bitsPerSecond);
  }

  // Switching the mode back picks up the stored custom speed.
  ASSERT_TRUE(port.setSpeedMode(rs::SpeedMode::Custom));
  EXPECT_EQ(pty.settings().c_ospeed, 250000u);
}

// Answers the extended terminal calls with `error`, as an older kernel or qemu-user does, and
// passes every other call to the real line.
rs::SerialPort::TerminalControl withoutExtendedCalls(int error, int* extendedCalls = nullptr) {
  return [error, extendedCalls](int fd, unsigned long request, void* argument) {
    if (request == TCGETS2 || request == TCSETS2) {
      if (extendedCalls) ++*extendedCalls;
      errno = error;
      return -1;
    }
    return ::ioctl(fd, request, argument);
  };
}

TEST_F(SerialPortTest, WithoutExtendedCalls_StandardSpeedGoesThroughSpeedConstants) {
  for (const int error : {ENOSYS, ENOTTY, EINVAL}) {
    int extendedCalls = 0;
    rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud115200, rs::CharacterSize::Bits8,
                        rs::Parity::Odd, rs::StopBits::Two);
    port.setTerminalControl(withoutExtendedCalls(error, &extendedCalls));
    ASSERT_TRUE(port.open()) << error;
    EXPECT_GT(extendedCalls, 0) << "the extended calls are tried first";
    termios2 line = pty.settings();
    EXPECT_EQ(line.c_cflag & CBAUD, static_cast<tcflag_t>(B115200));
    EXPECT_EQ(line.c_cflag & CIBAUD, 0u);
    EXPECT_EQ(line.c_ospeed, 115200u);
    EXPECT_EQ(line.c_ispeed, 115200u);
    EXPECT_TRUE(line.c_cflag & PARODD);
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    EXPECT_EQ(line.c_oflag, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);

    // A custom speed that is a standard one has its constant too.
    ASSERT_TRUE(port.setCustomSpeed(9600));
    EXPECT_EQ(pty.settings().c_ospeed, 9600u);
    ASSERT_TRUE(port.setSpeed(rs::BaudRate::Baud460800));
    EXPECT_EQ(pty.settings().c_ospeed, 460800u);
  }
}

TEST_F(SerialPortTest, WithoutExtendedCalls_NonStandardSpeedFailsAndLeavesTheLine) {
  rs::SerialPort closedPort(pty.slavePath(), 250000);
  closedPort.setTerminalControl(withoutExtendedCalls(ENOSYS));
  EXPECT_FALSE(closedPort.open());
  EXPECT_FALSE(closedPort.isOpen());

  rs::SerialPort openPort(pty.slavePath(), rs::BaudRate::Baud9600);
  openPort.setTerminalControl(withoutExtendedCalls(ENOSYS));
  ASSERT_TRUE(openPort.open());
  EXPECT_FALSE(openPort.setCustomSpeed(250000));
  EXPECT_EQ(pty.settings().c_ospeed, 9600u);
  EXPECT_EQ(openPort.speedMode(), rs::SpeedMode::Table) << "the refused change is undone";

  // Any other failure of the extended calls is a failure, not a reason for the classic ones.
  rs::SerialPort brokenPort(pty.slavePath(), rs::BaudRate::Baud9600);
  brokenPort.setTerminalControl(withoutExtendedCalls(EIO));
  EXPECT_FALSE(brokenPort.open());
}

TEST_F(SerialPortTest, Timeout_BeforeOpen_SetsMinAndTenthsOfSecond) {
  struct Case {
    int timeoutMs;
    int vmin;
    int vtime;
  };
  for (const Case& c : {Case{-1, 1, 0}, Case{0, 0, 0}, Case{99, 0, 0}, Case{150, 0, 1},
                        Case{200, 0, 2}, Case{25500, 0, 255}}) {
    rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
    ASSERT_TRUE(port.setTimeout(c.timeoutMs));
    ASSERT_TRUE(port.open());
    const termios2 line = pty.settings();
    EXPECT_EQ(line.c_cc[VMIN], c.vmin) << c.timeoutMs;
    EXPECT_EQ(line.c_cc[VTIME], c.vtime) << c.timeoutMs;
  }
}

TEST_F(SerialPortTest, Timeout_OutOfRangeOrWhileOpen_IsIgnored) {
  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
  ASSERT_TRUE(port.setTimeout(200));
  EXPECT_FALSE(port.setTimeout(25501));
  EXPECT_FALSE(port.setTimeout(-2));
  ASSERT_TRUE(port.open());
  EXPECT_FALSE(port.setTimeout(0));
  ASSERT_TRUE(port.setEcho(true));  // re-applying keeps the stored time-out
  EXPECT_EQ(pty.settings().c_cc[VMIN], 0);
  EXPECT_EQ(pty.settings().c_cc[VTIME], 2);
}

TEST_F(SerialPortTest, UnsupportedSetting_OpenFailsOrSetterIsUndone) {
  const std::function<bool(rs::SerialPort&)> badChanges[] = {
      [](rs::SerialPort& p) { return p.setCharacterSize(static_cast<rs::CharacterSize>(4)); },
      [](rs::SerialPort& p) { return p.setParity(static_cast<rs::Parity>(3)); },
      [](rs::SerialPort& p) { return p.setStopBits(static_cast<rs::StopBits>(2)); },
      [](rs::SerialPort& p) { return p.setCustomSpeed(-1); },
  };
  for (const auto& badChange : badChanges) {
    rs::SerialPort closedPort(pty.slavePath(), rs::BaudRate::Baud57600);
    EXPECT_TRUE(badChange(closedPort));  // stored; checked when applied
    EXPECT_FALSE(closedPort.open());
    EXPECT_FALSE(closedPort.isOpen());
    EXPECT_EQ(closedPort.write("x"), -1);

    rs::SerialPort openPort(pty.slavePath(), rs::BaudRate::Baud57600, rs::CharacterSize::Bits8,
                            rs::Parity::Odd, rs::StopBits::One);
    ASSERT_TRUE(openPort.open());
    EXPECT_FALSE(badChange(openPort));
    EXPECT_TRUE(openPort.isOpen());
    // The rejected value is gone: the next change applies on top of the old settings.
    EXPECT_TRUE(openPort.setSpeed(rs::BaudRate::Baud9600));
    EXPECT_EQ(pty.settings().c_ospeed, 9600u);
    EXPECT_TRUE(pty.settings().c_cflag & PARODD);
  }
}

// Ten bits a byte at the table's speed, rounded up to the nanosecond; a line without a speed
// takes no time.
TEST(LineTiming, TransmissionTime_TenBitsAByteAtTheTablesSpeed) {
  static_assert(rs::transmissionTime(163, 57600) == 28'298'612ns);
  static_assert(rs::transmissionTime(1, 115200) == 86'806ns);
  static_assert(rs::transmissionTime(4096, 0) == 0ns);
  EXPECT_EQ(rs::bitsPerSecond(rs::BaudRate::Baud57600), 57600);
  EXPECT_EQ(rs::bitsPerSecond(rs::BaudRate::Baud0), 0);
  EXPECT_THROW(rs::bitsPerSecond(static_cast<rs::BaudRate>(20)), std::runtime_error);
}

TEST_F(SerialPortTest, SpeedIndexOutOfTable_ThrowsAndLeavesPortConsistent) {
  const auto beyondTable = static_cast<rs::BaudRate>(20);
  const long descriptorsBefore = openDescriptorCount();
  rs::SerialPort closedPort(pty.slavePath(), beyondTable);
  try {
    closedPort.open();
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "baudRate passed to bool rs::SerialPort::configureTermios() unrecognized.");
  }
  EXPECT_FALSE(closedPort.isOpen());
  EXPECT_EQ(openDescriptorCount(), descriptorsBefore);

  rs::SerialPort openPort(pty.slavePath(), rs::BaudRate::Baud115200);
  ASSERT_TRUE(openPort.open());
  EXPECT_THROW(openPort.setSpeed(beyondTable), std::runtime_error);
  EXPECT_TRUE(openPort.isOpen());
  EXPECT_TRUE(openPort.setEcho(true));
  EXPECT_EQ(pty.settings().c_ospeed, 115200u);

  rs::SerialPort confusedPort(pty.slavePath(), rs::BaudRate::Baud115200);
  ASSERT_TRUE(confusedPort.setSpeedMode(static_cast<rs::SpeedMode>(2)));
  EXPECT_THROW(confusedPort.open(), std::logic_error);
  EXPECT_FALSE(confusedPort.isOpen());
}

TEST_F(SerialPortTest, Transfer_ControlAndBinaryBytes_PassUnchangedBothWays) {
  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud115200);
  ASSERT_TRUE(port.open());
  // ^C, CR, XON, XOFF, NUL, 0xFF, LF, DEL: a cooked line would signal, translate or drop these.
  const std::string awkward("\x03\r\x11\x13\x00\xff\n\x7f", 8);

  pty.send(awkward);
  ASSERT_TRUE(waitForInput(port, static_cast<int>(awkward.size())));
  bytes::Bytes received;
  EXPECT_EQ(port.read(received, 64), static_cast<int>(awkward.size()));
  EXPECT_EQ(received, asBytes(awkward));

  EXPECT_EQ(port.write(awkward), static_cast<int>(awkward.size()));
  EXPECT_EQ(port.write(asBytes("\n\r")), 2);
  EXPECT_EQ(pty.receive(awkward.size() + 2), awkward + "\n\r");
}

TEST_F(SerialPortTest, Read_FewerBytesWaitingThanAsked_ReturnsThoseOnly) {
  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
  ASSERT_TRUE(port.setTimeout(0));
  ASSERT_TRUE(port.open());
  bytes::Bytes out{9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(port.read(out, 5), 0);
  EXPECT_EQ(out, (bytes::Bytes{9, 9, 9, 9, 9, 9, 9}));

  pty.send("abc");
  ASSERT_TRUE(waitForInput(port, 3));
  EXPECT_EQ(port.read(out, 5), 3);
  EXPECT_EQ(out, asBytes("abc"));
  EXPECT_EQ(port.bytesAvailable(), 0);
}

TEST_F(SerialPortTest, ReadWithin_WaitsForInputUpToTheDeadline) {
  rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud115200);
  ASSERT_TRUE(port.open());
  bytes::Bytes out{7};
  EXPECT_EQ(port.readWithin(out, 4, 20), 0);
  EXPECT_EQ(out, bytes::Bytes{7});

  std::thread lateSender([this] {
    std::this_thread::sleep_for(50ms);
    pty.send("xy");
  });
  EXPECT_EQ(port.readWithin(out, 4, 10000), 2);
  lateSender.join();
  EXPECT_EQ(out, asBytes("xy"));
}

TEST_F(SerialPortTest, ClosedPort_EveryTransferFails) {
  rs::SerialPort port("", rs::BaudRate::Baud57600);
  EXPECT_FALSE(port.open());
  bytes::Bytes out{1};
  EXPECT_EQ(port.read(out, 1), -1);
  EXPECT_EQ(port.readWithin(out, 1, 0), -1);
  EXPECT_EQ(port.write("x"), -1);
  EXPECT_EQ(port.write(asBytes("x")), -1);
  EXPECT_EQ(port.bytesAvailable(), -1);
  EXPECT_EQ(port.close(), -1);
  EXPECT_EQ(out, bytes::Bytes{1});

  rs::SerialPort notATerminal("/dev/null", rs::BaudRate::Baud57600);
  EXPECT_FALSE(notATerminal.open()) << "settings that cannot be read are not applied";
  EXPECT_FALSE(notATerminal.isOpen());

  rs::SerialPort missing("/nonexistent/tty", rs::BaudRate::Baud57600);
  EXPECT_FALSE(missing.open());
}

TEST_F(SerialPortTest, Lifecycle_ReopenAndClose_HoldAtMostOneDescriptor) {
  const long descriptorsBefore = openDescriptorCount();
  {
    rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
    ASSERT_TRUE(port.open());
    ASSERT_TRUE(port.open());
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore + 1);
    EXPECT_EQ(port.close(), 0);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.close(), -1);
    ASSERT_TRUE(port.open());
  }
  EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
}

TEST_F(SerialPortTest, DescriptorZero_IsAnOpenPort) {
  // A service started with its standard input closed gets descriptor 0 for its port.
  const int savedInput = ::dup(STDIN_FILENO);
  ::close(STDIN_FILENO);
  {
    rs::SerialPort port(pty.slavePath(), rs::BaudRate::Baud57600);
    const bool opened = port.open() && port.isOpen();
    const char* inputName = ::ttyname(STDIN_FILENO);
    const std::string nameOfZero = inputName ? inputName : "";
    bytes::Bytes out;
    if (opened) pty.send("z");
    const int readCount = opened && waitForInput(port, 1) ? port.read(out, 1) : -1;
    port.close();
    if (savedInput >= 0) ::dup2(savedInput, STDIN_FILENO);

    ASSERT_TRUE(opened);
    ASSERT_EQ(nameOfZero, pty.slavePath());
    EXPECT_EQ(readCount, 1);
    EXPECT_EQ(out, asBytes("z"));
  }
  if (savedInput >= 0) ::close(savedInput);
}

}  // namespace
