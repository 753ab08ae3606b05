// The directory that stands in for the board's file system.
#pragma once

#include <filesystem>
#include <string_view>

namespace sim {

// Gives `root` what a board has before its service first runs: dev/, a blank identity memory
// (sys/bus/i2c/devices/0-0050/eeprom, 4096 bytes 0xFF), an inserted card (dev/mmcblk0p1) with
// its mount point mnt/sd/, nv/ and paper/. Whatever already exists is left as it is, so a board
// keeps its state from one run to the next. Failures throw std::filesystem::filesystem_error.
void prepareBoardDirectory(const std::filesystem::path& root);

// The card, its free space and the clock as the simulated board presents them to the service:
// the card is inserted while its device file exists; a free-space file holds the card's
// available bytes in decimal (absent: the space of the file system); the clock-offset file
// holds the seconds the board's clock is ahead of the machine's (absent: 0).
inline std::filesystem::path cardDeviceFile(const std::filesystem::path& root) { return root / "dev/mmcblk0p1"; }
inline std::filesystem::path cardFreeBytesFile(const std::filesystem::path& root) { return root / "card-free-bytes"; }
inline std::filesystem::path clockOffsetFile(const std::filesystem::path& root) { return root / "clock-offset"; }

// Replaces the content of `file` whole: written beside it and renamed over it, so a reader never
// sees it half written. False when it could not be written.
bool replaceFile(const std::filesystem::path& file, std::string_view content);

// The file a running service holds locked, one service per board.
inline std::filesystem::path serviceLockFile(const std::filesystem::path& root) { return root / "frcore.lock"; }

// True while a service runs on the board at `root` (it holds the lock file). A board without a
// lock file is not held, and the check creates nothing.
bool boardHeld(const std::filesystem::path& root);

// The simulated printer's files on the board at `root`: its paper (raw.bin, paper.txt,
// paper.html), the state it is put in while the board runs, and the service's paper-width
// setting, which stands for the width of the roll.
inline std::filesystem::path paperDirectory(const std::filesystem::path& root) { return root / "paper"; }
inline std::filesystem::path printerStateFile(const std::filesystem::path& root) { return root / "printer-state"; }
inline std::filesystem::path paperWidthFile(const std::filesystem::path& root) { return root / "nv/PRINTER_SETTINGS"; }

}  // namespace sim
