#include "platform/shell.h"

#include <array>
#include <cstdio>

namespace platform {

std::string runCommand(const std::string& command) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string output;
  std::array<char, 128> chunk{};
  std::size_t count = 0;
  while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), count);
  ::pclose(pipe);
  return output;
}

}  // namespace platform
