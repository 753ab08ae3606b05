// What the simulated board keeps in its directory besides what the service sees
// (platform/board_directory.h): the lock of the service running on it and the printer's files.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/board_directory.h"

namespace sim {

// Replaces the content of `file` whole: written beside it and renamed over it, so a reader never
// sees it half written. False when it could not be written.
bool replaceFile(const std::filesystem::path& file, std::string_view content);

// The file a running service holds locked, one service per board.
inline std::filesystem::path serviceLockFile(const std::filesystem::path& root) { return root / "frcore.lock"; }

// True while a service runs on the board at `root` (it holds the lock file). A board without a
// lock file is not held, and the check creates nothing.
bool boardHeld(const std::filesystem::path& root);

// The simulated printer's files on the board at `root`: the state it is put in while the board
// runs, and the service's paper-width setting, which stands for the width of the roll. Its paper
// (raw.bin, paper.txt, paper.html) lies in platform::paperDirectory.
inline std::filesystem::path printerStateFile(const std::filesystem::path& root) { return root / "printer-state"; }
inline std::filesystem::path paperWidthFile(const std::filesystem::path& root) { return root / "nv/PRINTER_SETTINGS"; }

}  // namespace sim
