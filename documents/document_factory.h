// Making documents by type: new ones for the host, and documents rebuilt from the archive.
#pragma once

#include <cstdint>
#include <memory>

#include "documents/base_document.h"
#include "documents/doc_descriptor.h"
#include "documents/receipt_doc.h"

// A new document of `type` with copies of the records (null gives the default record; a
// fiscalization always starts from the default registration record) and of the cashier.
// A receipt looks up its sections and discounts in `tables`. Null for a type outside 1 .. 7.
std::shared_ptr<BaseWorkDocument> createDocument(std::uint8_t type, const ModelData* model, const RegData* registration,
                                                 const Cashier& cashier, ReceiptTables tables = {});

// A stored document: made as createDocument with the records and a cashier holding only the
// descriptor's cashier number, then given the descriptor's document number, shift number,
// fiscalization number, date-time and fiscal sign, and then every item of `stored` after its
// type byte through setStoredTag, in order. Null for a type createDocument does not make, for
// a type byte in `stored` other than the descriptor's, or when an item (or an item's header)
// runs past the end of `stored`.
std::shared_ptr<BaseWorkDocument> rebuildDocument(const DocDescriptor& descriptor, bytes::View stored,
                                                  const ModelData* model, const RegData* registration);
