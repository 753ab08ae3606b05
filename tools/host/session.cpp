#include "tools/host/session.h"

#include <iomanip>
#include <random>
#include <sstream>

#include "core/state/result_code.h"
#include "tools/host/document_commands.h"
#include "tools/host/number_text.h"
#include "tools/host/result_codes.h"
#include "values/bytes.h"
#include "values/decimal.h"
#include "values/local_time.h"

namespace host {
namespace {

// Field names are padded to this width in the text for people.
constexpr int kNameWidth = 16;

std::uint32_t randomIdentifier() {
  std::random_device source;
  return static_cast<std::uint32_t>(source());
}

std::string jsonKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == ' ' || c == '-') c = '_';
  }
  return key;
}

std::string spacedHex(bytes::View data) {
  std::ostringstream text;
  text << std::hex << std::uppercase << std::setfill('0');
  for (std::size_t i = 0; i < data.size(); ++i) text << (i == 0 ? "" : " ") << std::setw(2) << unsigned{data[i]};
  return text.str();
}

}  // namespace

Field numberField(std::string name, std::uint64_t value) { return {std::move(name), value, std::to_string(value)}; }

Field textField(std::string name, std::string text) { return {std::move(name), text, text}; }

Field yesNoField(std::string name, bool value) { return {std::move(name), value, value ? "yes" : "no"}; }

Field moneyField(std::string name, std::int64_t hundredths) {
  const std::string text = Decimal(Decimal::kMoneyScale, hundredths).toString();
  return {std::move(name), text, text};
}

Field timeField(std::string name, std::uint32_t seconds) {
  return {std::move(name), seconds,
          localTimeText(seconds, "%Y-%m-%d %H:%M:%S") + " (" + std::to_string(seconds) + ")"};
}

Field fiscalSignField(std::uint32_t sign) {
  std::string digits = std::to_string(sign);
  digits.insert(0, 10 - digits.size(), '0');
  return {"fiscal sign", sign, std::move(digits)};
}

Session::Session(HostPort& line, const SessionOptions& options, std::ostream& out, std::ostream& notes)
    : line_(line),
      options_(options),
      out_(out),
      notes_(notes),
      nextIdentifier_(options.firstIdentifier != 0 ? options.firstIdentifier : randomIdentifier()) {}

std::optional<Reply> Session::transact(std::uint8_t command, bytes::View payload) {
  if (nextIdentifier_ == 0) ++nextIdentifier_;  // 0 would let the register pick one
  const std::uint32_t identifier = nextIdentifier_++;
  auto reply = line_.transact(
      {.command = command, .identifier = identifier, .payload = {payload.begin(), payload.end()}}, options_.timeout);
  if (!reply) {
    failed_ = true;
    notes_ << "frhost: no reply to command " << unsigned{command} << " within " << options_.timeout.count()
           << " ms\n";
  }
  return reply;
}

void Session::report(std::string_view label, std::uint8_t command, const Reply& reply, const Fields& fields,
                     Show show) {
  if (reply.code != 0) refused_ = true;
  Fields all = fields;
  if (reply.code == result::kMandatoryMissing && reply.data.size() == sizeof(std::uint16_t)) {
    const std::uint16_t tag = bytes::loadU16(reply.data, 0);
    const std::string_view name = missingItemName(tag);
    all.push_back({"missing tag", tag, std::to_string(tag) + (name.empty() ? "" : " (" + std::string(name) + ")")});
  }
  if (options_.json) {
    nlohmann::ordered_json object = {{"request", label},
                                     {"command", command},
                                     {"code", reply.code},
                                     {"meaning", resultMeaning(reply.code)},
                                     {"identifier", reply.identifier},
                                     {"data", bytes::hexUpper(reply.data)}};
    for (const Field& field : all) object[jsonKey(field.name)] = field.value;
    out_ << object.dump() << "\n";
    return;
  }
  if (show == Show::kJsonOnly) return;
  if (show == Show::kLine) {
    out_ << label << ": " << unsigned{reply.code} << " (" << resultMeaning(reply.code) << ")\n";
  } else if (show == Show::kWhole) {
    out_ << std::left << std::setw(kNameWidth) << "result" << unsigned{reply.code} << " ("
         << resultMeaning(reply.code) << ")\n"
         << std::setw(kNameWidth) << "identifier" << hexNumber(reply.identifier, 8) << "\n"
         << std::setw(kNameWidth) << "data" << (reply.data.empty() ? "(none)" : spacedHex(reply.data)) << "\n";
  }
  for (const Field& field : all) {
    if (field.text.empty()) continue;
    out_ << std::left << std::setw(kNameWidth - 1) << field.name << " " << field.text << "\n";
  }
  out_ << std::right;
}

int Session::exitStatus() const {
  if (failed_) return kExitNoReply;
  return refused_ ? kExitRefused : kExitSuccess;
}

}  // namespace host
