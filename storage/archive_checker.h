// The archive consistency checker: reads a whole archive file and lists every way it disagrees
// with itself. Library code for tests and for a service tool; it never writes.
//
// Checked: both magics and the archive id; every index record from document 1 up to the first
// empty one (its number, header and data check values, its data lying right after the previous
// document's and inside the file, times never going back, the fiscalization it names); the four
// slots against the index; the fiscalization count and table; a complete stored registration once
// fiscalized; the shift and period counters and the totals recomputed
// from the cash documents and the drawer cash of the receipts; and the zero area after the counter blocks.
#pragma once

#include <string>
#include <vector>

#include "platform/random_access_file.h"

// One line per disagreement; empty for a consistent archive.
std::vector<std::string> checkArchive(platform::RandomAccessFile& archive);
