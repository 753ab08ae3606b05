// The fiscal document family: the two abstract classes every document kind derives from.
//
// A document is created when the host opens it, takes items while open, is finished with the
// current time, closed by the archive (numbered, signed, turned into its stored form and its
// descriptor) and printed. Rebuilding from the archive constructs an empty document of the
// type and hands it every stored item through setStoredTag.
//
// Stored form: one byte, the type, then TLV items: 11040 document number (u32), 12117
// fiscalization number (u32), 11021 cashier name (text, its first 256 bytes), 11012 date-time
// (u32), 11077 fiscal sign (u32), then each kind's own items.
//
// Fiscal sign: CRC-32 of the device key (16 bytes), the serial number text and the kind's
// signData(). The default sign checks first that the model record's check value is the one of
// the key and that the registration is complete and sealed with the serial and the key.
//
// A document owns copies of the model, registration and cashier records. Documents are not
// locked; the document commands reach the open one under their own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/state/device_state.h"
#include "documents/doc_descriptor.h"
#include "documents/reg_data.h"
#include "reference/cashier.h"
#include "storage/model_data.h"
#include "values/bytes.h"
#include "values/tags.h"
#include "values/tlv.h"

namespace DocumentType {
inline constexpr std::uint8_t kFiscalization = 1;
inline constexpr std::uint8_t kShiftClosing = 2;
inline constexpr std::uint8_t kReceipt = 3;
inline constexpr std::uint8_t kArchiveClosing = 4;
inline constexpr std::uint8_t kCashDeposit = 5;
inline constexpr std::uint8_t kCashPayout = 6;
inline constexpr std::uint8_t kShiftOpening = 7;

// The fixed set 1 .. 7.
bool isKnown(std::uint8_t type);
}  // namespace DocumentType

class BaseDocument {
 public:
  // Empty: default model and registration records, numbers 0, empty cashier.
  explicit BaseDocument(std::uint8_t type);
  // A new document: copies of the given records (a null record gives the default one).
  BaseDocument(std::uint8_t type, const ModelData* model, const RegData* registration, Cashier cashier);
  virtual ~BaseDocument() = default;

  // Type known, fiscal sign not 0 and a usable cashier.
  virtual bool isComplete() const;
  // An empty document of the same class with everything copyTo copies.
  virtual std::shared_ptr<BaseDocument> clone() const = 0;
  virtual bool verifySign(bytes::View key, std::string_view serial) const = 0;
  virtual bool sign(bytes::View key, std::string_view serial) = 0;
  // CP866.
  virtual std::string title() const = 0;
  // Rendered printer text: the registration header, the title and the cashier line.
  virtual std::string headerText() const;
  virtual std::string footerText(bool withCut) const = 0;
  // Copies this document into `other` when it has the same type and returns it; another type
  // is returned untouched; null gives null. This level copies the model and registration
  // records, the shift number, date-time, fiscal sign and cashier.
  virtual BaseDocument* copyTo(BaseDocument* other) const;

  std::uint8_t type() const { return type_; }
  std::uint16_t shiftNumber() const { return shiftNumber_; }
  std::uint32_t dateTime() const { return dateTime_; }
  std::uint32_t fiscalSign() const { return fiscalSign_; }
  const Cashier& cashier() const { return cashier_; }
  const ModelData& modelData() const { return model_; }
  const RegData& regData() const { return registration_; }

 protected:
  const std::uint8_t type_;
  ModelData model_;
  RegData registration_;
  std::uint16_t shiftNumber_ = 0;
  std::uint32_t dateTime_ = 0;
  std::uint32_t fiscalSign_ = 0;
  Cashier cashier_;
};

class BaseWorkDocument : public BaseDocument {
 public:

  static constexpr std::uint32_t kMaxStoredSize = 4096;
  // The stored cashier name is cut to this many bytes.
  static constexpr std::size_t kStoredNameSize = 256;

  using BaseDocument::BaseDocument;

  // BaseDocument's conditions, a valid model record, a complete registration, and a document
  // number and fiscalization number other than 0.
  bool isComplete() const override;
  bool verifySign(bytes::View key, std::string_view serial) const override;
  bool sign(bytes::View key, std::string_view serial) override;
  // The registration footer, a date and number block, and the fiscal sign block, which ends
  // with the feed-and-cut when `withCut` is set.
  std::string footerText(bool withCut) const override;
  // Also copies the document and fiscalization numbers when `other` is a work document.
  BaseDocument* copyTo(BaseDocument* other) const override;

  // Type known, model record valid, registration complete.
  virtual bool isStorable() const;
  // Open data: empty, or a length byte L and, when L is not 0, a cashier name of L bytes that
  // replaces the cashier's. The shift number becomes the device's current one. 0, or 39 when
  // fewer than L bytes follow.
  virtual int applyOpenData(bytes::View openData, const DeviceState& state);
  // Takes 11021 (cashier name); any other tag gives 34. `printText` receives text to print at
  // once (only receipts give any).
  virtual int addTag(const TlvItem& item, std::string& printText);
  // Sets the date-time and checks the kind's mandatory data. 37 sets `missingTag`.
  virtual int finish(std::uint32_t now, bytes::View key, bytes::View finishingData, std::uint16_t& missingTag,
                     const DeviceState& state) = 0;
  // The host's reply to a stored document: document number, fiscal sign, date-time (u32 each).
  virtual bytes::Bytes closeReply(const DeviceState& state) const;
  // The host's view of the open document: the type byte.
  virtual bytes::Bytes statusReply() const;
  // Restores one stored item; an item no kind takes is logged and skipped.
  virtual void setStoredTag(const TlvItem& item);
  // A descriptor with bytes 0-15 filled from the document, the rest zero.
  virtual std::shared_ptr<DocDescriptor> makeDescriptor() const;
  virtual bytes::Bytes toStored() const;
  virtual std::uint32_t maxStoredSize() const;
  // The bytes the fiscal sign covers after the key and the serial number.
  virtual bytes::Bytes signData() const = 0;

  // What the document prints once it is stored, before its footer, each text a print of its
  // own: a registration's report under its header, a shift's or the archive's totals; none for
  // the other kinds.
  virtual std::vector<std::string> storedReportTexts() const { return {}; }
  // A copy prints its header, the copy banner, its body and its footer.
  virtual std::string copyHeaderText() const { return headerText(); }
  virtual std::string copyBodyText() const { return {}; }

  std::uint32_t documentNumber() const { return documentNumber_; }
  std::uint32_t fiscalizationNumber() const { return fiscalizationNumber_; }
  // The registration's archive id, filled before closing when the record holds 0.
  void setRegistrationArchiveId(std::uint32_t id);

  // Numbers, signs and serialises the document for the archive, which will write the stored
  // bytes at `dataOffset`. Fills `descriptor`: bytes 0-15 from the document, then the data
  // check value, the length, the offset, the header check value and last the fiscalization
  // number. False, with the outputs untouched, when the document cannot be signed, is not
  // complete, or its stored form is longer than maxStoredSize().
  bool closeDocument(std::shared_ptr<DocDescriptor>& descriptor, bytes::Bytes& stored, std::uint32_t number,
                     std::uint32_t fiscalizationNumber, bytes::View key, std::uint64_t dataOffset);

  // Takes the fields a descriptor holds: document number, shift number, fiscalization number,
  // date-time and fiscal sign. Used when rebuilding a stored document.
  void takeDescriptorFields(const DocDescriptor& descriptor);

 protected:
  // The header followed by the line "\nСМЕНА\t" and the shift number.
  std::string headerWithShiftText() const;
  // The model record's check value is the key's and the registration is sealed with it.
  bool identityMatches(bytes::View key, std::string_view serial) const;
  // CRC-32 of the key, the serial and signData().
  std::uint32_t computeSign(bytes::View key, std::string_view serial) const;
  // 37 with 11021 when the cashier has no name, else 0.
  int requireCashierName(std::uint16_t& missingTag) const;
  // The first four bytes of every kind's sign data.
  void appendRegistrationCheck(bytes::Bytes& out) const;
  // Append one item's wire form to a stored form.
  static void appendItem(bytes::Bytes& out, const TlvItem& item);
  static void appendU16Item(bytes::Bytes& out, std::uint16_t tag, std::uint16_t value);
  static void appendU32Item(bytes::Bytes& out, std::uint16_t tag, std::uint32_t value);

  std::uint32_t documentNumber_ = 0;
  std::uint32_t fiscalizationNumber_ = 0;
};
