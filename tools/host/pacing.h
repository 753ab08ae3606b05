// Pacing the documents the host's command line opens: the register refuses (23) a document
// opened in the same second as the one before it.
#pragma once

#include <chrono>

#include "tools/host/session.h"

namespace host {

// The longest wait: the register's clock passes the second of its last document within one
// second, unless it was set back.
inline constexpr std::chrono::milliseconds kLongestPacingWait{1200};

// Waits until the register's clock is past the time of its last document (read from its
// status), asking the clock again every `interval`, at most `limit` long. The requests are
// frhost's own: they are not reported and a refusal does not count. A register that tells no
// status (no identity yet) has no document to wait for. False when a reply did not come.
bool waitPastLastDocument(Session& session, std::chrono::milliseconds limit = kLongestPacingWait,
                          std::chrono::milliseconds interval = std::chrono::milliseconds(100));

}  // namespace host
