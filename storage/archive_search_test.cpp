#include "storage/archive_search.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

#include "core/state/result_code.h"

namespace {

using archive_search::Found;

// An index held in memory, document n at element n - 1, counting every read.
struct MemoryIndex {
  std::vector<DocDescriptor> records;
  std::uint32_t failAt = 0;  // a document number whose read fails; 0 for none
  int reads = 0;

  archive_search::DescriptorReader reader() {
    return [this](std::uint32_t number, DocDescriptor& out) {
      ++reads;
      if (number == 0 || number > records.size() || number == failAt) return false;
      out = records[number - 1];
      return true;
    };
  }
};

// Shifts of random length (one document or more); each document a random 0..3 seconds after
// the one before, so that times and shift numbers repeat.
MemoryIndex randomIndex(std::mt19937& random, std::size_t documents) {
  MemoryIndex index;
  std::uint16_t shift = static_cast<std::uint16_t>(random() % 3);
  std::uint32_t time = 1'700'000'000 + random() % 100;
  for (std::size_t n = 1; n <= documents; ++n) {
    if (random() % 4 == 0) shift = static_cast<std::uint16_t>(shift + 1 + random() % 2);
    time += random() % 4;
    DocDescriptor record;
    record.setDocumentNumber(static_cast<std::uint32_t>(n));
    record.setShiftNumber(shift);
    record.setDateTime(time);
    index.records.push_back(record);
  }
  return index;
}

// The same answers by looking at every document of the range.
template <typename Key>
Found bruteFirst(const MemoryIndex& index, std::uint32_t first, std::uint32_t last, Key key, std::uint32_t value) {
  for (std::uint32_t n = first; n >= 1 && n <= last; ++n) {
    if (key(index.records[n - 1]) >= value) return {result::kSuccess, n};
  }
  return {result::kNotFound, 0};
}

template <typename Key>
Found bruteLast(const MemoryIndex& index, std::uint32_t first, std::uint32_t last, Key key, std::uint32_t value) {
  for (std::uint32_t n = last; n >= first && n >= 1; --n) {
    if (key(index.records[n - 1]) <= value) return {result::kSuccess, n};
  }
  return {result::kNotFound, 0};
}

void expectSame(Found actual, Found expected, const char* what, std::uint32_t value) {
  EXPECT_EQ(actual.code, expected.code) << what << " " << value;
  EXPECT_EQ(actual.number, expected.number) << what << " " << value;
}

int readBound(std::uint32_t first, std::uint32_t last) {
  return first > last ? 0 : std::bit_width(std::uint64_t{last} - first + 1);
}

TEST(ArchiveSearch, RandomArchives_AgreeWithLookingAtEveryDocument) {
  std::mt19937 random(20261208);
  const auto shiftOf = [](const DocDescriptor& d) { return std::uint32_t{d.shiftNumber()}; };
  const auto timeOf = [](const DocDescriptor& d) { return d.dateTime(); };
  for (int archive = 0; archive < 300; ++archive) {
    MemoryIndex index = randomIndex(random, 1 + random() % (archive < 20 ? 3 : 200));
    auto read = index.reader();
    const auto count = static_cast<std::uint32_t>(index.records.size());
    const std::uint32_t lastShift = index.records.back().shiftNumber();
    const std::uint32_t startTime = index.records.front().dateTime();
    const std::uint32_t endTime = index.records.back().dateTime();
    for (int query = 0; query < 40; ++query) {
      // Ranges inside the archive, equal bounds, and inverted ones.
      std::uint32_t first = 1 + random() % count, last = 1 + random() % count;
      if (query % 4 == 0) first = 1, last = count;
      if (query % 7 == 0) last = first;
      // Values before, inside and past the archive.
      const std::uint32_t shift = random() % (lastShift + 3);
      const std::uint32_t time = startTime - 2 + random() % (endTime - startTime + 5);
      const auto s = static_cast<std::uint16_t>(shift);

      const auto check = [&](auto search, Found expected, const char* what, std::uint32_t value) {
        index.reads = 0;
        expectSame(search(), expected, what, value);
        EXPECT_LE(index.reads, readBound(first, last)) << what;
      };
      check([&] { return archive_search::firstOfShiftOrLater(read, first, last, s); },
            bruteFirst(index, first, last, shiftOf, s), "first of shift", shift);
      check([&] { return archive_search::lastOfShiftOrEarlier(read, first, last, s); },
            bruteLast(index, first, last, shiftOf, s), "last of shift", shift);
      check([&] { return archive_search::firstAtOrAfter(read, first, last, time); },
            bruteFirst(index, first, last, timeOf, time), "first at", time);
      check([&] { return archive_search::lastAtOrBefore(read, first, last, time); },
            bruteLast(index, first, last, timeOf, time), "last at", time);
    }
  }
}

TEST(ArchiveSearch, OneShift_FoundAtItsEnds) {
  MemoryIndex index;
  for (std::uint32_t n = 1; n <= 5; ++n) {
    DocDescriptor record;
    record.setShiftNumber(1);
    record.setDateTime(1000 + n);
    index.records.push_back(record);
  }
  auto read = index.reader();
  EXPECT_EQ(archive_search::firstOfShiftOrLater(read, 1, 5, 1).number, 1u);
  EXPECT_EQ(archive_search::lastOfShiftOrEarlier(read, 1, 5, 1).number, 5u);
  EXPECT_EQ(archive_search::firstOfShiftOrLater(read, 1, 5, 2).code, result::kNotFound);
  EXPECT_EQ(archive_search::lastOfShiftOrEarlier(read, 1, 5, 0).code, result::kNotFound);
  EXPECT_EQ(archive_search::firstAtOrAfter(read, 1, 5, 1003).number, 3u);
  EXPECT_EQ(archive_search::lastAtOrBefore(read, 1, 5, 1003).number, 3u);
}

// A full index costs at most 18 reads a search; the reads touch no number outside the range.
TEST(ArchiveSearch, FullIndex_ReadsOnlyWhatTheBisectionNeeds) {
  MemoryIndex index;
  index.records.resize(250000);
  for (std::uint32_t n = 1; n <= 250000; ++n) {
    index.records[n - 1].setShiftNumber(static_cast<std::uint16_t>(n / 100));
    index.records[n - 1].setDateTime(n * 10);
  }
  auto read = index.reader();
  for (std::uint32_t time : {0u, 5u, 1'234'560u, 2'500'000u, 4'000'000'000u}) {
    index.reads = 0;
    archive_search::firstAtOrAfter(read, 1, 250000, time);
    EXPECT_LE(index.reads, 18) << time;
  }
  index.reads = 0;
  EXPECT_EQ(archive_search::lastOfShiftOrEarlier(read, 1, 250000, 1234).number, 123499u);
  EXPECT_LE(index.reads, 18);
}

TEST(ArchiveSearch, FailedReadOrEmptyRange_AnswersItsCode) {
  MemoryIndex index = [] {
    std::mt19937 random(7);
    return randomIndex(random, 64);
  }();
  auto read = index.reader();
  index.failAt = 32;  // the bisection's first read
  EXPECT_EQ(archive_search::firstAtOrAfter(read, 1, 63, 0).code, result::kArchiveNotReady);
  EXPECT_EQ(archive_search::lastOfShiftOrEarlier(read, 1, 63, 0).code, result::kArchiveNotReady);
  index.failAt = 0;
  EXPECT_EQ(archive_search::firstAtOrAfter(read, 5, 4, 0).code, result::kNotFound);
  EXPECT_EQ(archive_search::firstAtOrAfter(read, 0, 4, 0).code, result::kNotFound);
  // Past the archive: the reads past its end fail instead of answering.
  EXPECT_EQ(archive_search::firstAtOrAfter(read, 1, 0xFFFFFFFF, 0).code, result::kArchiveNotReady);
}

}  // namespace
