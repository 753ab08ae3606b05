// One run of the host's command line on a line it holds: requests sent with identifiers of its
// own, replies printed for people or as JSON, and the exit status they add up to.
#pragma once

#include <chrono>
#include <concepts>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/host/port.h"

namespace host {

// The exit statuses of frhost.
inline constexpr int kExitSuccess = 0;  // every request was answered with code 0
inline constexpr int kExitNoReply = 1;  // a reply did not come, or the line or a file could not be used
inline constexpr int kExitUsage = 2;    // the command line is not valid
inline constexpr int kExitRefused = 3;  // the register answered a request with a non-zero code

// One decoded piece of a reply: its name (words joined by blanks; a JSON key joins them with
// underscores), its value in JSON (numbers, booleans, texts; amounts as exact decimal texts)
// and its text for people (none: the field is for JSON only).
struct Field {
  std::string name;
  nlohmann::ordered_json value;
  std::string text;
};
using Fields = std::vector<Field>;

Field numberField(std::string name, std::uint64_t value);
Field textField(std::string name, std::string text);
Field yesNoField(std::string name, bool value);
// Hundredths as a decimal text with two places, "150.00".
Field moneyField(std::string name, std::int64_t hundredths);
// Seconds since the epoch: the number in JSON, local time and the number for people.
Field timeField(std::string name, std::uint32_t seconds);
// A document's fiscal sign: the number in JSON, ten digits with leading zeros for people.
Field fiscalSignField(std::uint32_t sign);

// The fields given, moved in; a braced list would copy every one of them.
Fields fieldList(std::same_as<Field> auto... fields) {
  Fields list;
  list.reserve(sizeof...(fields));
  (list.push_back(std::move(fields)), ...);
  return list;
}

struct SessionOptions {
  // The identifier of the first request, counted up for each later one; 0 picks a random one.
  std::uint32_t firstIdentifier = 0;
  std::chrono::milliseconds timeout{5000};
  bool json = false;
};

class Session {
 public:
  // Replies go to `out`; notes for people go there too, or to `notes` with JSON output, so that
  // `out` holds nothing but one JSON object per line.
  Session(HostPort& line, const SessionOptions& options, std::ostream& out, std::ostream& notes);

  // Sends one request with an identifier not used before in this session and takes only the
  // reply carrying it (or identifier 0: the register could not read the frame). nullopt when
  // none came in time; that is said on `notes` and makes the exit status kExitNoReply.
  std::optional<Reply> transact(std::uint8_t command, bytes::View payload = {});

  // How a reply shows for people: a line each for result, identifier, data and every field;
  // a line "LABEL: CODE (MEANING)" and one for every field; the fields alone; or nothing (a step
  // of no interest unless it fails).
  enum class Show { kWhole, kLine, kFields, kJsonOnly };

  // Prints one reply and counts a non-zero code as a refusal. In JSON, whatever `show` says:
  // one object holding the request's label and command, the code, its meaning, the identifier,
  // the data in hexadecimal and `fields`. A missing item (code 37) is named as a field.
  void report(std::string_view label, std::uint8_t command, const Reply& reply, const Fields& fields = {},
              Show show = Show::kWhole);

  // Where a line for people goes.
  std::ostream& note() { return options_.json ? notes_ : out_; }
  std::ostream& out() { return out_; }
  bool json() const { return options_.json; }

  // kExitSuccess, kExitRefused or kExitNoReply, the last winning over a refusal.
  int exitStatus() const;
  // Marks the session as failed without a reply (a file that could not be written, say).
  void markFailed() { failed_ = true; }

 private:
  HostPort& line_;
  SessionOptions options_;
  std::ostream& out_;
  std::ostream& notes_;
  std::uint32_t nextIdentifier_;
  bool refused_ = false;
  bool failed_ = false;
};

}  // namespace host
