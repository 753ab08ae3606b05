#include "tools/host/command_options.h"

#include <algorithm>

namespace host {
namespace {

class PositionalArguments : public CommandArguments {
 public:
  PositionalArguments(std::vector<Positional> positionals, WordsPlan wordsPlan)
      : positionals_(std::move(positionals)), words_(positionals_.size()), plan_(wordsPlan) {}

  void declare(CLI::App& command) override {
    for (std::size_t i = 0; i < positionals_.size(); ++i) {
      const Positional& positional = positionals_[i];
      const bool unbounded = positional.maximum < 0;
      // CLI11 fills a bounded positional only up to its minimum: an optional one expects a word.
      command.add_option(positional.name, words_[i], positional.description)
          ->expected(unbounded ? positional.minimum : std::max(positional.minimum, 1), positional.maximum)
          ->allow_extra_args(unbounded)
          ->required(positional.minimum > 0);
    }
  }

  std::optional<Plan> plan(const Operator& cashier, std::string& problem) const override {
    std::vector<std::string_view> words;
    for (const std::vector<std::string>& taken : words_) words.insert(words.end(), taken.begin(), taken.end());
    return plan_(cashier, words, problem);
  }

 private:
  std::vector<Positional> positionals_;
  std::vector<std::vector<std::string>> words_;
  WordsPlan plan_;
};

}  // namespace

std::unique_ptr<CommandArguments> positionalArguments(std::vector<Positional> positionals, WordsPlan plan) {
  return std::make_unique<PositionalArguments>(std::move(positionals), plan);
}

CLI::Validator numberRange(std::int64_t minimum, std::int64_t maximum) {
  const std::string range = std::to_string(minimum) + " to " + std::to_string(maximum);
  return CLI::Validator(
      [minimum, maximum, range](const std::string& text) {
        return parseNumber(text, minimum, maximum) ? std::string() : "takes a number from " + range + ", not " + text;
      },
      range);
}

bool parseWords(CLI::App& command, Arguments words, std::string& problem) {
  // CLI11 takes the words last first.
  std::vector<std::string> reversed(words.rbegin(), words.rend());
  try {
    command.parse(reversed);
  } catch (const CLI::ParseError& error) {
    problem = error.what();
    return false;
  }
  return true;
}

std::optional<Plan> planFromWords(CommandArguments& arguments, const Operator& cashier, Arguments words,
                                  std::string& problem) {
  CLI::App command;
  arguments.declare(command);
  if (!parseWords(command, words, problem)) return std::nullopt;
  return arguments.plan(cashier, problem);
}

}  // namespace host
