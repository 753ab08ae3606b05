// The host's side of the link framing: a reader and writer of its own, apart from the
// register's, that share with it only the layout of link/host_protocol.h.
//
// A frame is the start byte, LEN (u16), LEN body bytes and the CRC-16 of the two LEN bytes
// followed by the body, sent low byte first. A request body is the command code, the
// transaction identifier (u32; 0 asks the register to make one up) and the payload. A reply body
// is the result code, then the identifier and the result data; a reply whose data did not fit is
// sent as the result code alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/host_protocol.h"
#include "values/bytes.h"

namespace host {

struct Request {
  std::uint8_t command;
  std::uint32_t identifier = 0;
  bytes::Bytes payload = {};
};

struct Reply {
  std::uint8_t code;
  std::uint32_t identifier;
  bytes::Bytes data;
};

// The whole frame around `body`; a body longer than LEN can hold is a programming error.
bytes::Bytes frame(bytes::View body);

bytes::Bytes requestBody(const Request& request);
bytes::Bytes requestFrame(const Request& request);

// A 1-byte body is a bare result code (identifier 0, no data); 5 or more bytes are code,
// identifier and data. Empty bodies and bodies of 2 to 4 bytes are not replies.
std::optional<Reply> parseReplyBody(bytes::View body);

// Cuts frames out of a byte stream fed in arbitrary pieces. Bytes before a start byte are
// skipped and gone. A start byte is taken for a stray byte, and only that byte dropped, when its
// LEN exceeds the largest body expected, when its frame fails the CRC check, or while its frame
// is incomplete but a complete frame with a good CRC follows it: a false or damaged start never
// swallows the frames after it.
class FrameReader {
 public:
  struct Frame {
    bytes::Bytes body;
    bool crcMatches;
  };

  explicit FrameReader(std::size_t maxBody = protocol::kMaxReplyBody) : maxBody_(maxBody) {}

  void feed(bytes::View data);

  // The next complete frame, if the bytes fed so far hold one. A frame with a bad CRC is
  // reported once (crcMatches false) before the search moves on past its start byte.
  std::optional<Frame> next();

  // Takes every byte fed and neither consumed as part of a frame nor skipped.
  bytes::Bytes takeBuffered();

 private:
  std::size_t maxBody_;
  // The bytes fed and not yet taken; those before head_ are consumed or skipped, and go when
  // more bytes are fed, so that cutting frames costs each byte once, however hostile the stream.
  bytes::Bytes buffer_;
  std::size_t head_ = 0;
};

}  // namespace host
