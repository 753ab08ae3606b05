#include "tools/sim/host_line_faults.h"

#include <algorithm>

#include "link/host_protocol.h"

namespace sim {

void HostLineFaults::dropRequest(std::uint8_t command, Action then) {
  const std::lock_guard lock(mutex_);
  faults_.push_back({HostLineDirection::FromHost, command, std::move(then)});
}

void HostLineFaults::dropReplyTo(std::uint8_t command, Action then) {
  const std::lock_guard lock(mutex_);
  faults_.push_back({HostLineDirection::FromService, command, std::move(then)});
}

void HostLineFaults::cut(bool on) {
  const std::lock_guard lock(mutex_);
  cut_ = on;
}

std::size_t HostLineFaults::dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

std::vector<std::uint8_t> HostLineFaults::requestsPassed() const {
  const std::lock_guard lock(mutex_);
  return requestsPassed_;
}

std::function<bytes::Bytes(HostLineDirection, bytes::View)> HostLineFaults::filter() {
  return [self = shared_from_this()](HostLineDirection direction, bytes::View data) {
    return self->pass(direction, data);
  };
}

bytes::Bytes HostLineFaults::pass(HostLineDirection direction, bytes::View data) {
  std::vector<Action> actions;
  bytes::Bytes passed;
  {
    const std::lock_guard lock(mutex_);
    if (cut_) return {};
    bytes::Bytes& pending = direction == HostLineDirection::FromHost ? fromHost_ : fromService_;
    bytes::appendBytes(pending, data);
    passed = cutFrames(direction, actions);
  }
  for (const Action& action : actions) action();
  return passed;
}

bytes::Bytes HostLineFaults::cutFrames(HostLineDirection direction, std::vector<Action>& actions) {
  bytes::Bytes& pending = direction == HostLineDirection::FromHost ? fromHost_ : fromService_;
  bytes::Bytes passed;
  std::size_t start = 0;
  while (start < pending.size()) {
    const bytes::View rest = bytes::View(pending).subspan(start);
    if (rest[0] != protocol::kStartByte) {
      passed.push_back(rest[0]);  // a control byte, or a stray one: the service judges it
      ++start;
      continue;
    }
    if (rest.size() < protocol::kBodyOffset) break;
    const std::size_t length = bytes::loadU16(rest, protocol::kLengthOffset);
    if (length > protocol::kMaxReplyBody) {  // no frame of either side is this long
      passed.push_back(rest[0]);
      ++start;
      continue;
    }
    const std::size_t frameSize = length + protocol::kFrameOverhead;
    if (rest.size() < frameSize) break;
    const bytes::View frame = rest.first(frameSize);

    bool drop = false;
    if (direction == HostLineDirection::FromHost) {
      const std::uint8_t command = length > 0 ? frame[protocol::kBodyOffset] : 0;
      drop = takeFault(direction, command, actions);
      if (drop) {
        awaitingReplyTo_.reset();
      } else {
        awaitingReplyTo_ = command;
        requestsPassed_.push_back(command);
      }
    } else {
      drop = awaitingReplyTo_ && takeFault(direction, *awaitingReplyTo_, actions);
      awaitingReplyTo_.reset();  // a frame re-sent on 0x05 answers no new request
    }
    if (drop) {
      ++dropped_;
    } else {
      bytes::appendBytes(passed, frame);
    }
    start += frameSize;
  }
  pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
  return passed;
}

bool HostLineFaults::takeFault(HostLineDirection direction, std::uint8_t command, std::vector<Action>& actions) {
  const auto fault = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) {
    return f.dropped == direction && f.command == command;
  });
  if (fault == faults_.end()) return false;
  if (fault->then) actions.push_back(std::move(fault->then));
  faults_.erase(fault);
  return true;
}

}  // namespace sim
