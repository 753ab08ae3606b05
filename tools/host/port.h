// The host's end of the link: a serial line (or a pseudo-terminal) speaking host frames.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "tools/host/frame.h"
#include "values/bytes.h"

namespace host {

class HostPort {
 public:
  // Opens a terminal device, takes an exclusive lock on it (flock; waiting while another
  // process holds one), sets raw mode at 115200 bit/s and discards anything already waiting in
  // its input. The lock lasts as long as the port: processes that open the same line take
  // turns, and none discards or takes the replies of another. nullopt with errno set when the
  // device cannot be opened or locked or is not a terminal.
  static std::optional<HostPort> open(const std::string& path);

  // Adopts an open descriptor (for example a pseudo-terminal master) as it is configured.
  explicit HostPort(int fd) : fd_(fd) {}
  ~HostPort();

  HostPort(HostPort&& other) noexcept;
  HostPort& operator=(HostPort&& other) noexcept;
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  // Writes all of `data`; false when the line refuses it.
  bool send(bytes::View data);

  // The body of the next frame with a good CRC, or nullopt when none completes in time.
  // Frames with a bad CRC and bytes outside frames are skipped.
  std::optional<bytes::Bytes> readFrameBody(std::chrono::milliseconds timeout);

  // Sends one request and waits for its reply. Replies still pending from earlier exchanges
  // are discarded first. A request with a non-zero identifier takes only a reply carrying that
  // identifier or identifier 0 (a frame the register could not read); one with identifier 0
  // takes the first reply.
  std::optional<Reply> transact(const Request& request,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Every byte that arrives until the line has been quiet for `quiet`, after the bytes received
  // earlier and still held as the start of an unfinished frame.
  bytes::Bytes readAvailable(std::chrono::milliseconds quiet);

 private:
  // The bytes that arrive within `timeout`: empty when none do.
  bytes::Bytes readSome(std::chrono::milliseconds timeout);

  int fd_;
  FrameReader reader_;
};

}  // namespace host
