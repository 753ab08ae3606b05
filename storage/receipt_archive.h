// The receipt's part of storing: its data pieces and its counter updates. The archive store
// supplies the file access, so the same steps run inside whatever makes a store all-or-nothing.
//
// Data: at the descriptor's offset the stored form, then the tax-rate items, the section items
// and every item line, back to back. The descriptor's length then counts all pieces, while its
// data check value and header check value keep covering the stored form alone.
// Counters: the shift and period counters and the archive totals take the receipt; kinds 0 to
// 3 also add their section totals to their own section sums block.
#pragma once

#include <cstdint>
#include <functional>

#include "documents/doc_descriptor.h"
#include "documents/receipt_doc.h"
#include "values/bytes.h"

namespace receipt_archive {

// Writes document data past the committed end; true when every byte went out.
using WriteData = std::function<bool(std::uint64_t offset, bytes::View data)>;
// Reads a fixed area as the store will leave it; true when the read was whole.
using ReadArea = std::function<bool(std::uint64_t offset, bytes::MutableView out)>;
// Gives a fixed area new contents, all of them or none at the store's commit.
using ChangeArea = std::function<bool(std::uint64_t offset, bytes::Bytes contents)>;

// Writes the pieces from `offset` and sets the descriptor's length. A result code: 7 when the
// pieces add up to more than the receipt's maximum stored size (nothing is written then), 5
// when a write fails.
int writeData(ReceiptDoc& receipt, bytes::View storedForm, std::uint64_t offset, DocDescriptor& descriptor,
              const WriteData& write);

// Adds the receipt to the shift counters, the period counters, the archive totals and, for
// kinds 0 to 3, the section sums of its kind. False when a block could not be read or changed.
bool addToCounters(const ReceiptDoc& receipt, const ReadArea& read, const ChangeArea& change);

}  // namespace receipt_archive
