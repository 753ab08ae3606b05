#include "tools/archive/archive_export.h"

#include <algorithm>

#include "core/state/result_code.h"
#include "documents/document_factory.h"
#include "storage/archive_layout.h"
#include "storage/archive_search.h"
#include "tools/archive/archive_items.h"

namespace frarchive {

namespace {

using namespace archive_layout;

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string valueText(const nlohmann::ordered_json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// One row per item, containers flattened: PATH is the tags from the top, "11059/11079".
void writeCsvRows(std::ostream& out, const std::string& head, const nlohmann::ordered_json& items, const std::string& path) {
  for (const nlohmann::ordered_json& item : items) {
    if (item.contains("error")) {
      out << head << ',' << csvField(path) << ",,error," << csvField(item["error"].get<std::string>()) << '\n';
      continue;
    }
    const std::string itemPath = path + (path.empty() ? "" : "/") + std::to_string(item["tag"].get<int>());
    if (item.contains("items")) {
      writeCsvRows(out, head, item["items"], itemPath);
      continue;
    }
    const std::string value = item.contains("value") ? valueText(item["value"]) : "hex:" + item["hex"].get<std::string>();
    out << head << ',' << itemPath << ',' << item["tag"].get<int>() << ',' << csvField(item["name"].get<std::string>())
        << ',' << csvField(value) << '\n';
  }
}

class Exporter {
 public:
  Exporter(platform::RandomAccessFile& archive, const DeviceIdentity* identity)
      : archive_(archive), size_(archive.size().value_or(0)) {
    if (identity != nullptr) signs_.emplace(*identity);
  }

  bool readDescriptor(std::uint32_t number, DocDescriptor& out) {
    if (number < 1 || number > kIndexCapacity) return false;
    bytes::Bytes record(kRecordSize);
    if (!archive_.readAt(indexRecordOffset(number), record)) return false;
    out = DocDescriptor::fromBytes(record);
    return true;
  }

  // The numbers chosen, as a range; empty when nothing matches.
  std::pair<std::uint32_t, std::uint32_t> range(const Selection& selection, std::string& problem) {
    DocDescriptor last;
    if (size_ < kDataOffset || !readSlot(kLastDocumentSlot, last)) {
      problem = "not an archive: shorter than its fixed head";
      return {1, 0};
    }
    const std::uint32_t newest = std::min(last.documentNumber(), kIndexCapacity);
    std::uint32_t first = std::max<std::uint32_t>(selection.from, 1), end = std::min(selection.to, newest);
    const archive_search::DescriptorReader read = [this](std::uint32_t n, DocDescriptor& out) {
      return readDescriptor(n, out);
    };
    const auto narrow = [&](archive_search::Found low, archive_search::Found high) {
      if (low.code != result::kSuccess || high.code != result::kSuccess) {
        end = 0;
        return;
      }
      first = std::max(first, low.number);
      end = std::min(end, high.number);
    };
    if (first > end) return {1, 0};
    if (selection.shift) {
      narrow(archive_search::firstOfShiftOrLater(read, first, end, *selection.shift),
             archive_search::lastOfShiftOrEarlier(read, first, end, *selection.shift));
    }
    if (selection.periodFrom && first <= end) {
      narrow(archive_search::firstAtOrAfter(read, first, end, *selection.periodFrom),
             archive_search::lastAtOrBefore(read, first, end, selection.periodTo.value_or(UINT32_MAX)));
    }
    return {first, end};
  }

  ExportResult run(const Selection& selection, Format format, std::ostream& out) {
    ExportResult result;
    const auto [first, end] = range(selection, result.problem);
    if (signs_ && !signs_->usable()) {
      result.problem = "identity memory: model record not sealed with the device key; signs not verified";
      signs_.reset();
    }
    if (format == Format::Csv) out << "number,type,date_time,shift,fiscal_sign,path,tag,name,value\n";
    for (std::uint32_t n = first; n <= end && n != 0; ++n) {
      DocDescriptor descriptor;
      if (!readDescriptor(n, descriptor)) {
        result.problem = "index record " + std::to_string(n) + " cannot be read";
        break;
      }
      if (descriptor == DocDescriptor()) break;
      const std::optional<bytes::Bytes> data = readData(descriptor);
      nlohmann::ordered_json document = documentJson(descriptor, data.value_or(bytes::Bytes()), data.has_value());
      if (signs_) document["signVerified"] = data && signSound(descriptor, *data);
      if (format == Format::Json) {
        out << document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
      } else {
        const std::string head = std::to_string(n) + ',' + csvField(document["type"].get<std::string>()) + ',' +
                                 document["dateTime"].get<std::string>() + ',' + std::to_string(descriptor.shiftNumber()) +
                                 ',' + std::to_string(descriptor.fiscalSign());
        writeCsvRows(out, head, document["items"], "");
      }
      ++result.documents;
    }
    return result;
  }

 private:
  // The document's data; none when they lie outside the file or cannot be read.
  std::optional<bytes::Bytes> readData(const DocDescriptor& descriptor) {
    const bool inFile = descriptor.dataOffset() >= kDataOffset && descriptor.dataOffset() <= size_ &&
                        descriptor.dataLength() <= size_ - descriptor.dataOffset();
    bytes::Bytes data(inFile ? descriptor.dataLength() : 0);
    if (!inFile || !archive_.readAt(descriptor.dataOffset(), data)) return std::nullopt;
    return data;
  }

  // The document rebuilt under the registration of its fiscalization, which is read first when
  // it is not among the documents exported so far.
  bool signSound(const DocDescriptor& descriptor, bytes::View data) {
    const std::uint32_t fiscalization = descriptor.fiscalizationNumber();
    DocDescriptor record;
    if (signs_->registration(fiscalization) == nullptr && fiscalization != descriptor.documentNumber() &&
        readDescriptor(fiscalization, record) && record.type() == DocumentType::kFiscalization) {
      const auto stored = readData(record);
      const auto made = stored ? rebuildDocument(record, *stored, &signs_->model(), nullptr) : nullptr;
      if (made) signs_->takeFiscalization(fiscalization, *made);
    }
    const auto document = rebuildDocument(descriptor, data, &signs_->model(), signs_->registration(fiscalization));
    if (document && document->type() == DocumentType::kFiscalization) {
      signs_->takeFiscalization(descriptor.documentNumber(), *document);
    }
    return document && signs_->sound(*document);
  }

  bool readSlot(std::uint64_t offset, DocDescriptor& out) {
    bytes::Bytes record(kRecordSize);
    if (!archive_.readAt(offset, record)) return false;
    out = DocDescriptor::fromBytes(record);
    return true;
  }

  platform::RandomAccessFile& archive_;
  std::uint64_t size_;
  std::optional<FiscalSigns> signs_;  // with the device's identity
};

}  // namespace

nlohmann::ordered_json documentJson(const DocDescriptor& descriptor, bytes::View data, bool dataInFile) {
  nlohmann::ordered_json document = {
      {"number", descriptor.documentNumber()},
      {"type", documentTypeName(descriptor.type())},
      {"typeCode", descriptor.type()},
      {"dateTime", timeText(descriptor.dateTime())},
      {"shift", descriptor.shiftNumber()},
      {"fiscalSign", descriptor.fiscalSign()},
      {"cashierNumber", descriptor.cashierNumber()},
      {"fiscalization", descriptor.fiscalizationNumber()},
      {"offset", descriptor.dataOffset()},
      {"length", descriptor.dataLength()},
  };
  if (!dataInFile) {
    document["items"] = nlohmann::ordered_json::array({{{"error", "data outside the file"}}});
  } else {
    document["items"] = storedItemsJson(data);
  }
  return document;
}

ExportResult exportDocuments(platform::RandomAccessFile& archive, const Selection& selection, Format format,
                             std::ostream& out, const DeviceIdentity* identity) {
  return Exporter(archive, identity).run(selection, format, out);
}

}  // namespace frarchive
