// Searches over the archive's index by bisection.
//
// Documents are numbered in the order they were stored, and a document is never earlier than
// the one before it nor of an earlier shift, so along the index both the shift numbers and the
// times never decrease (equal values may repeat). Each search reads only the descriptors the
// bisection visits: over n documents at most ceil(log2(n + 1)) reads, 18 for a full index.
// A damaged index that is not in order gives some document of the range, never a crash.
#pragma once

#include <cstdint>
#include <functional>

#include "documents/doc_descriptor.h"

namespace archive_search {

// Reads the index record of one document number; false when it cannot be read.
using DescriptorReader = std::function<bool(std::uint32_t number, DocDescriptor& out)>;

struct Found {
  int code;              // result::kSuccess, kNotFound (no such document in the range) or
                         // kArchiveNotReady (a descriptor could not be read)
  std::uint32_t number;  // the document found; 0 unless code is kSuccess
};

// Among documents first .. last: the first of shift `shift` or of a later shift, and the last
// of shift `shift` or of an earlier shift.
Found firstOfShiftOrLater(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint16_t shift);
Found lastOfShiftOrEarlier(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint16_t shift);

// Among documents first .. last: the first whose time is `seconds` or later, and the last whose
// time is `seconds` or earlier.
Found firstAtOrAfter(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint32_t seconds);
Found lastAtOrBefore(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint32_t seconds);

}  // namespace archive_search
