// The host link: the register's side of the point-of-sale host's serial line.
//
// Frames, bodies and the re-send byte are laid out in link/host_protocol.h.
//
// One request is in flight at a time: a frame is read, answered by the link itself (version,
// state, identity, key, registration values) or carried to the core through the processing
// queue, and the next frame is read only after the reply has been written.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/state/device_state.h"
#include "link/link_port.h"
#include "link/processing_queue.h"
#include "link/queue_records.h"
#include "platform/board.h"
#include "platform/sleep.h"

class HostLink {
 public:
  // What happens to commands the link does not serve itself.
  enum class Core { Running, Absent };

  HostLink(std::string portName, DeviceState& state, const platform::Board& board, Core core = Core::Running);
  HostLink(std::unique_ptr<LinkPort> port, DeviceState& state, const platform::Board& board, Core core);
  ~HostLink();

  HostLink(const HostLink&) = delete;
  HostLink& operator=(const HostLink&) = delete;

  // The session: serves requests until stop() is called. While the port is missing or cannot be
  // opened it tries again about once a second, quietly. A reply goes out 10 ms after its
  // result; a command carried to the core no sooner than 30 ms after it was queued (the link's
  // first poll of the queue 20 ms after the push, then the pause), however quick the core.
  // An unreadable frame is answered after 20 ms.
  void run();
  void stop() { stopRequested_ = true; }

  // Opens the port with the link's line settings; false when it is not there.
  bool openPort();

  // Reads one request frame into `transaction`: 0, or the result code of a frame that could
  // not be read (9 CRC mismatch, 11 bad length or a frame that stopped arriving, 12 no start
  // byte).
  int readFrame(CoreTransaction& transaction);
  // Frames and writes a reply and remembers it as the last reply.
  void sendReply(const CoreApiResult& result);
  // Serves a link-level command or carries the transaction to the core; false when the core
  // gave no result.
  bool handleRequest(const CoreTransaction& transaction, CoreApiResult& result);

 private:
  // Reads `count` bytes, in as many pieces as the device delivers, each piece within the piece
  // time-out. What the stage got replaces `buffer`; a stage that got nothing leaves it as the
  // previous stage filled it (the diagnostics print it). False when the bytes stopped coming or
  // the port failed before all `count` came.
  bool readPieces(bytes::Bytes& buffer, std::size_t count);
  // Queues the transaction for the core and waits for its result, noting when it was queued.
  bool execOnCore(const CoreTransaction& transaction, CoreApiResult& result);
  // When the reply to the request just handled may go out.
  platform::SteadyClock::time_point replyTime() const;
  std::uint32_t makeUpIdentifier(const CoreTransaction& transaction) const;
  bytes::Bytes stateBlock() const;
  bool portLost() const;

  DeviceState& state_;
  const platform::Board& board_;
  Core core_;
  std::unique_ptr<LinkPort> port_;
  CoreQueue queue_;
  std::atomic<bool> stopRequested_{false};
  CoreApiResult lastReply_;
  int lastReadError_ = 0;  // errno of the last failed read of a start byte, 0 for an end of input
  // When the request being served was queued for the core; empty while it did not reach it.
  std::optional<platform::SteadyClock::time_point> queuedAt_;
};
