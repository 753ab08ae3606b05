// The directory that stands in for a board's file system on a simulated board
// (makeSimulatedBoard), and the files by which it presents the card and the clock.
#pragma once

#include <cstdint>
#include <filesystem>

namespace platform {

// Gives `root` what a board has before its service first runs: dev/, a blank identity memory
// (sys/bus/i2c/devices/0-0050/eeprom, 4096 bytes 0xFF), an inserted card (dev/mmcblk0p1) with
// its mount point mnt/sd/, nv/ and paper/. Whatever already exists is left as it is, so a board
// keeps its state from one run to the next. Failures throw std::filesystem::filesystem_error.
void prepareBoardDirectory(const std::filesystem::path& root);

// The card is inserted while its device file exists; the free-space file holds the card's
// available bytes in decimal (absent: the space of the file system); the clock-offset file
// holds the seconds the board's clock is ahead of the machine's (absent: 0).
inline std::filesystem::path cardDeviceFile(const std::filesystem::path& root) { return root / "dev/mmcblk0p1"; }
inline std::filesystem::path cardFreeBytesFile(const std::filesystem::path& root) { return root / "card-free-bytes"; }
inline std::filesystem::path clockOffsetFile(const std::filesystem::path& root) { return root / "clock-offset"; }
// Where the simulated printer puts what it printed.
inline std::filesystem::path paperDirectory(const std::filesystem::path& root) { return root / "paper"; }

// The clock offset the file holds; 0 when there is none or it does not read as a number.
std::int64_t clockOffset(const std::filesystem::path& root);
// Replaces the offset whole: written beside the file and renamed over it, so that a reader
// never sees it half written and a setting that fails leaves the old one. False on failure.
bool setClockOffset(const std::filesystem::path& root, std::int64_t seconds);

}  // namespace platform
