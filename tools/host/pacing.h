// Pacing the documents the host opens: the register refuses (23) a document opened in the same
// second as the one before it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "tools/host/frame.h"
#include "tools/host/session.h"

namespace host {

// The longest wait: the register's clock passes the second of its last document within one
// second, unless it was set back.
inline constexpr std::chrono::milliseconds kLongestPacingWait{1200};

// Sends one request with the given command and no payload; nullopt when no reply came.
using BareTransact = std::function<std::optional<Reply>(std::uint8_t command)>;

// The time of the register's last document from its status reply (serial number, then the
// status record); nullopt when the reply is a refusal or too short to hold the record.
std::optional<std::uint32_t> lastDocumentTime(const Reply& status);

// Waits until the register's clock is past `moment`, asking the clock again every `interval`,
// at most `limit` long. A clock the register does not tell ends the wait. False when a reply
// did not come.
bool waitPastMoment(const BareTransact& transact, std::uint32_t moment,
                    std::chrono::milliseconds limit = kLongestPacingWait,
                    std::chrono::milliseconds interval = std::chrono::milliseconds(100));

// Waits until the register's clock is past the time of its last document (read from its
// status), as waitPastMoment does. The requests are frhost's own: they are not reported and a
// refusal does not count. A register that tells no status (no identity yet) has no document to
// wait for. False when a reply did not come.
bool waitPastLastDocument(Session& session, std::chrono::milliseconds limit = kLongestPacingWait,
                          std::chrono::milliseconds interval = std::chrono::milliseconds(100));

}  // namespace host
