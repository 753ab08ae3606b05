// The host line's traffic as frsim --trace shows it: every complete frame, either way, decoded
// into one line. Requests show the command code and name, the identifier and the payload;
// replies the result code and its meaning, the identifier, the data and the command they answer
// (one request is in flight at a time, so a reply answers the last request seen).
//
//   >> 0x33 version, id 0x00000000, no payload
//   << 0 success, id 0x4F1A0002, 3 bytes 000004, to 0x33 version
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/frame.h"
#include "values/bytes.h"

namespace sim {

std::string_view commandName(std::uint8_t command);

// One line for a request body / a reply body (without the line feed).
std::string describeRequest(bytes::View body);
std::string describeReply(bytes::View body, std::optional<std::uint8_t> answeredCommand);

// Fed the bytes of each direction as they pass, in any pieces.
class FrameTrace {
 public:
  // The lines for the frames these bytes complete.
  std::vector<std::string> fromHost(bytes::View data);
  std::vector<std::string> fromService(bytes::View data);

 private:
  host::FrameReader requests_;
  host::FrameReader replies_;
  std::optional<std::uint8_t> lastCommand_;
};

}  // namespace sim
