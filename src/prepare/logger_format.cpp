#include "prepare/logger_format.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::prepare {

using companion::DataError;

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (is_blank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view unquote(std::string_view s) {
  s = trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = trim(s.substr(1, s.size() - 2));
  return s;
}

char delimiter_char(Delimiter d) { return d.c; }

// How many times c stands outside double quotes.
std::size_t count_outside_quotes(std::string_view line, char c) {
  std::size_t n = 0;
  bool quoted = false;
  for (char x : line) {
    if (x == '"') quoted = !quoted;
    else if (x == c && !quoted) ++n;
  }
  return n;
}

bool has_digit(std::string_view s) { return std::any_of(s.begin(), s.end(), is_digit); }

// A line where at least half of the non-empty fields are numbers, and one at least.
bool data_like(const std::vector<std::string_view>& fields, bool comma, std::size_t* numeric_count = nullptr) {
  std::size_t numbers = 0, filled = 0;
  double v = 0;
  for (auto f : fields) {
    if (f.empty()) continue;
    ++filled;
    if (parse_number(f, comma, v)) ++numbers;
  }
  if (numeric_count) *numeric_count = numbers;
  return numbers > 0 && numbers * 2 >= filled;
}

std::string quoted_line(const SampleLine& l) { return quoted(l.text, 60); }

// A field that names a unit alone: "s", "(ms)", "[N]", "kgf".
bool unit_word(std::string_view f) {
  if (f.size() >= 2 && ((f.front() == '(' && f.back() == ')') || (f.front() == '[' && f.back() == ']')))
    f = f.substr(1, f.size() - 2);
  static const char* const kUnits[] = {"s", "sec", "ms", "us", "µs", "n", "kn", "kgf", "kg", "g", "gf", "lbf", "lb", "lbs", "grams", "newton", "newtons"};
  std::string l(f);
  for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::any_of(std::begin(kUnits), std::end(kUnits), [&](const char* u) { return l == u; });
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string delimiter_name(Delimiter d) {
  switch (d.c) {
    case ',': return "comma";
    case ';': return "semicolon";
    case '\t': return "tab";
    case ' ': return "blanks";
    case ':': return "colon";
    default: return std::string("'") + d.c + "'";
  }
}

std::optional<Delimiter> delimiter_named(std::string_view name) {
  const std::string n = lower(name);
  if (n == "comma") return Delimiter::Comma;
  if (n == "semicolon") return Delimiter::Semicolon;
  if (n == "tab" || n == "\t") return Delimiter::Tab;
  if (n == "blanks" || n == "space" || n == " ") return Delimiter::Blanks;
  if (n == "colon") return Delimiter::Colon;
  if (name.size() != 1) return std::nullopt;
  const char c = name[0];
  const auto u = static_cast<unsigned char>(c);
  if (is_digit(c) || c == '+' || c == '-' || c == '.' || c == '"' || c == 'e' || c == 'E' || u < 0x20 || u >= 0x7F)
    return std::nullopt;
  return Delimiter{c};
}

void split_fields(std::string_view line, Delimiter d, std::vector<std::string_view>& out) {
  out.clear();
  const std::size_t n = line.size();
  std::size_t i = 0;
  if (d == Delimiter::Blanks) {
    for (;;) {
      while (i < n && (is_blank(line[i]) || line[i] == '\r')) ++i;
      if (i >= n) return;
      const std::size_t start = i;
      bool quoted = false;
      while (i < n && (quoted || !(is_blank(line[i]) || line[i] == '\r'))) {
        if (line[i] == '"') quoted = !quoted;
        ++i;
      }
      out.push_back(unquote(line.substr(start, i - start)));
    }
  }
  const char sep = delimiter_char(d);
  std::size_t start = 0;
  bool quoted = false;
  for (; i <= n; ++i) {
    if (i == n || (line[i] == sep && !quoted)) {
      out.push_back(unquote(line.substr(start, i - start)));
      start = i + 1;
    } else if (line[i] == '"') {
      quoted = !quoted;
    }
  }
}

NumberText read_number(std::string_view f, bool decimal_comma, double& value) {
  if (f.empty()) return NumberText::NotNumber;
  if (f.front() == '+') f.remove_prefix(1);
  if (f.empty()) return NumberText::NotNumber;
  // Only plain decimal numbers: a digit or a decimal mark (after an optional minus).
  const char lead = f.front() == '-' && f.size() > 1 ? f[1] : f.front();
  if (!is_digit(lead) && lead != (decimal_comma ? ',' : '.')) return NumberText::NotNumber;
  const fast_float::parse_options options(fast_float::chars_format::general, decimal_comma ? ',' : '.');
  double v = 0;
  const auto r = fast_float::from_chars_advanced(f.data(), f.data() + f.size(), v, options);
  if (r.ptr != f.data() + f.size()) return NumberText::NotNumber;
  if (r.ec == std::errc::result_out_of_range || (r.ec == std::errc() && !std::isfinite(v))) return NumberText::OutOfRange;
  if (r.ec != std::errc()) return NumberText::NotNumber;
  value = v;
  return NumberText::Number;
}

bool parse_number(std::string_view f, bool decimal_comma, double& value) {
  return read_number(f, decimal_comma, value) == NumberText::Number;
}

std::string printable(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) {
      constexpr char hex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += hex[u >> 4];
      shown += hex[u & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string quoted(std::string_view text, std::size_t width) {
  return companion::quoted_excerpt(printable(text.substr(0, std::min(text.size(), width + 8))), width);
}

bool is_comment(std::string_view line) {
  line = trim(line);
  return !line.empty() && (line.front() == '#' || line.front() == '%' || line.front() == ';' || line.substr(0, 2) == "//");
}

Layout detect_layout(const std::vector<SampleLine>& lines, const LayoutRequest& req, const std::string& file) {
  Layout lay;
  std::vector<const SampleLine*> cands;
  for (const auto& l : lines)
    if (l.number > req.skip_lines && !is_comment(l.text) && has_digit(l.text)) cands.push_back(&l);
  if (cands.empty())
    throw DataError(file + ": no number in the first " + std::to_string(lines.size()) +
                    " lines that are not blank: is this a logger's data file?");
  const std::size_t n = cands.size();
  std::vector<std::string_view> fields;

  // The delimiter: the character that most lines with numbers have.
  bool blanks_with_commas = false;
  if (req.delimiter) {
    lay.delimiter = *req.delimiter;
    lay.delimiter_detected = false;
  } else {
    std::size_t semi = 0, tab = 0, comma = 0, colon = 0;
    for (auto* c : cands) {
      semi += count_outside_quotes(c->text, ';') > 0;
      tab += count_outside_quotes(c->text, '\t') > 0;
      comma += count_outside_quotes(c->text, ',') > 0;
      colon += count_outside_quotes(c->text, ':') > 0;
    }
    if (semi * 2 > n) lay.delimiter = Delimiter::Semicolon;
    else if (tab * 2 > n) lay.delimiter = Delimiter::Tab;
    else if (colon * 2 > n && comma * 2 <= n) lay.delimiter = Delimiter::Colon;
    else if (comma * 2 > n) {
      // "0,5 12,3": blanks between the values, a comma inside each number.
      std::size_t pattern = 0;
      bool dot = false;
      double v = 0;
      for (auto* c : cands) {
        dot = dot || c->text.find('.') != std::string::npos;
        split_fields(c->text, Delimiter::Blanks, fields);
        if (fields.size() < 2) continue;
        bool all = true, any_comma = false;
        for (auto f : fields) {
          all = all && parse_number(f, true, v);
          any_comma = any_comma || f.find(',') != std::string_view::npos;
        }
        pattern += all && any_comma;
      }
      if (!dot && pattern * 2 > n) {
        lay.delimiter = Delimiter::Blanks;
        blanks_with_commas = true;
      } else {
        lay.delimiter = Delimiter::Comma;
      }
    } else {
      lay.delimiter = Delimiter::Blanks;
    }
  }

  // The decimal mark.
  if (req.decimal_comma) {
    lay.decimal_comma = true;
  } else if (blanks_with_commas) {
    lay.decimal_comma = lay.decimal_comma_detected = true;
  } else {
    const SampleLine* comma_line = nullptr;
    const SampleLine* dot_line = nullptr;
    double v = 0;
    for (auto* c : cands) {
      split_fields(c->text, lay.delimiter, fields);
      for (auto f : fields) {
        if (!comma_line && f.find(',') != std::string_view::npos && parse_number(f, true, v)) comma_line = c;
        if (!dot_line && f.find('.') != std::string_view::npos && parse_number(f, false, v)) dot_line = c;
      }
    }
    if (comma_line && dot_line)
      throw DataError(file + ": line " + std::to_string(dot_line->number) + " " + quoted_line(*dot_line) +
                      " has a decimal point and line " + std::to_string(comma_line->number) + " " +
                      quoted_line(*comma_line) +
                      " a decimal comma: give --decimal-comma if the commas mark decimals (the points are then errors)");
    if (comma_line) lay.decimal_comma = lay.decimal_comma_detected = true;
    if (lay.delimiter == Delimiter::Comma && !req.delimiter && !dot_line) {
      // Commas that separate values, or decimal commas between values that a comma
      // separates too ("0,031,12,5")? Whole numbers of varying count, or with a
      // leading zero, say the second may be meant.
      std::size_t counts_min = SIZE_MAX, counts_max = 0;
      const SampleLine* zero_line = nullptr;
      for (auto* c : cands) {
        split_fields(c->text, Delimiter::Comma, fields);
        std::size_t k = 0;
        if (!data_like(fields, false, &k)) continue;
        counts_min = std::min(counts_min, k);
        counts_max = std::max(counts_max, k);
        for (auto f : fields) {
          auto g = f.substr(f.starts_with('-') ? 1 : 0);
          if (!zero_line && g.size() > 1 && g[0] == '0' && std::all_of(g.begin(), g.end(), is_digit)) zero_line = c;
        }
      }
      if (zero_line || (counts_max > counts_min && counts_max != 0)) {
        const SampleLine* shown = zero_line ? zero_line : cands.front();
        throw DataError(file + ": line " + std::to_string(shown->number) + " " + quoted_line(*shown) +
                        ": the commas may separate values or mark decimals. Give --delimiter comma if they "
                        "separate values; decimal commas need values separated by something else "
                        "(semicolons, tabs or blanks) or in double quotes");
      }
    }
  }

  // The data: the longest run of lines of one shape (their fields, which of them are
  // numbers), and the lines before it of that shape or one that holds it; a banner,
  // header, unit or tare line has a shape of its own. Trailing delimiters make no field.
  struct Shape {
    std::size_t count = 0;
    std::uint64_t numbers = 0;  // bit i: field i is a number (the first 64)
    bool data = false;
  };
  std::vector<Shape> shapes(n);
  for (std::size_t k = 0; k < n; ++k) {
    split_fields(cands[k]->text, lay.delimiter, fields);
    while (!fields.empty() && fields.back().empty() && lay.delimiter != Delimiter::Blanks) fields.pop_back();
    Shape& sh = shapes[k];
    sh.count = fields.size();
    double v = 0;
    for (std::size_t i = 0; i < fields.size() && i < 64; ++i)
      if (parse_number(fields[i], lay.decimal_comma, v)) sh.numbers |= std::uint64_t{1} << i;
    sh.data = data_like(fields, lay.decimal_comma);
  }
  const auto same = [](const Shape& a, const Shape& b) { return a.count == b.count && a.numbers == b.numbers; };
  std::size_t best = n, best_len = 0;
  for (std::size_t k = 0; k < n;) {
    std::size_t e = k + 1;
    while (e < n && same(shapes[e], shapes[k])) ++e;
    if (shapes[k].data && e - k > best_len) {
      best = k;
      best_len = e - k;
    }
    k = e;
  }
  if (best == n) throw DataError(file + ": no line of numbers at the start of the file (delimiter " +
                                 delimiter_name(lay.delimiter) + "): give --delimiter");
  while (best > 0 && shapes[best - 1].data && shapes[best - 1].count == shapes[best].count &&
         (shapes[best - 1].numbers & shapes[best].numbers) == shapes[best].numbers)
    --best;
  const SampleLine* first = cands[best];
  lay.first_data_line = first->number;
  std::vector<int> numeric;
  for (std::size_t i = 0; i < 64; ++i)
    if (shapes[best].numbers & (std::uint64_t{1} << i)) numeric.push_back(static_cast<int>(i));
  const std::size_t width = shapes[best].count;
  // The column names: the last line before the data whose fields are all names, one to
  // a column, that is not a line of units under them.
  for (const auto& l : lines) {
    if (l.number >= first->number) break;
    if (l.number <= req.skip_lines || is_comment(l.text)) continue;
    std::vector<std::string_view> h;
    split_fields(l.text, lay.delimiter, h);
    while (!h.empty() && h.back().empty() && lay.delimiter != Delimiter::Blanks) h.pop_back();
    double v = 0;
    if (h.size() != width || h.size() < 2) continue;
    if (std::any_of(h.begin(), h.end(), [&](std::string_view f) { return f.empty() || parse_number(f, lay.decimal_comma, v); }))
      continue;
    if (std::all_of(h.begin(), h.end(), [](std::string_view f) { return unit_word(f); })) {
      lay.units.assign(h.begin(), h.end());
      continue;
    }
    lay.header.assign(h.begin(), h.end());
    lay.header_line = l.number;
  }

  auto resolve = [&](const std::string& column, const char* option) -> int {
    if (column.empty()) return -2;
    if (lower(column) == "none" || column == "0") return -1;
    if (std::all_of(column.begin(), column.end(), is_digit)) {
      if (column.size() > kColumnDigits) throw DataError(file + ": " + option + " " + column + ": no such column");
      return std::stoi(column) - 1;
    }
    for (std::size_t i = 0; i < lay.header.size(); ++i)
      if (lower(lay.header[i]) == lower(column)) return static_cast<int>(i);
    std::string names;
    for (const auto& h : lay.header) names += (names.empty() ? "" : ", ") + h;
    throw DataError(file + ": " + option + " " + column + ": " +
                    (lay.header.empty() ? std::string("the file has no header line with column names")
                                        : "no column of that name in the header (line " +
                                              std::to_string(lay.header_line) + ": " + names + ")"));
  };
  int t = resolve(req.time_col, "--time-col");
  int f = resolve(req.thrust_col, "--thrust-col");
  auto first_numeric_except = [&](int other) {
    for (int i : numeric)
      if (i != other) return i;
    return -2;
  };
  const std::string one_column = file + ": line " + std::to_string(first->number) + " " + quoted_line(*first) +
                                 " has one number only: a record of the thrust alone needs --rate HZ, the "
                                 "logger's sampling rate (time = i / rate)";
  if (t == -2 && f == -2) {
    if (numeric.size() >= 2) {
      t = numeric[0];
      f = numeric[1];
    } else if (req.rate_given) {
      t = -1;
      f = numeric[0];
    } else {
      throw DataError(one_column);
    }
  } else if (f == -2) {
    f = first_numeric_except(t);
    if (f == -2) throw DataError(file + ": no number beside the time column on line " + std::to_string(first->number));
  } else if (t == -2) {
    t = first_numeric_except(f);
    if (t == -2) {
      if (!req.rate_given) throw DataError(one_column);
      t = -1;
    }
  }
  if (t == f)
    throw DataError(file + ": --time-col " + req.time_col + " and --thrust-col " + req.thrust_col + " name the same column, " +
                    column_label(lay, t));
  for (int c : {t, f})
    if (c >= static_cast<int>(width))
      throw DataError(file + ": column " + std::to_string(c + 1) + " asked for, but line " +
                      std::to_string(first->number) + " " + quoted_line(*first) + " has " + std::to_string(width) +
                      " field" + (width == 1 ? "" : "s") + " (delimiter " + std::string(delimiter_name(lay.delimiter)) +
                      ")");
  lay.time_col = t;
  lay.thrust_col = f;
  return lay;
}

namespace {

// The words of a column's name and unit, lower case, split at anything but letters.
std::vector<std::string> unit_words(const Layout& layout, int index) {
  std::vector<std::string> words;
  const auto add = [&](const std::vector<std::string>& texts) {
    if (index < 0 || static_cast<std::size_t>(index) >= texts.size()) return;
    std::string w;
    for (const char c : texts[static_cast<std::size_t>(index)] + " ") {
      if (std::isalpha(static_cast<unsigned char>(c))) {
        w += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      } else if (!w.empty()) {
        words.push_back(w);
        w.clear();
      }
    }
  };
  add(layout.header);
  add(layout.units);
  return words;
}

bool has_word(const std::vector<std::string>& words, std::initializer_list<const char*> any) {
  for (const std::string& w : words)
    for (const char* a : any)
      if (w == a) return true;
  return false;
}

}  // namespace

std::optional<TimeUnit> header_time_unit(const Layout& layout, int index) {
  const std::vector<std::string> w = unit_words(layout, index);
  if (has_word(w, {"ms", "millis", "msec", "milliseconds"})) return TimeUnit::ms;
  if (has_word(w, {"us", "micros", "usec", "microseconds"})) return TimeUnit::us;
  if (has_word(w, {"s", "sec", "seconds"})) return TimeUnit::s;
  return std::nullopt;
}

std::optional<ThrustUnit> header_thrust_unit(const Layout& layout, int index) {
  const std::vector<std::string> w = unit_words(layout, index);
  if (has_word(w, {"kn"})) return ThrustUnit::kN;
  if (has_word(w, {"n", "newton", "newtons"})) return ThrustUnit::N;
  if (has_word(w, {"kgf", "kg"})) return ThrustUnit::kgf;
  if (has_word(w, {"g", "gf", "grams", "gram"})) return ThrustUnit::gf;
  if (has_word(w, {"lbf", "lb", "lbs"})) return ThrustUnit::lbf;
  return std::nullopt;
}

std::string column_label(const Layout& layout, int index) {
  std::string s = std::to_string(index + 1);
  if (index >= 0 && static_cast<std::size_t>(index) < layout.header.size())
    s += " (" + layout.header[static_cast<std::size_t>(index)] + ")";
  return s;
}

}  // namespace kv::prepare
