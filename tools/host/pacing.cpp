#include "tools/host/pacing.h"

#include <algorithm>

#include "core/status_records.h"
#include "platform/sleep.h"
#include "tools/host/config_commands.h"
#include "values/bytes.h"

namespace host {
namespace {

constexpr std::uint8_t kStatusCommand = 0x30;

}  // namespace

bool waitPastLastDocument(Session& session, std::chrono::milliseconds limit, std::chrono::milliseconds interval) {
  const auto status = session.transact(kStatusCommand);
  if (!status) return false;
  if (status->code != 0 || status->data.size() < FrStatus::StatusStruct::kSize) return true;
  // The status record follows the serial number, whatever its length.
  const std::size_t record = status->data.size() - FrStatus::StatusStruct::kSize;
  const std::uint32_t lastDocument = bytes::loadU32(status->data, record + FrStatus::StatusStruct::kLastDocumentTime);

  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto clock = session.transact(kReadClockCommand);
    if (!clock) return false;
    if (clock->code != 0 || clock->data.size() != sizeof(std::uint32_t)) return true;
    if (bytes::loadU32(clock->data, 0) > lastDocument) return true;
    const auto remaining = deadline - std::chrono::steady_clock::now();
    if (remaining <= std::chrono::steady_clock::duration::zero()) return true;
    platform::sleepFor(std::min<std::chrono::steady_clock::duration>(remaining, interval));
  }
}

}  // namespace host
