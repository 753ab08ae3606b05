// The end of a simulated board's paper (DIR/paper/paper.txt, one UTF-8 line per printed line),
// for GET /v1/paper. The file only grows, by whole lines appended; it is read backwards from its
// end, so the last lines of a roll of thousands of documents cost what those lines cost.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace gateway {

// At most this many bytes are read from the file's end, whatever the lines asked for: a line
// longer than the rest of it is left out.
inline constexpr std::size_t kMostPaperBytes = 1024 * 1024;

// The last `count` lines of `file`, oldest first, without their line ends; a last line being
// written (no line end yet) is one of them. Fewer when the file holds fewer; nullopt when it
// cannot be read.
std::optional<std::vector<std::string>> lastLines(const std::filesystem::path& file, std::size_t count);

}  // namespace gateway
