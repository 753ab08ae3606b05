// Feeds arbitrary bytes to the host's frame reader as if the register sent them, and every reply
// body it cuts out to a decoder of reply data. None may crash or read outside the data.
#include <cstddef>
#include <cstdint>

#include "link/host_protocol.h"
#include "tools/host/frame.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/reply_fields.h"
#include "tools/host/report_commands.h"

namespace {

// Every decoder of reply data. frhost reads a reply with the one decoder of the command it sent;
// here the reply's identifier picks it, so that each reply costs one decoding, not all of them.
void decode(const host::Reply& reply) {
  const bytes::View data = reply.data;
  switch (reply.identifier % 9) {
    case 0: host::versionFields(data); break;
    case 1: host::stateFields(data); break;
    case 2: host::statusFields(data); break;
    case 3: host::identityFields(data); break;
    case 4: host::keyFields(data); break;
    case 5: host::openDocumentFields(data); break;
    case 6: host::closeReplyFields(reply.code, data); break;
    case 7: host::receiptFields(data); break;
    default: host::tapeContinuation(protocol::kControlTape, reply.code, data); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::FrameReader reader;
  reader.feed(bytes::View(data, size));
  while (const auto frame = reader.next()) {
    if (const auto reply = host::parseReplyBody(frame->body)) decode(*reply);
  }
  return 0;
}
