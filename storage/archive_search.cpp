#include "storage/archive_search.h"

#include "core/state/result_code.h"

namespace archive_search {

namespace {

// The first number in first .. last whose descriptor satisfies `reached`, which must be false
// for a prefix of the range and true for the rest; last + 1 when it holds for none.
// 64-bit bounds: last may be the largest u32.
template <typename Predicate>
bool firstReached(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, Predicate reached,
                  std::uint64_t& out) {
  std::uint64_t low = first, high = std::uint64_t{last} + 1;  // the answer lies in low .. high
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    DocDescriptor descriptor;
    if (!read(static_cast<std::uint32_t>(middle), descriptor)) return false;
    if (reached(descriptor)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  out = low;
  return true;
}

// The first document reached, or 17 when the range holds none.
template <typename Predicate>
Found firstWhere(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, Predicate reached) {
  std::uint64_t found = 0;
  if (first > last || first == 0) return {result::kNotFound, 0};
  if (!firstReached(read, first, last, reached, found)) return {result::kArchiveNotReady, 0};
  if (found > last) return {result::kNotFound, 0};
  return {result::kSuccess, static_cast<std::uint32_t>(found)};
}

// The document before the first one reached, or 17 when the range holds none.
template <typename Predicate>
Found lastBefore(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, Predicate reached) {
  std::uint64_t found = 0;
  if (first > last || first == 0) return {result::kNotFound, 0};
  if (!firstReached(read, first, last, reached, found)) return {result::kArchiveNotReady, 0};
  if (found == first) return {result::kNotFound, 0};
  return {result::kSuccess, static_cast<std::uint32_t>(found - 1)};
}

}  // namespace

Found firstOfShiftOrLater(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint16_t shift) {
  return firstWhere(read, first, last, [shift](const DocDescriptor& d) { return d.shiftNumber() >= shift; });
}

Found lastOfShiftOrEarlier(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint16_t shift) {
  return lastBefore(read, first, last, [shift](const DocDescriptor& d) { return d.shiftNumber() > shift; });
}

Found firstAtOrAfter(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint32_t seconds) {
  return firstWhere(read, first, last, [seconds](const DocDescriptor& d) { return d.dateTime() >= seconds; });
}

Found lastAtOrBefore(const DescriptorReader& read, std::uint32_t first, std::uint32_t last, std::uint32_t seconds) {
  return lastBefore(read, first, last, [seconds](const DocDescriptor& d) { return d.dateTime() > seconds; });
}

}  // namespace archive_search
