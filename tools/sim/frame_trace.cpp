#include "tools/sim/frame_trace.h"

#include <algorithm>
#include <iterator>

#include "link/host_protocol.h"
#include "tools/host/number_text.h"
#include "tools/host/result_codes.h"

namespace sim {
namespace {

struct Named {
  std::uint8_t code;
  std::string_view text;
};

constexpr Named kCommands[] = {
    {protocol::kReadRecord, "read record"},
    {protocol::kWriteRecord, "write record"},
    {protocol::kReadClock, "read clock"},
    {protocol::kSetClock, "set clock"},
    {protocol::kCancelDocument, "cancel document"},
    {protocol::kAddItem, "add item"},
    {protocol::kOpenFiscalization, "open registration"},
    {protocol::kFinishFiscalization, "finish registration"},
    {protocol::kState, "state"},
    {protocol::kOpenShiftOpening, "open shift opening"},
    {protocol::kFinishShiftOpening, "finish shift opening"},
    {protocol::kOpenShiftClosing, "open shift closing"},
    {protocol::kFinishShiftClosing, "finish shift closing"},
    {protocol::kOpenReceipt, "open receipt"},
    {protocol::kFinishReceipt, "finish receipt"},
    {protocol::kOpenArchiveClosing, "open archive closing"},
    {protocol::kFinishArchiveClosing, "finish archive closing"},
    {protocol::kStatus, "status"},
    {protocol::kIdentity, "identity"},
    {protocol::kDeviceKey, "key"},
    {protocol::kVersion, "version"},
    {protocol::kShiftCounters, "shift counters"},
    {protocol::kPeriodCounters, "period counters"},
    {protocol::kArchiveTotals, "archive totals"},
    {protocol::kSectionSums, "section sums"},
    {protocol::kControlTape, "control tape"},
    {protocol::kSetSerialNumber, "set serial number"},
    {protocol::kRegistrationValue, "registration value"},
    {protocol::kOpenCashDeposit, "open deposit"},
    {protocol::kFinishCashDeposit, "finish deposit"},
    {protocol::kOpenCashPayout, "open payout"},
    {protocol::kFinishCashPayout, "finish payout"},
    {protocol::kOpenDocumentState, "open document state"},
    {protocol::kReport, "report"},
    {protocol::kDocumentCopy, "copy"},
    {protocol::kPrinterStatus, "printer status"},
    {protocol::kReadSetting, "read setting"},
    {protocol::kWriteSetting, "write setting"},
    {protocol::kPrintText, "print text"},
    {protocol::kPrintRaw, "print raw"},
    {protocol::kFeedAndCut, "feed and cut"},
};
static_assert(std::size(kCommands) == std::size(protocol::kAllCommands), "a command without its name");

template <std::size_t N>
std::string_view lookUp(const Named (&table)[N], std::uint8_t code) {
  for (const Named& entry : table) {
    if (entry.code == code) return entry.text;
  }
  return "unknown";
}

std::string hexIdentifier(std::uint32_t value) { return host::hexNumber(value, 8); }

// "no payload", or the count and the bytes in hexadecimal, the first 32 of a longer run.
std::string bytesText(bytes::View data, std::string_view none) {
  constexpr std::size_t kShown = 32;
  if (data.empty()) return std::string(none);
  std::string text = std::to_string(data.size()) + (data.size() == 1 ? " byte " : " bytes ");
  text += bytes::hexUpper(data.first(std::min(data.size(), kShown)));
  if (data.size() > kShown) text += "...";
  return text;
}

std::string commandText(std::uint8_t command) {
  return host::hexNumber(command, 2) + " " + std::string(commandName(command));
}

// The lines for the frames `data` completes in `reader`, each after `arrow`: a frame with a good
// check value as `describe` has it.
template <typename Describe>
std::vector<std::string> frameLines(host::FrameReader& reader, bytes::View data, std::string_view arrow,
                                    Describe describe) {
  reader.feed(data);
  std::vector<std::string> lines;
  while (const auto frame = reader.next()) {
    lines.push_back(std::string(arrow) + (frame->crcMatches ? describe(frame->body)
                                                            : "frame with a bad check value: " + bytesText(frame->body, "empty")));
  }
  return lines;
}

}  // namespace

std::string_view commandName(std::uint8_t command) { return lookUp(kCommands, command); }

// A body of 1 to 4 bytes carries the command code alone.
std::string describeRequest(bytes::View body) {
  if (body.empty()) return "empty request";
  if (body.size() < protocol::kDataOffset) return commandText(body[0]);
  return commandText(body[0]) + ", id " + hexIdentifier(bytes::loadU32(body, protocol::kIdentifierOffset)) + ", " +
         bytesText(body.subspan(protocol::kDataOffset), "no payload");
}

std::string describeReply(bytes::View body, std::optional<std::uint8_t> answeredCommand) {
  const auto reply = host::parseReplyBody(body);
  if (!reply) return "reply that does not decode: " + bytesText(body, "empty");
  std::string text = std::to_string(reply->code) + " " + std::string(host::resultMeaning(reply->code));
  if (body.size() > 1) text += ", id " + hexIdentifier(reply->identifier) + ", " + bytesText(reply->data, "no data");
  if (answeredCommand) text += ", to " + commandText(*answeredCommand);
  return text;
}

std::vector<std::string> FrameTrace::fromHost(bytes::View data) {
  return frameLines(requests_, data, ">> ", [this](bytes::View body) {
    if (!body.empty()) lastCommand_ = body[0];
    return describeRequest(body);
  });
}

std::vector<std::string> FrameTrace::fromService(bytes::View data) {
  return frameLines(replies_, data, "<< ", [this](bytes::View body) {
    std::string line = describeReply(body, lastCommand_);
    lastCommand_.reset();
    return line;
  });
}

}  // namespace sim
