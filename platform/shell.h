// Running a shell command and reading what it prints.
#pragma once

#include <string>

namespace platform {

// Runs `command` through /bin/sh and returns its standard output, whatever the command's exit
// status; empty when the shell could not be started.
std::string runCommand(const std::string& command);

}  // namespace platform
