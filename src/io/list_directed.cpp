#include "io/list_directed.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "io/diagnostics.h"
#include "io/files.h"

namespace kv::io {
namespace {

constexpr std::size_t kInitialWindow = std::size_t{1} << 18;
// The window grows only to hold one unquoted value whole; a value that would need more
// than this is refused as malformed, which keeps the reader's memory bounded whatever
// the file holds.
constexpr std::size_t kMaxWindow = std::size_t{1} << 21;
// Longer quoted strings are refused as malformed in the same way; the program's texts
// have at most 90 characters.
constexpr std::size_t kMaxQuoted = std::size_t{1} << 20;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr int kEnd = -1;  // the end of the current record

constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_blank(int c) { return c == ' ' || c == '\t'; }
constexpr bool ends_value(int c) { return c == kEnd || c == ' ' || c == '\t' || c == ',' || c == '/'; }

// The current record of a file, seen through the file's input window. The record may
// reach beyond the window (a soft end), in which case more of the file is read in when
// the scan gets there; bytes from `keep` on are kept across such a refill.
struct Scanner {
  File& f;
  std::size_t end = 0;     // end of the record's bytes in the window (CR excluded)
  std::size_t lf = kNone;  // index of the record's LF, when in the window
  bool hard = false;       // `end` is the record's true end
  std::size_t keep = kNone;

  char* data() const { return f.in.get(); }

  void locate() {
    const char* d = data();
    const void* nl = f.pos < f.lim ? std::memchr(d + f.pos, '\n', f.lim - f.pos) : nullptr;
    if (nl) {
      lf = static_cast<std::size_t>(static_cast<const char*>(nl) - d);
      end = lf;
      hard = true;
    } else {
      lf = kNone;
      end = f.lim;
      hard = f.in_eof;
    }
    // A CR just before the record end is not part of the record; at a soft end a last
    // CR is held back until what follows it is known.
    if (end > f.pos && d[end - 1] == '\r') --end;
  }

  // Reads more of the file into the window. False when the file has no more bytes.
  bool refill() {
    const std::size_t from = keep != kNone && keep < f.pos ? keep : f.pos;
    char* d = data();
    if (from > 0) {
      std::memmove(d, d + from, f.lim - from);
      f.lim -= from;
      f.pos -= from;
      f.in_base += static_cast<std::int64_t>(from);
      if (keep != kNone) keep -= from;
    }
    if (f.lim == f.cap) {
      if (f.cap * 2 > kMaxWindow) fail(kSyntaxError, f);
      auto bigger = std::make_unique<char[]>(f.cap * 2);
      std::memcpy(bigger.get(), d, f.lim);
      f.in = std::move(bigger);
      f.cap *= 2;
    }
    const std::size_t n = read_bytes(f, data() + f.lim, f.cap - f.lim);
    f.lim += n;
    if (n == 0) f.in_eof = true;
    return n > 0;
  }

  // Starts the next record. False at the end of the file.
  bool begin_record() {
    if (!f.in) {
      f.cap = kInitialWindow;
      f.in = std::make_unique<char[]>(f.cap);
    }
    if (f.pos == f.lim && !f.in_eof) refill();
    if (f.pos == f.lim && f.in_eof) return false;
    locate();
    return true;
  }

  // Skips what remains of the current record, its line end included.
  void finish_record() {
    keep = kNone;
    for (;;) {
      if (lf != kNone) {
        f.pos = lf + 1;
        f.last_unterminated = false;
        return;
      }
      f.pos = f.lim;
      if (hard) {  // the record ended with the file
        f.last_unterminated = true;
        return;
      }
      refill();
      locate();
    }
  }

  // The character at the read position, or kEnd at the end of the record.
  int peek() {
    while (f.pos >= end) {
      if (hard) return kEnd;
      refill();
      locate();
    }
    return static_cast<unsigned char>(data()[f.pos]);
  }

  // Moves on to the next record while a value is still needed.
  void next_record_for_value() {
    finish_record();
    if (!begin_record()) fail(kEndOfFile, f);
  }
};

// The repeat r*c in force: how many more targets take the value, and the value.
struct Repeat {
  int left = 0;
  bool null = false;
  bool quoted = false;
  std::string text;
};

void assign_text(const Target& t, const char* s, std::size_t n) {
  char* dst = static_cast<char*>(t.where);
  const std::size_t k = n < t.length ? n : t.length;
  std::memcpy(dst, s, k);
  std::memset(dst + k, ' ', t.length - k);
}

void assign(const Target& t, const char* b, const char* e, bool quoted, const File& f) {
  int msg = 0;
  switch (t.kind) {
    case Target::Kind::Text:
      assign_text(t, b, static_cast<std::size_t>(e - b));
      return;
    case Target::Kind::Integer:
      msg = quoted ? kSyntaxError : convert_integer(b, e, *static_cast<std::int32_t*>(t.where));
      break;
    case Target::Kind::Real:
      msg = quoted ? kSyntaxError : convert_real(b, e, *static_cast<double*>(t.where));
      break;
  }
  if (msg) fail(msg, f);
}

// Reads a quoted string whose opening delimiter is at the read position. Two
// delimiters in a row stand for one; a string may go on over the record's end.
void read_quoted(Scanner& s, std::string& out) {
  const int delim = s.peek();
  ++s.f.pos;
  out.clear();
  for (;;) {
    const int c = s.peek();
    if (c == kEnd) {
      s.next_record_for_value();
      continue;
    }
    ++s.f.pos;
    if (c == delim) {
      if (s.peek() != delim) return;
      ++s.f.pos;
    }
    if (out.size() == kMaxQuoted) fail(kSyntaxError, s.f);
    out.push_back(static_cast<char>(c));
  }
}

// The exact powers of ten of a double.
constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain decimal number at p, [sign] digits [. digits] [E [sign] digits], whose
// significant digits fit 2^53 and whose power of ten is exact: the value is then one
// correctly rounded multiplication or division. Returns where the number ends, or null
// for any other text, which the full conversion takes (and rejects when it must).
const char* plain_real(const char* p, const char* e, double& out) {
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint64_t mant = 0;
  int digits = 0;  // significant digits in mant
  int exp10 = 0;
  const char* const first = p;
  for (; p < e && is_digit(*p); ++p) {
    if (mant == 0 && *p == '0') continue;
    if (++digits > 19) return nullptr;
    mant = mant * 10 + static_cast<unsigned>(*p - '0');
  }
  bool any = p != first;
  if (p < e && *p == '.') {
    const char* const frac = ++p;
    for (; p < e && is_digit(*p); ++p) {
      if (mant == 0 && *p == '0') continue;
      if (++digits > 19) return nullptr;
      mant = mant * 10 + static_cast<unsigned>(*p - '0');
    }
    exp10 = -static_cast<int>(p - frac);
    any = any || p != frac;
  }
  if (!any) return nullptr;
  if (p < e && (*p == 'e' || *p == 'E')) {
    ++p;
    bool eneg = false;
    if (p < e && (*p == '+' || *p == '-')) eneg = *p++ == '-';
    const char* const xfirst = p;
    int x = 0;
    for (; p < e && is_digit(*p) && p - xfirst < 4; ++p) x = x * 10 + (*p - '0');
    if (p == xfirst) return nullptr;
    exp10 += eneg ? -x : x;
  }
  if (mant == 0) {
    out = negative ? -0.0 : 0.0;
    return p;
  }
  if (mant > (std::uint64_t{1} << 53) || exp10 < -22 || exp10 > 22) return nullptr;
  double v = static_cast<double>(mant);
  if (exp10 > 0)
    v *= kExactPow10[exp10];
  else if (exp10 < 0)
    v /= kExactPow10[-exp10];
  out = negative ? -v : v;
  return p;
}

// The common read of a data record: only reals, every value a plain number standing in
// the current record, which lies whole in the window. Converts in place and consumes
// the record; false, with nothing assigned or consumed, when anything else is met (a
// null value, a slash, a repeat count, a value on a later record, a text that is not a
// plain number), and the full rules then take the read.
bool read_plain_reals(Scanner& s, std::initializer_list<Target> targets) {
  constexpr std::size_t kMaxTargets = 8;
  if (!s.hard || targets.size() > kMaxTargets) return false;
  const char* const d = s.data();
  std::size_t pos = s.f.pos;
  const std::size_t end = s.end;
  double values[kMaxTargets];
  std::size_t n = 0;
  for (const Target& t : targets) {
    if (t.kind != Target::Kind::Real) return false;
    while (pos < end && is_blank(d[pos])) ++pos;
    const char* const stop = plain_real(d + pos, d + end, values[n++]);
    if (stop == nullptr) return false;
    pos = static_cast<std::size_t>(stop - d);
    // The number must be the whole value: what follows it ends the value.
    if (pos < end && !ends_value(static_cast<unsigned char>(d[pos]))) return false;
    while (pos < end && is_blank(d[pos])) ++pos;
    if (pos < end && d[pos] == ',') ++pos;
  }
  n = 0;
  for (const Target& t : targets) *static_cast<double*>(t.where) = values[n++];
  s.finish_record();
  return true;
}

}  // namespace

int convert_real(const char* b, const char* e, double& out) {
  // [sign] digits [. digits] [letter [sign] digits], at least one mantissa digit.
  const char* p = b;
  const bool negative = p < e && *p == '-';
  if (p < e && (*p == '+' || *p == '-')) ++p;
  int lead = 0;  // digits before the point
  int frac = 0;  // digits after it
  // Where the first significant digit stands: digits before the point ahead of it, or
  // its place after the point.
  int lead_at_nonzero = -1;
  int frac_at_nonzero = -1;
  bool point = false;
  for (; p < e; ++p) {
    if (is_digit(*p)) {
      if (*p != '0' && lead_at_nonzero < 0 && frac_at_nonzero < 0) {
        if (point)
          frac_at_nonzero = frac + 1;
        else
          lead_at_nonzero = lead;
      }
      if (point)
        ++frac;
      else
        ++lead;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (lead + frac == 0) return kSyntaxError;
  const bool seen_nonzero = lead_at_nonzero >= 0 || frac_at_nonzero >= 0;
  const char* mant_end = p;
  bool standard_letter = true;
  long long exponent = 0;
  if (p < e) {
    const char l = *p;
    if (l != 'e' && l != 'E' && l != 'd' && l != 'D' && l != 'q' && l != 'Q') return kSyntaxError;
    standard_letter = l == 'e' || l == 'E';
    ++p;
    bool eneg = false;
    if (p < e && (*p == '+' || *p == '-')) eneg = *p++ == '-';
    if (p == e) return kSyntaxError;
    for (; p < e; ++p) {
      if (!is_digit(*p)) return kSyntaxError;
      if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
    }
    if (eneg) exponent = -exponent;
  }
  if (!seen_nonzero) {
    out = negative ? -0.0 : 0.0;
    return 0;
  }
  // from_chars takes no "+" and only "e" for the exponent.
  const char* cb = b;
  const char* ce = e;
  thread_local std::string scratch;
  if (*b == '+' || !standard_letter) {
    scratch.assign(b + (*b == '+' ? 1 : 0), e);
    if (!standard_letter) scratch[static_cast<std::size_t>(mant_end - b - (*b == '+' ? 1 : 0))] = 'e';
    cb = scratch.data();
    ce = cb + scratch.size();
  }
  double v = 0.0;
  const auto r = std::from_chars(cb, ce, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the largest or below the smallest double: the nearest is infinity or zero.
    const long long digits_before_point = lead_at_nonzero >= 0 ? lead - lead_at_nonzero : 1 - frac_at_nonzero;
    const long long magnitude = digits_before_point + exponent;
    v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) v = -v;
  } else if (r.ec != std::errc{} || r.ptr != ce) {
    return kSyntaxError;
  }
  out = v;
  return 0;
}

int convert_integer(const char* b, const char* e, std::int32_t& out) {
  const char* p = b;
  if (p < e && (*p == '+' || *p == '-')) ++p;
  bool plain = p < e;
  for (const char* q = p; q < e; ++q)
    if (!is_digit(*q)) plain = false;
  if (!plain) {
    // A real in an integer: converted, then truncated toward zero.
    double r = 0.0;
    if (const int msg = convert_real(b, e, r)) return msg;
    const double t = std::trunc(r);
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) return kInputConversion;
    out = static_cast<std::int32_t>(t);
    return 0;
  }
  std::int32_t v = 0;
  const auto r = std::from_chars(*b == '+' ? b + 1 : b, e, v);
  if (r.ec == std::errc::result_out_of_range) return kInputConversion;
  if (r.ec != std::errc{} || r.ptr != e) return kSyntaxError;
  out = v;
  return 0;
}

bool at_end(int unit) {
  Scanner s{file(unit)};
  return !s.begin_record();
}

bool read_plain(int unit, std::initializer_list<Target> targets) {
  File& f = file(unit);
  if (!f.in) return false;
  Scanner s{f};
  s.locate();
  if (!s.hard) {
    // The record goes on past what has been read: read on, as refill() does, but leave
    // a failure of the OS (or a record longer than the window) to the full read.
    char* d = f.in.get();
    std::memmove(d, d + f.pos, f.lim - f.pos);
    f.lim -= f.pos;
    f.in_base += static_cast<std::int64_t>(f.pos);
    f.pos = 0;
    std::size_t got = 0;
    if (f.lim == f.cap || !read_bytes_quietly(f, d + f.lim, f.cap - f.lim, got)) return false;
    f.lim += got;
    if (got == 0) f.in_eof = true;
    s.locate();
  }
  return read_plain_reals(s, targets);
}

void read(int unit, std::initializer_list<Target> targets) {
  File& f = file(unit);
  Scanner s{f};
  if (!s.begin_record()) fail(kEndOfFile, f);
  if (read_plain_reals(s, targets)) return;
  thread_local Repeat rep;
  rep.left = 0;
  thread_local std::string quoted;
  bool comma_open = false;  // the last value's separator may still take a comma

  for (const Target& t : targets) {
    if (rep.left > 0) {
      --rep.left;
      if (!rep.null) assign(t, rep.text.data(), rep.text.data() + rep.text.size(), rep.quoted, f);
      continue;
    }
    int c;
    for (;;) {
      c = s.peek();
      if (is_blank(c)) {
        ++f.pos;
      } else if (c == kEnd) {
        s.next_record_for_value();
      } else if (c == ',' && comma_open) {
        // A record end counts as a blank: a comma after it still belongs to the value
        // before it as its separator.
        ++f.pos;
        comma_open = false;
      } else {
        break;
      }
    }
    if (c == ',') {  // a null value
      ++f.pos;
      continue;
    }
    if (c == '/') break;  // ends the read; this target and the rest keep their values

    if ((c == '\'' || c == '"') && t.kind == Target::Kind::Text) {
      read_quoted(s, quoted);
      assign(t, quoted.data(), quoted.data() + quoted.size(), true, f);
    } else {
      // An unquoted value, or a repeat count r* in front of one.
      s.keep = f.pos;
      while (is_digit(s.peek())) ++f.pos;
      if (f.pos > s.keep && s.peek() == '*') {
        int r = 0;
        if (convert_integer(s.data() + s.keep, s.data() + f.pos, r) != 0 || r <= 0) fail(kSyntaxError, f);
        ++f.pos;
        s.keep = kNone;
        rep.left = r - 1;
        rep.null = ends_value(s.peek());
        rep.quoted = false;
        if (!rep.null) {
          const int q = s.peek();
          if ((q == '\'' || q == '"') && t.kind == Target::Kind::Text) {
            read_quoted(s, rep.text);
            rep.quoted = true;
          } else {
            s.keep = f.pos;
            while (!ends_value(s.peek())) ++f.pos;
            rep.text.assign(s.data() + s.keep, s.data() + f.pos);
            s.keep = kNone;
          }
          assign(t, rep.text.data(), rep.text.data() + rep.text.size(), rep.quoted, f);
        }
      } else {
        while (!ends_value(s.peek())) ++f.pos;
        const char* d = s.data();
        assign(t, d + s.keep, d + f.pos, false, f);
        s.keep = kNone;
      }
    }
    // The value's separator: blanks, then at most one comma, belong to it.
    while (is_blank(s.peek())) ++f.pos;
    comma_open = s.peek() != ',';
    if (!comma_open) ++f.pos;
  }
  s.finish_record();
}

}  // namespace kv::io
