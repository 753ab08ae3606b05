// The archive at start-up, once the identity memory has been loaded: the card is mounted, the
// archive created or opened (its journal resolved, damage refused, the identity memory's
// registration brought up to the archive's) and validated, and the device takes its status
// values and its shift state from it.
#pragma once

#include <memory>

#include "core/state/device_state.h"
#include "platform/board.h"
#include "storage/archive_store.h"
#include "storage/identity_memory.h"

// Null without a mounted card (flags 0x0001 and 0x0010 cleared); otherwise the store, with flag
// 0x0010 telling whether it may be used.
std::unique_ptr<ArchiveStore> startArchive(platform::Board& board, DeviceState& state, IdentityMemory& identity);
