// The removable card that holds the fiscal archive.
#pragma once

#include <cstdint>
#include <string>

#include "platform/board.h"

namespace card {

inline constexpr const char* kArchiveFileName = "V0XD24TX";

// Mounts the card unless it is mounted already; false (with one diagnostic line) when there is
// no card, no mount point can be made, or the mount did not take.
bool mountCard(platform::Board& board);
bool cardMounted(const platform::Board& board);
// The archive's path on a mounted card; empty when the card is not mounted.
std::string archivePath(const platform::Board& board);
// 80 % of the bytes available on a mounted card; 0 when not mounted.
std::uint64_t cardSpace(const platform::Board& board);

}  // namespace card
