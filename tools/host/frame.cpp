#include "tools/host/frame.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "link/host_protocol.h"
#include "values/crc.h"

namespace host {

bytes::Bytes frame(bytes::View body) {
  if (body.size() > std::numeric_limits<std::uint16_t>::max()) {
    throw std::length_error("frame body longer than its length field can hold");
  }
  bytes::Bytes out;
  out.reserve(body.size() + protocol::kFrameOverhead);
  bytes::appendU8(out, protocol::kStartByte);
  bytes::appendU16(out, static_cast<std::uint16_t>(body.size()));
  bytes::appendBytes(out, body);
  const std::uint16_t check = crc::crc16(bytes::View(out).subspan(protocol::kLengthOffset));
  bytes::appendU16(out, check);
  return out;
}

bytes::Bytes requestBody(const Request& request) {
  bytes::Bytes body;
  body.reserve(protocol::kDataOffset + request.payload.size());
  bytes::appendU8(body, request.command);
  bytes::appendU32(body, request.identifier);
  bytes::appendBytes(body, request.payload);
  return body;
}

bytes::Bytes requestFrame(const Request& request) { return frame(requestBody(request)); }

std::optional<Reply> parseReplyBody(bytes::View body) {
  if (body.size() == protocol::kCodeSize) return Reply{body[0], 0, {}};
  if (body.size() < protocol::kDataOffset) return std::nullopt;
  bytes::ByteReader reader(body);
  Reply reply{};
  reply.code = reader.u8();
  reply.identifier = reader.u32();
  const bytes::View data = reader.rest();
  reply.data.assign(data.begin(), data.end());
  return reply;
}

void FrameReader::feed(bytes::View data) {
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
  head_ = 0;
  bytes::appendBytes(buffer_, data);
}

namespace {

enum class Candidate { kFalseStart, kIncomplete, kGood, kBadCrc };

// What the bytes from `start` (a start byte) hold.
Candidate examine(bytes::View buffer, std::size_t start, std::size_t maxBody) {
  const bytes::View rest = buffer.subspan(start);
  if (rest.size() < protocol::kBodyOffset) return Candidate::kIncomplete;
  const std::size_t length = bytes::loadU16(rest, protocol::kLengthOffset);
  if (length > maxBody) return Candidate::kFalseStart;
  if (rest.size() < length + protocol::kFrameOverhead) return Candidate::kIncomplete;
  const bytes::View covered = rest.subspan(protocol::kLengthOffset, protocol::kLengthSize + length);
  const bool crcMatches = crc::crc16(covered) == bytes::loadU16(rest, protocol::kBodyOffset + length);
  return crcMatches ? Candidate::kGood : Candidate::kBadCrc;
}

// The position of the first start byte after the first one that begins a complete frame with
// a good CRC, if there is one.
std::optional<std::size_t> laterGoodFrame(bytes::View buffer, std::size_t maxBody) {
  for (std::size_t start = 1; start < buffer.size(); ++start) {
    if (buffer[start] == protocol::kStartByte && examine(buffer, start, maxBody) == Candidate::kGood) return start;
  }
  return std::nullopt;
}

}  // namespace

std::optional<FrameReader::Frame> FrameReader::next() {
  while (true) {
    const bytes::View unread = bytes::View(buffer_).subspan(head_);
    const auto start = std::find(unread.begin(), unread.end(), protocol::kStartByte);
    head_ += static_cast<std::size_t>(start - unread.begin());
    const bytes::View rest = bytes::View(buffer_).subspan(head_);
    if (rest.empty()) return std::nullopt;

    const Candidate found = examine(rest, 0, maxBody_);
    if (found == Candidate::kFalseStart) {
      ++head_;
      continue;
    }
    if (found == Candidate::kIncomplete) {
      // A stray start byte may announce a length that looks plausible; rather than wait for
      // bytes that may never come, take a complete good frame that follows it.
      const auto later = laterGoodFrame(rest, maxBody_);
      if (!later) return std::nullopt;
      head_ += *later;
      continue;
    }
    const bool crcMatches = found == Candidate::kGood;
    const std::size_t length = bytes::loadU16(rest, protocol::kLengthOffset);
    const bytes::View body = rest.subspan(protocol::kBodyOffset, length);
    Frame frame{bytes::Bytes(body.begin(), body.end()), crcMatches};
    head_ += crcMatches ? length + protocol::kFrameOverhead : 1;
    return frame;
  }
}

bytes::Bytes FrameReader::takeBuffered() {
  bytes::Bytes taken(buffer_.begin() + static_cast<std::ptrdiff_t>(head_), buffer_.end());
  buffer_.clear();
  head_ = 0;
  return taken;
}

}  // namespace host
