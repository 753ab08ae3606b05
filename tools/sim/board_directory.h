// The directory that stands in for the board's file system.
#pragma once

#include <filesystem>

namespace sim {

// Gives `root` what a board has before its service first runs: dev/, a blank identity memory
// (sys/bus/i2c/devices/0-0050/eeprom, 4096 bytes 0xFF), an inserted card (dev/mmcblk0p1) with
// its mount point mnt/sd/, nv/ and paper/. Whatever already exists is left as it is, so a board
// keeps its state from one run to the next. Failures throw std::filesystem::filesystem_error.
void prepareBoardDirectory(const std::filesystem::path& root);

// The simulated printer's files on the board at `root`: its paper (raw.bin, paper.txt,
// paper.html), the state it is put in while the board runs, and the service's paper-width
// setting, which stands for the width of the roll.
inline std::filesystem::path paperDirectory(const std::filesystem::path& root) { return root / "paper"; }
inline std::filesystem::path printerStateFile(const std::filesystem::path& root) { return root / "printer-state"; }
inline std::filesystem::path paperWidthFile(const std::filesystem::path& root) { return root / "nv/PRINTER_SETTINGS"; }

}  // namespace sim
