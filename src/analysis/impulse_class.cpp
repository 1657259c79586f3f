#include "analysis/impulse_class.h"

#include <array>
#include <cmath>
#include <string_view>

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

void determine_class(RunState& s) {
  progress("vai começar a determinação da classe do motor"_w);
  double lower = 0.0;
  for (const ImpulseClass& c : kClasses) {
    if (lower < s.It && s.It <= c.upper) s.classe.assign(c.text);
    lower = c.upper;
  }
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
