// One serial device (a tty) opened for raw binary transfer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "values/bytes.h"

namespace rs {

// Index into the table of standard line speeds.
enum class BaudRate : int {
  Baud0,
  Baud50,
  Baud75,
  Baud110,
  Baud134,
  Baud150,
  Baud200,
  Baud300,
  Baud600,
  Baud1200,
  Baud1800,
  Baud2400,
  Baud4800,
  Baud9600,
  Baud19200,
  Baud38400,
  Baud57600,
  Baud115200,
  Baud230400,
  Baud460800,
};

// The speed of a table index in bits per second. An index outside the table is a programming
// error and throws std::runtime_error.
int bitsPerSecond(BaudRate baudRate);

// Where the line speed comes from: the speed table or a custom number of bits per second.
enum class SpeedMode : int { Table, Custom };

enum class CharacterSize : int { Bits5, Bits6, Bits7, Bits8 };
enum class Parity : int { None, Even, Odd };
enum class StopBits : int { One, Two };

// A serial line set up for raw transfer: no input, output or line processing, no flow
// control, the modem lines ignored. Every line parameter goes to the kernel through the
// extended terminal settings with an explicit numeric speed, so any speed is set the same way.
// Where the kernel (or an emulator) does not know the extended calls, a standard speed is set
// through the classic terminal settings and its speed constant; a speed that has no constant
// then fails to apply, and the port says so on the log.
//
// Settings may be changed while closed or open; while open, a setter applies them at once and
// reports whether the device took them. A rejected change leaves both the stored settings and
// the device as they were. An out-of-range speed index is a programming error: applying it
// throws std::runtime_error, and an impossible speed mode throws std::logic_error.
//
// Reads and writes report failure as -1 and never throw. One thread uses an instance.
class SerialPort {
 public:
  // The terminal-control call the port makes: ioctl(2), unless a test puts a stand-in here.
  using TerminalControl = std::function<int(int fd, unsigned long request, void* argument)>;

  // Read time-outs: block until at least one byte, return at once, or wait up to
  // 1..kMaxTimeoutMs milliseconds (the line counts in tenths of a second, rounded down).
  static constexpr int kBlockingTimeout = -1;
  static constexpr int kMaxTimeoutMs = 25500;

  // All start from 57600 bit/s, 8 data bits, no parity, one stop bit, echo off and a
  // blocking read, then take the name and the parameters given.
  SerialPort(std::string portName, BaudRate baudRate);
  SerialPort(std::string portName, int customSpeed);
  SerialPort(std::string portName, BaudRate baudRate, CharacterSize characterSize, Parity parity,
             StopBits stopBits);
  ~SerialPort();  // closes the port

  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device read-write with synchronous writes, without making it the controlling
  // terminal, and applies the settings. Any descriptor held before is closed first. False,
  // with the port closed, when the name is empty, the device does not open, or the device
  // does not take the settings.
  bool open();
  // Closes the descriptor; the result of close(2), or -1 when the port was not open.
  int close();
  bool isOpen() const { return fd_ >= 0; }

  // One read(2) of up to `n` bytes; does not wait to collect all `n`. Returns the count and
  // replaces `out` with exactly those bytes; returns 0 (nothing arrived within the time-out)
  // or -1 (failure or port closed) with `out` unchanged.
  int read(bytes::Bytes& out, std::size_t n);
  // Waits up to `timeoutMs` (negative: without limit) for input, then reads as `read` does.
  // 0 when nothing arrived in time, -1 on failure or when closed.
  int readWithin(bytes::Bytes& out, std::size_t n, int timeoutMs);
  // One write(2) of all the bytes; its result, or -1 when the port is closed.
  int write(std::string_view data);
  int write(bytes::View data);
  // Count of received bytes waiting to be read, or -1 when closed or on failure.
  int bytesAvailable() const;

  // Setters return false when an open port did not take the change, which is then undone.
  // A custom speed must not be negative.
  bool setSpeed(BaudRate baudRate);
  bool setCustomSpeed(int bitsPerSecond);
  bool setSpeedMode(SpeedMode mode);
  bool setCharacterSize(CharacterSize size);
  bool setParity(Parity parity);
  bool setStopBits(StopBits stopBits);
  bool setEcho(bool on);
  // Stored only while the port is closed and for -1..kMaxTimeoutMs; false when ignored.
  bool setTimeout(int milliseconds);
  // Takes effect at the next open.
  void setPortName(std::string portName);
  // Used from the next call on.
  void setTerminalControl(TerminalControl control);

  SpeedMode speedMode() const { return settings_.speedMode; }

 private:
  struct Settings {
    SpeedMode speedMode = SpeedMode::Table;
    BaudRate baudRate = BaudRate::Baud57600;
    int customSpeed = 0;
    CharacterSize characterSize = CharacterSize::Bits8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool echo = false;
    int timeoutMs = kBlockingTimeout;
  };

  // Applies the settings to the open descriptor. False, with the device unchanged, when the
  // settings cannot be read, a value is unsupported, or the device refuses the new settings.
  bool configureTermios();
  // Stores `next` and, while open, applies it; restores the previous settings when that fails.
  bool changeSettings(const Settings& next);
  // One terminal-control call on the open descriptor through control_.
  int terminalControl(unsigned long request, void* argument) const;

  std::string portName_;
  Settings settings_;
  TerminalControl control_;  // empty: ioctl(2) itself
  int fd_ = -1;  // open exactly while non-negative; 0 is a valid descriptor
};

}  // namespace rs
