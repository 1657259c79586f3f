// Text for the motor files: plain ASCII, which every reader shows as written. ThrustCurve
// reads a motor file as UTF-8 and OpenRocket as ISO-8859-1, so any other byte reads as
// something else in one of them; and a reader that ends lines at a bare CR would take what
// follows a CR in a comment for a line of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::exporter {

struct AsciiText {
  std::string text;                  // printable ASCII and blanks only
  std::vector<std::string> changes;  // what was changed, in words ("'\xE9' as 'e'")
};

// A Windows-1252 text (the program's files) in ASCII: accented letters without their
// accents, dashes as "-", quotation marks as ' and ", every control character (a tab, a
// CR, a LF, ...) as a blank, anything else dropped.
AsciiText ascii_from_cp1252(std::string_view bytes);

// The same for a UTF-8 text (the command line); a byte sequence that is not UTF-8 is
// dropped.
AsciiText ascii_from_utf8(std::string_view utf8);

// The changes joined for a warning: "'é' as 'e', '–' as '-'".
std::string changes_text(const std::vector<std::string>& changes);

}  // namespace kv::exporter
