// Feeds arbitrary bytes to the host's frame reader as if the register sent them, and every reply
// body it cuts out to each decoder of reply data. None may crash or read outside the data.
#include <cstddef>
#include <cstdint>

#include "link/host_protocol.h"
#include "tools/host/frame.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/reply_fields.h"
#include "tools/host/report_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::FrameReader reader;
  reader.feed(bytes::View(data, size));
  while (const auto frame = reader.next()) {
    const auto reply = host::parseReplyBody(frame->body);
    if (!reply) continue;
    const bytes::View replyData = reply->data;
    host::versionFields(replyData);
    host::stateFields(replyData);
    host::statusFields(replyData);
    host::identityFields(replyData);
    host::keyFields(replyData);
    host::openDocumentFields(replyData);
    host::closeReplyFields(reply->code, replyData);
    host::receiptFields(replyData);
    host::tapeContinuation(protocol::kControlTape, reply->code, replyData);
  }
  return 0;
}
