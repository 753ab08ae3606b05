// The documents of an archive as data, one document per line: JSON objects, or CSV rows of
// one stored item each. A document's line holds its index record (number, type, date-time,
// shift, fiscal sign, cashier number, fiscalization, place in the file) and every stored item
// with its tag number and name (archive_items.h). Given the device's identity, a JSON line also
// says whether the document's fiscal sign verifies ("signVerified"). The archive is only read.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "documents/doc_descriptor.h"
#include "platform/random_access_file.h"
#include "storage/fiscal_signs.h"

namespace frarchive {

// Which documents: a range of numbers, one shift, or a period (seconds since the epoch, both
// ends included). Unset parts do not narrow the choice.
struct Selection {
  std::uint32_t from = 1;
  std::uint32_t to = UINT32_MAX;
  std::optional<std::uint16_t> shift;
  std::optional<std::uint32_t> periodFrom, periodTo;
};

enum class Format { Json, Csv };

struct ExportResult {
  std::uint32_t documents = 0;  // written
  std::string problem;          // empty, or why the export stopped early
};

ExportResult exportDocuments(platform::RandomAccessFile& archive, const Selection& selection, Format format,
                             std::ostream& out, const DeviceIdentity* identity = nullptr);

// One document's line as JSON; `data` as read from its place (empty when outside the file).
nlohmann::ordered_json documentJson(const DocDescriptor& descriptor, bytes::View data, bool dataInFile);

}  // namespace frarchive
