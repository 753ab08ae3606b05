// The gateway's end of the host line: one request at a time, each with a fresh identifier of
// the gateway's own, and the link's re-send byte for a reply that was lost.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "tools/host/frame.h"
#include "tools/host/port.h"
#include "values/bytes.h"

namespace gateway {

class RegisterLine {
 public:
  // `firstIdentifier` 0 picks a random one: identifiers of an earlier run are then unlikely to
  // come back, so a re-sent reply is never taken for one of this run's.
  RegisterLine(host::HostPort port, std::chrono::milliseconds timeout, std::uint32_t firstIdentifier = 0);

  // `count` consecutive fresh identifiers, none of them 0; the first is returned.
  std::uint32_t reserveIdentifiers(std::uint32_t count = 1);

  // Sends `request` (its identifier as given; 0 takes a fresh one) and waits for the reply that
  // carries it, or identifier 0 (a frame the register could not read). nullopt when none came
  // within the timeout.
  std::optional<host::Reply> transact(host::Request request);
  std::optional<host::Reply> transact(std::uint8_t command, bytes::View payload = {});

  // Sends the re-send byte and takes the next reply frame: the register's last reply, whatever
  // request it answered. nullopt when none came within the timeout.
  std::optional<host::Reply> resend();

  std::chrono::milliseconds timeout() const { return timeout_; }

 private:
  host::HostPort port_;
  std::chrono::milliseconds timeout_;
  std::uint32_t nextIdentifier_;
};

}  // namespace gateway
