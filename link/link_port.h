// The line the host link speaks on: the serial port on the board, or bytes in memory for tests
// and fuzzing.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "values/bytes.h"

class LinkPort {
 public:
  virtual ~LinkPort() = default;

  virtual bool open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Blocks until at least one byte; replaces `out` with up to `n` bytes and returns their
  // count, 0 at the end of input, -1 on failure.
  virtual int read(bytes::Bytes& out, std::size_t n) = 0;
  // As read, but gives up after `timeoutMs` and then returns 0.
  virtual int readWithin(bytes::Bytes& out, std::size_t n, int timeoutMs) = 0;
  virtual int write(bytes::View data) = 0;
};

// The host's serial line: 115200 bit/s, 8 bits, no parity, one stop bit, no echo, blocking reads.
std::unique_ptr<LinkPort> makeSerialLinkPort(std::string portName);
