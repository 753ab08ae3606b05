#include "tools/gateway/register_line.h"

#include <random>

#include "link/host_protocol.h"

namespace gateway {
namespace {

std::uint32_t randomIdentifier() {
  std::random_device source;
  return static_cast<std::uint32_t>(source());
}

}  // namespace

RegisterLine::RegisterLine(host::HostPort port, std::chrono::milliseconds timeout, std::uint32_t firstIdentifier)
    : port_(std::move(port)),
      timeout_(timeout),
      nextIdentifier_(firstIdentifier != 0 ? firstIdentifier : randomIdentifier()) {}

std::uint32_t RegisterLine::reserveIdentifiers(std::uint32_t count) {
  // 0 would ask the register to make one up: a run of identifiers never wraps through it.
  if (nextIdentifier_ == 0 || nextIdentifier_ > UINT32_MAX - count) nextIdentifier_ = 1;
  const std::uint32_t first = nextIdentifier_;
  nextIdentifier_ += count;
  return first;
}

std::optional<host::Reply> RegisterLine::transact(host::Request request) {
  if (request.identifier == 0) request.identifier = reserveIdentifiers();
  return port_.transact(request, timeout_);
}

std::optional<host::Reply> RegisterLine::transact(std::uint8_t command, bytes::View payload) {
  return transact({.command = command, .payload = bytes::Bytes(payload.begin(), payload.end())});
}

std::optional<host::Reply> RegisterLine::resend() {
  port_.readAvailable(std::chrono::milliseconds(0));
  const std::uint8_t resendByte = protocol::kResendByte;
  if (!port_.send(bytes::View(&resendByte, 1))) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout_;
  while (true) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (remaining.count() <= 0) return std::nullopt;
    const auto body = port_.readFrameBody(remaining);
    if (!body) return std::nullopt;
    if (auto reply = host::parseReplyBody(*body)) return reply;
  }
}

}  // namespace gateway
