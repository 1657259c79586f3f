// The options of a companion's command line, read with CLI11 and checked as they are
// read: a wrong value stops the companion with a usage error (status 2) that names the
// option, before anything else happens, so that what follows deals with data only.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "companion/errors.h"

namespace kv::companion {

// A rule for an option's number: `holds` says whether a number is fit, `says` what the
// option must be otherwise ("must be a positive number").
struct NumberRule {
  std::function<bool(double)> holds;
  std::string says;
};

// An option that takes a number as users type it (user_number in number_text.h: a
// decimal point or comma). `target` is set when the option is given; a text that is no
// number, or a number the rule does not hold, is a usage error naming the option.
CLI::Option* add_number(CLI::App& app, const std::string& name, std::optional<double>& target, const std::string& help,
                        std::optional<NumberRule> rule = std::nullopt);

// The names of a choice's values joined for a message: "pre, linear or none".
std::string choice_names(const std::vector<std::string>& names);

// An option that takes one of a few names, each standing for a value (CheckedTransformer):
// any other text is a usage error that lists the names.
template <class T>
CLI::Option* add_choice(CLI::App& app, const std::string& name, std::optional<T>& target, const std::string& help,
                        const std::vector<std::pair<std::string, T>>& table) {
  std::vector<std::string> names;
  for (const auto& entry : table) names.push_back(entry.first);
  // Only a name: the transformer would also let the values' own numbers through.
  CLI::Validator only_names(
      [name, names](std::string& text) -> std::string {
        for (const std::string& n : names)
          if (text == n) return {};
        throw UsageError(name + " takes " + choice_names(names) + ", not \"" + text + "\"");
      },
      "");
  return app.add_option(name, target, help)
      ->transform(CLI::CheckedTransformer(table).description(""))
      ->transform(only_names);  // a transform placed last runs first
}

// A check that an option's value (UTF-8) names an existing folder.
CLI::Validator existing_folder(const std::string& option);

}  // namespace kv::companion
