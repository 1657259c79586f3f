#include "analysis/impulse_class.h"

#include <array>
#include <cmath>
#include <string_view>

#include "io/cp1252.h"
#include "run/run_log.h"

namespace kv {
namespace {

struct ImpulseClass {
  double upper;  // N s; the lower bound is the upper bound of the class before
  std::string_view text;
};

// Each class reaches twice the impulse of the one before.
constexpr std::array<ImpulseClass, 17> kClasses = {{
    {0.3125, "1/8A"}, {0.625, "1/4A"}, {1.25, "1/2A"}, {2.5, "A"},     {5.0, "B"},     {10.0, "C"},
    {20.0, "D"},      {40.0, "E"},     {80.0, "F"},    {160.0, "G"},   {320.0, "H"},   {640.0, "I"},
    {1280.0, "J"},    {2560.0, "K"},   {5120.0, "L"},  {10240.0, "M"}, {20480.0, "N"},
}};

}  // namespace

std::string_view impulse_class(double It) {
  double lower = 0.0;
  for (const ImpulseClass& c : kClasses) {
    if (lower < It && It <= c.upper) return c.text;
    lower = c.upper;
  }
  return {};
}

void determine_class(RunState& s) {
  progress("vai começar a determinação da classe do motor"_w);
  const std::string_view text = impulse_class(s.It);
  if (!text.empty()) s.classe.assign(text);
}

bool class_number(double Fmed, std::int32_t& number) {
  double r = Fmed;
  if (Fmed > 0.0) r = std::trunc(Fmed + 0.5);
  if (Fmed < 0.0) r = std::trunc(Fmed - 0.5);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  number = static_cast<std::int32_t>(r);
  return true;
}

}  // namespace kv
