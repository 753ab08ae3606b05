// What the register's result codes mean, as the host's command line prints them.
#pragma once

#include <cstdint>

namespace host {

// "success" for 0, a short text for every code the register names, "unknown code" otherwise.
const char* resultMeaning(std::uint8_t code);

}  // namespace host
