// Faults on the host line of a simulated board, for tests of what a host does when a request
// or its reply is lost: the board's relay hands every byte it carries to filter(), which
// passes them on whole frames at a time and drops the frames the test has asked to lose.
//
//   auto faults = std::make_shared<sim::HostLineFaults>();
//   options.hostRelay = true;
//   options.filterHostLine = faults->filter();
//   faults->dropReplyTo(22);   // the next receipt finish is stored, but its reply never arrives
//
// The line carries one request at a time, so the frame the service sends after a request is
// that request's reply. Bytes outside frames (the re-send byte 0x05) pass at once; a frame
// passes once its last byte has arrived.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "tools/sim/simulated_board.h"
#include "values/bytes.h"

namespace sim {

class HostLineFaults : public std::enable_shared_from_this<HostLineFaults> {
 public:
  // Called on the relay's thread when an armed fault has dropped its frame, with the lock
  // released: a test may stop the service there (as a power cut right after a store would).
  using Action = std::function<void()>;

  // The next request with command `command` is dropped: the service never sees it.
  void dropRequest(std::uint8_t command, Action then = {});
  // The reply to the next request with command `command` is dropped after the service made it.
  void dropReplyTo(std::uint8_t command, Action then = {});
  // While cut, every byte either way is dropped.
  void cut(bool on);

  // How many frames the armed faults have dropped so far.
  std::size_t dropped() const;
  // The commands of the requests that reached the service, in order.
  std::vector<std::uint8_t> requestsPassed() const;

  // The relay's filter: takes the bytes read from one side, returns those to write to the other.
  bytes::Bytes pass(HostLineDirection direction, bytes::View data);
  // pass() as the filter a BoardOptions takes; it keeps this object alive.
  std::function<bytes::Bytes(HostLineDirection, bytes::View)> filter();

 private:
  struct Fault {
    HostLineDirection dropped;  // the direction of the frame it drops
    std::uint8_t command;
    Action then;
  };
  // The bytes of one direction that pass, whole frames at a time; frames to drop are left out
  // and their faults' actions collected in `actions`.
  bytes::Bytes cutFrames(HostLineDirection direction, std::vector<Action>& actions);
  bool takeFault(HostLineDirection direction, std::uint8_t command, std::vector<Action>& actions);

  mutable std::mutex mutex_;
  bool cut_ = false;
  std::vector<Fault> faults_;
  std::size_t dropped_ = 0;
  std::vector<std::uint8_t> requestsPassed_;
  // The command of the last request carried (or dropped); its reply is the service's next frame.
  std::optional<std::uint8_t> awaitingReplyTo_;
  bytes::Bytes fromHost_, fromService_;
};

}  // namespace sim
