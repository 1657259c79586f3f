#include "export/ascii_text.h"

#include <algorithm>
#include <utility>

#include "companion/number_text.h"
#include "io/cp1252.h"

namespace kv::exporter {

namespace {

// What each Windows-1252 byte from 0x80 on becomes; nullptr: dropped.
const char* const kHigh[128] = {
    // 0x80
    nullptr, nullptr, "'", "f", "\"", "...", nullptr, nullptr, "^", nullptr, "S", "<", "OE", nullptr, "Z", nullptr,
    // 0x90
    nullptr, "'", "'", "\"", "\"", nullptr, "-", "-", "~", nullptr, "s", ">", "oe", nullptr, "z", "Y",
    // 0xA0
    " ", "!", nullptr, nullptr, nullptr, nullptr, "|", nullptr, nullptr, nullptr, "a", "\"", nullptr, nullptr, nullptr,
    nullptr,
    // 0xB0
    nullptr, nullptr, nullptr, nullptr, "'", nullptr, nullptr, nullptr, nullptr, nullptr, "o", "\"", nullptr, nullptr,
    nullptr, "?",
    // 0xC0
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    // 0xD0
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    // 0xE0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    // 0xF0
    "d", "n", "o", "o", "o", "o", "o", "/", "o", "u", "u", "u", "u", "y", "th", "y",
};

// Unassigned in Windows-1252: control characters in ISO-8859-1, as OpenRocket reads them.
bool unassigned(unsigned char b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

std::string control_name(unsigned char b) {
  switch (b) {
    case '\t': return "a tab";
    case '\r': return "a CR";
    case '\n': return "a LF";
    case 0: return "a NUL";
    default: {
      static const char hex[] = "0123456789ABCDEF";
      std::string name = "the control character 0x";
      name.push_back(hex[b >> 4]);
      name.push_back(hex[b & 15]);
      return name;
    }
  }
}

void note(std::vector<std::string>& changes, std::string change) {
  if (std::find(changes.begin(), changes.end(), change) == changes.end()) changes.push_back(std::move(change));
}

// One Windows-1252 byte into `out`.
void take(unsigned char b, AsciiText& r) {
  if (b >= 0x20 && b < 0x7F) {
    r.text += static_cast<char>(b);
    return;
  }
  if (b < 0x20 || b == 0x7F || unassigned(b)) {
    r.text += ' ';
    std::string change = control_name(b);
    change.append(" as a blank");
    note(r.changes, std::move(change));
    return;
  }
  std::string change = "'";
  change.append(companion::utf8_from_cp1252(std::string_view(reinterpret_cast<const char*>(&b), 1)));
  change.append("'");
  const char* as = kHigh[b - 0x80];
  if (as == nullptr) {
    change.append(" left out");
  } else if (as[0] == ' ') {
    r.text.append(as);
    change.append(" (a no-break space) as a blank");
  } else {
    r.text.append(as);
    change.append(" as '").append(as).append("'");
  }
  note(r.changes, std::move(change));
}

}  // namespace

AsciiText ascii_from_cp1252(std::string_view bytes) {
  AsciiText r;
  r.text.reserve(bytes.size());
  for (const char c : bytes) take(static_cast<unsigned char>(c), r);
  return r;
}

AsciiText ascii_from_utf8(std::string_view utf8) {
  AsciiText r;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t at = i;
    try {
      take(static_cast<unsigned char>(io::cp1252_byte(io::utf8_decode(utf8, i))), r);
    } catch (const char*) {
      // Outside Windows-1252, or not UTF-8: the whole sequence goes.
      i = at + 1;
      while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
      std::string change = "'";
      change.append(utf8.substr(at, i - at)).append("' left out");
      note(r.changes, std::move(change));
    }
  }
  return r;
}

std::string changes_text(const std::vector<std::string>& changes) {
  std::string s;
  for (const std::string& c : changes) s += (s.empty() ? "" : ", ") + c;
  return s;
}

}  // namespace kv::exporter
