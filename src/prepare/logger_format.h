// How a logger writes its records: what separates the values, which decimal mark the
// numbers use, which columns hold the time and the thrust and in which units. Found from
// the first lines of the file where the user has not said it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::prepare {

enum class TimeUnit : std::uint8_t { s, ms, us };
enum class ThrustUnit : std::uint8_t { N, kN, kgf, gf, lbf };

// What separates the values of a record: one character, or runs of blanks and tabs.
struct Delimiter {
  char c = ' ';  // ' ': runs of blanks and tabs
  static const Delimiter Comma, Semicolon, Tab, Blanks, Colon;
  friend constexpr bool operator==(Delimiter, Delimiter) = default;
};
inline constexpr Delimiter Delimiter::Comma{','};
inline constexpr Delimiter Delimiter::Semicolon{';'};
inline constexpr Delimiter Delimiter::Tab{'\t'};
inline constexpr Delimiter Delimiter::Blanks{' '};
inline constexpr Delimiter Delimiter::Colon{':'};

// "comma", "semicolon", "tab", "blanks", "colon", or the character in apostrophes.
std::string delimiter_name(Delimiter d);
// The delimiter a user names: comma, semicolon, tab, blanks (or space), colon, or any one
// character but a digit, a sign, a decimal mark or a quote; nothing for another text.
std::optional<Delimiter> delimiter_named(std::string_view name);

// The fields of a line: split at the delimiter (blanks: at runs of blanks and tabs), each
// trimmed of blanks and tabs and of the double quotes around it; a quoted field keeps the
// delimiters inside it.
void split_fields(std::string_view line, Delimiter d, std::vector<std::string_view>& out);

// A whole field as a number, with a decimal point or a decimal comma; a leading "+" is
// taken, "inf", "nan" and hexadecimal are not, and neither is a number beyond the range
// of a double ("1e400"), which is told apart: every value read is finite.
enum class NumberText : std::uint8_t { NotNumber, Number, OutOfRange };
NumberText read_number(std::string_view field, bool decimal_comma, double& value);
bool parse_number(std::string_view field, bool decimal_comma, double& value);

// A piece of a file as a message quotes it: in apostrophes, cut to `width` characters, a
// control byte (a NUL, an escape) as \xNN, so that the message shows what the file holds
// and the terminal shows the message.
std::string quoted(std::string_view text, std::size_t width);
// The text with each control byte as \xNN (a tab stays).
std::string printable(std::string_view text);

// A line that is a comment in every format: it begins with '#', '//', '%' or ';' (the
// comments of published motor curves). A comment is never evidence of a file's layout.
bool is_comment(std::string_view line);

// What the user said on the command line about the file's layout.
struct LayoutRequest {
  std::optional<Delimiter> delimiter;
  bool decimal_comma = false;  // --decimal-comma
  std::string time_col;        // "" = default; a 1-based number, "none", or a header name
  std::string thrust_col;      // "" = default; a 1-based number or a header name
  bool rate_given = false;     // --rate: a file with only a thrust column can do without time
  std::int64_t skip_lines = 0; // --skip-lines: the lines before the data, whatever they hold
};

// The most digits of a column number.
inline constexpr std::size_t kColumnDigits = 6;

// The layout in use.
struct Layout {
  Delimiter delimiter = Delimiter::Blanks;
  bool delimiter_detected = true;
  bool decimal_comma = false;
  bool decimal_comma_detected = false;
  int time_col = 0;    // 0-based field index; -1: no time column (time = i / rate)
  int thrust_col = 1;  // 0-based field index
  std::vector<std::string> header;  // the names of the columns, when a header line has them
  std::vector<std::string> units;   // a line of units under them ("s;N"), when there is one
  std::int64_t header_line = 0;     // its line number; 0 for none
  std::int64_t first_data_line = 0;
};

// A line of the start of the file, with its number.
struct SampleLine {
  std::int64_t number;
  std::string text;
};

// Decides the layout from the first lines of the file (blank lines left out) and the
// request. Ambiguous or impossible layouts are a DataError that says which option
// decides; a request that names a missing column is a DataError too.
Layout detect_layout(const std::vector<SampleLine>& lines, const LayoutRequest& request, const std::string& file);

// The unit a column's name or the line of units gives it: "time (ms)", "millis",
// "Force [N]", "grams"; nothing where they say none.
std::optional<TimeUnit> header_time_unit(const Layout& layout, int index);
std::optional<ThrustUnit> header_thrust_unit(const Layout& layout, int index);

// The column as the summary names it: "3" or "3 (millis)".
std::string column_label(const Layout& layout, int index);

}  // namespace kv::prepare
