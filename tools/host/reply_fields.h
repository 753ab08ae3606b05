// What the data of the register's replies say, field by field, for the commands that read its
// state and for the documents' close replies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/session.h"
#include "values/bytes.h"

namespace host {

// The three version bytes: "version" 0.0.4.
Fields versionFields(bytes::View data);

// The 29-byte state block: shift open (1 byte), shift number (u16), receipt counter (u16), then
// the shift record: last opening document and time, then (u32 each) the last closing document
// and its time, which while a shift is open are the newest document and 0, then the cash in the
// drawer (u64 hundredths). Fields are named for what they hold in the state given.
Fields stateFields(bytes::View data);

// The serial number (up to 10 digits) and the 21-byte status record: flags (u16), fiscalization
// count, format byte, shift number (u16), last document and its time (u32 each), receipt counter
// (u16), open document type (1 byte), capacity in documents (u32).
Fields statusFields(bytes::View data);
// The status flags in words: each flag that is set by its name ("card present", "shift open"),
// the card's and the archive's flags also when clear ("no card", "archive not ready": the
// register then makes no document), and a set bit without a name as its value ("0x8000").
std::vector<std::string> statusFlagNames(std::uint16_t flags);
// The flags of a status reply alone: "flags" (the number, and its names for people) and "flag
// names" (the list, for JSON).
Fields statusFlagFields(bytes::View data);

// The first 44 bytes of the model record: model code (u16), serial number (10 bytes), model
// name (32 bytes CP866).
Fields identityFields(bytes::View data);

// The version and eight fixed bytes, then the 16-byte device key.
Fields keyFields(bytes::View data);

// The type of the open document (1 byte).
Fields openDocumentFields(bytes::View data);

// The close reply of a document of `type` other than a receipt (parseCloseReply).
Fields closeReplyFields(std::uint8_t type, bytes::View data);

}  // namespace host
