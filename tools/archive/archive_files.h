// The files frarchive reads: an archive, given as the file itself (as copied from a card) or
// as a simulated board's directory, and the identity memory that holds the device's model
// record and key (a 4096-byte copy of the board's EEPROM, or the board directory's).
#pragma once

#include <optional>
#include <string>

#include "storage/archive_checker.h"

namespace frarchive {

// The archive file a path names: a directory is taken as a simulated board's.
std::string archivePathOf(const std::string& given);
// The identity memory of a simulated board's directory; empty when `given` is not one.
std::string boardIdentityPathOf(const std::string& given);

// The model record and the device key; empty with `reason` set when the file cannot be read
// or is not 4096 bytes. As at start-up, 0xFF bytes of the model name read as 0x00.
std::optional<DeviceIdentity> readIdentity(const std::string& path, std::string& reason);

}  // namespace frarchive
