// A command's own arguments on the host's command line, declared as options and positionals of
// its subcommand: what frhost lists in a command's help and names in one-line errors.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/host/number_text.h"
#include "tools/host/plan.h"

namespace host {

using Arguments = std::span<const std::string_view>;

// A command's arguments: declared on its subcommand, read into this object by parsing, then
// turned into requests.
class CommandArguments {
 public:
  virtual ~CommandArguments() = default;
  virtual void declare(CLI::App& command) = 0;
  // The requests for the parsed arguments; nullopt with `problem` set when their values are not
  // valid together.
  virtual std::optional<Plan> plan(const Operator& cashier, std::string& problem) const = 0;
};

// A command whose arguments are positionals alone, checked together by `plan` on their words in
// the order declared.
struct Positional {
  std::string name;
  std::string description;
  int minimum = 1;  // how many words it takes at least
  int maximum = 1;  // and at most
};
using WordsPlan = std::optional<Plan> (*)(const Operator& cashier, Arguments words, std::string& problem);
std::unique_ptr<CommandArguments> positionalArguments(std::vector<Positional> positionals, WordsPlan plan);

// A check that an option's text is a number from `minimum` to `maximum` as parseNumber reads it.
CLI::Validator numberRange(std::int64_t minimum, std::int64_t maximum);

// An option holding such a number (the check runs before the number is stored).
template <typename Number>
CLI::Option* addNumber(CLI::App& command, const std::string& name, Number& target, std::int64_t minimum,
                       std::int64_t maximum, const std::string& description) {
  const auto store = [&target, minimum, maximum](const std::string& text) {
    target = static_cast<Number>(*parseNumber(text, minimum, maximum));
  };
  return command.add_option_function<std::string>(name, store, description)
      ->check(numberRange(minimum, maximum))
      ->type_name("N");
}

// Parses `words` as the arguments of `command`; false with `problem` set to the one-line error.
bool parseWords(CLI::App& command, Arguments words, std::string& problem);

// The requests for `words` given to a command with `arguments`, read as frhost reads them.
std::optional<Plan> planFromWords(CommandArguments& arguments, const Operator& cashier, Arguments words,
                                  std::string& problem);

}  // namespace host
