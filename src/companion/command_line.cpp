#include "companion/command_line.h"

#include <system_error>

#include "companion/number_text.h"
#include "companion/paths.h"

namespace kv::companion {

CLI::Option* add_number(CLI::App& app, const std::string& name, std::optional<double>& target, const std::string& help,
                        std::optional<NumberRule> rule) {
  return app.add_option_function<std::string>(
      name,
      [&target, name, rule](const std::string& text) {
        const std::optional<double> v = user_number(text);
        if (!v) throw UsageError(name + " takes a number, not \"" + text + "\"");
        if (rule && !rule->holds(*v)) throw UsageError(name + " " + rule->says + ", not " + text);
        target = *v;
      },
      help);
}

std::string choice_names(const std::vector<std::string>& names) {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += i + 1 == names.size() ? " or " : ", ";
    s += names[i];
  }
  return s;
}

CLI::Validator existing_folder(const std::string& option) {
  return CLI::Validator(
      [option](std::string& text) -> std::string {
        std::error_code ec;
        if (!std::filesystem::is_directory(utf8_path(text), ec)) throw UsageError(option + " " + text + ": no such folder");
        return {};
      },
      "");
}

}  // namespace kv::companion
