// One screen about an archive, for a first look: its id, the registration in force, how many
// documents and shifts it holds, its last document and its counters, as the fixed areas say
// (verify checks them against the documents). The archive is only read.
#pragma once

#include <string>

#include "platform/random_access_file.h"

namespace frarchive {

// The summary text, UTF-8 with a line end after each line; for a file shorter than an
// archive's fixed head, one line saying so.
std::string summaryText(platform::RandomAccessFile& archive);

}  // namespace frarchive
