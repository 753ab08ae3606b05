#include "tools/host/pacing.h"

#include <algorithm>

#include "core/state/status_records.h"
#include "link/host_protocol.h"
#include "platform/sleep.h"
#include "values/bytes.h"

namespace host {

std::optional<std::uint32_t> lastDocumentTime(const Reply& status) {
  if (status.code != 0 || status.data.size() < FrStatus::StatusStruct::kSize) return std::nullopt;
  // The status record follows the serial number, whatever its length.
  const std::size_t record = status.data.size() - FrStatus::StatusStruct::kSize;
  return bytes::loadU32(status.data, record + FrStatus::StatusStruct::kLastDocumentTime);
}

bool waitPastMoment(const BareTransact& transact, std::uint32_t moment, std::chrono::milliseconds limit,
                    std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto clock = transact(protocol::kReadClock);
    if (!clock) return false;
    if (clock->code != 0 || clock->data.size() != sizeof(std::uint32_t)) return true;
    if (bytes::loadU32(clock->data, 0) > moment) return true;
    const auto remaining = deadline - std::chrono::steady_clock::now();
    if (remaining <= std::chrono::steady_clock::duration::zero()) return true;
    platform::sleepFor(std::min<std::chrono::steady_clock::duration>(remaining, interval));
  }
}

bool waitPastLastDocument(Session& session, std::chrono::milliseconds limit, std::chrono::milliseconds interval) {
  const auto status = session.transact(protocol::kStatus);
  if (!status) return false;
  const auto moment = lastDocumentTime(*status);
  if (!moment) return true;
  return waitPastMoment([&session](std::uint8_t command) { return session.transact(command); }, *moment, limit,
                        interval);
}

}  // namespace host
