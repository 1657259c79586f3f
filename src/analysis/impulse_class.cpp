#include "analysis/impulse_class.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace kv {
namespace {

constexpr std::size_t kProgramClasses = 17;  // 1/8A, 1/4A, 1/2A, then A to N
constexpr std::string_view kTexts[] = {"1/8A", "1/4A", "1/2A", "A", "B", "C", "D", "E", "F", "G",
                                       "H",    "I",    "J",    "K", "L", "M", "N", "O", "P", "Q",
                                       "R",    "S",    "T",    "U", "V", "W", "X", "Y", "Z"};
constexpr std::size_t kClasses = std::size(kTexts);

// Row k reaches 0.3125 * 2^k N s; its lower bound is the upper bound of the row before.
constexpr std::array<ImpulseClass, kClasses> table() {
  std::array<ImpulseClass, kClasses> rows{};
  double lower = 0.0, upper = 0.3125;
  for (std::size_t k = 0; k < kClasses; ++k, upper *= 2.0) {
    rows[k] = {lower, upper, kTexts[k]};
    lower = upper;
  }
  return rows;
}
constexpr std::array<ImpulseClass, kClasses> kTable = table();
static_assert(kTable[kProgramClasses - 1].text == "N" && kTable[kProgramClasses - 1].upper == 20480.0);

}  // namespace

std::optional<ImpulseClass> class_of(double It, Classes which) {
  const std::size_t rows = which == Classes::Program ? kProgramClasses : kClasses;
  for (std::size_t k = 0; k < rows; ++k)
    if (kTable[k].lower < It && It <= kTable[k].upper) return kTable[k];
  return std::nullopt;
}

std::string_view impulse_class(double It) {
  const auto c = class_of(It, Classes::Program);
  return c ? c->text : std::string_view{};
}

std::string_view impulse_class_continued(double It) {
  const auto c = class_of(It, Classes::Continued);
  return c ? c->text : std::string_view{};
}

bool class_number(double average, std::int32_t& number) {
  double r = average;
  if (average > 0.0) r = std::trunc(average + 0.5);
  if (average < 0.0) r = std::trunc(average - 0.5);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  number = static_cast<std::int32_t>(r);
  return true;
}

std::string designation(std::string_view class_text, double average) {
  std::int32_t number = 0;
  if (class_text.empty() || !class_number(average, number)) return {};
  return std::string(class_text) + std::to_string(number);
}

}  // namespace kv
