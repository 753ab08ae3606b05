#include "tools/sim/frame_trace.h"

#include <array>
#include <cstdio>

#include "tools/host/result_codes.h"

namespace sim {
namespace {

struct Named {
  std::uint8_t code;
  std::string_view text;
};

constexpr Named kCommands[] = {
    {0x01, "read record"},          {0x02, "write record"},        {0x03, "read clock"},
    {0x04, "set clock"},            {0x06, "cancel document"},     {0x07, "add item"},
    {0x08, "open registration"},    {0x09, "finish registration"}, {0x10, "state"},
    {0x11, "open shift opening"},   {0x12, "finish shift opening"}, {0x13, "open shift closing"},
    {0x14, "finish shift closing"}, {0x15, "open receipt"},        {0x16, "finish receipt"},
    {0x18, "open archive closing"}, {0x19, "finish archive closing"}, {0x30, "status"},
    {0x31, "identity"},             {0x32, "key"},                 {0x33, "version"},
    {0x36, "shift counters"},       {0x37, "period counters"},     {0x38, "archive totals"},
    {0x39, "section sums"},         {0x3A, "control tape"},        {0x3F, "set serial number"},
    {0x44, "registration value"},   {0xA2, "open deposit"},        {0xA3, "finish deposit"},
    {0xA4, "open payout"},          {0xA5, "finish payout"},       {0xB0, "open document state"},
    {0xB1, "report"},               {0xB2, "copy"},                {0xC0, "printer status"},
    {0xC1, "read setting"},         {0xC2, "write setting"},       {0xC3, "print text"},
    {0xC4, "print raw"},            {0xC5, "feed and cut"},
};

template <std::size_t N>
std::string_view lookUp(const Named (&table)[N], std::uint8_t code) {
  for (const Named& entry : table) {
    if (entry.code == code) return entry.text;
  }
  return "unknown";
}

std::string hexByte(std::uint8_t value) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "0x%02X", value);
  return text.data();
}

std::string hexIdentifier(std::uint32_t value) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "0x%08X", value);
  return text.data();
}

// "no payload", or the count and the bytes in hexadecimal, the first 32 of a longer run.
std::string bytesText(bytes::View data, std::string_view none) {
  constexpr std::size_t kShown = 32;
  if (data.empty()) return std::string(none);
  std::string text = std::to_string(data.size()) + (data.size() == 1 ? " byte " : " bytes ");
  text += bytes::hexUpper(data.first(std::min(data.size(), kShown)));
  if (data.size() > kShown) text += "...";
  return text;
}

std::string commandText(std::uint8_t command) { return hexByte(command) + " " + std::string(commandName(command)); }

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
  constexpr std::size_t kHeader = 5;
  if (body.empty()) return "empty request";
  if (body.size() < kHeader) return commandText(body[0]);
  return commandText(body[0]) + ", id " + hexIdentifier(bytes::loadU32(body, 1)) + ", " +
         bytesText(body.subspan(kHeader), "no payload");
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
