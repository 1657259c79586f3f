#include "prepare/text_lines.h"

#include <algorithm>
#include <cstring>

#include "companion/errors.h"

namespace kv::prepare {

using companion::DataError;

namespace {
constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr std::size_t kLongestLine = std::size_t{64} << 20;
}  // namespace

TextLines::TextLines(const std::string& name, bool program_rules)
    : file_(name), style_known_(program_rules), program_rules_(program_rules) {
  buf_.resize(kBlock);
  seek(0, 0);
  if (program_rules_) return;
  // UTF-16 text: its byte-order mark, or a NUL beside every ASCII character.
  const auto* u = reinterpret_cast<const unsigned char*>(buf_.data());
  bool utf16 = lim_ >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF));
  if (!utf16 && lim_ >= 8) {
    std::size_t even = 0, odd = 0;
    const std::size_t n = std::min<std::size_t>(lim_ & ~std::size_t{1}, 512);
    for (std::size_t i = 0; i < n; i += 2) {
      even += u[i] == 0;
      odd += u[i + 1] == 0;
    }
    utf16 = std::max(even, odd) * 10 >= n / 2 * 9 && std::min(even, odd) * 10 <= n / 2;
  }
  if (utf16)
    throw DataError(name + ": is UTF-16 text (two bytes a character): save it as UTF-8 or ANSI text (in Notepad: "
                           "Save as, Encoding UTF-8) and give that file");
}

void TextLines::seek(std::uint64_t offset, std::int64_t number) {
  file_.seek(offset);
  base_ = offset;
  pos_ = lim_ = 0;
  eof_ = false;
  number_ = number;
  if (offset == 0 && !program_rules_) {
    fill();
    if (lim_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  }
}

bool TextLines::fill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, lim_ - pos_);
    base_ += pos_;
    lim_ -= pos_;
    pos_ = 0;
  }
  if (lim_ == buf_.size()) {
    if (buf_.size() >= kLongestLine) throw DataError(name() + ":" + std::to_string(number_ + 1) + ": a line longer than 64 MiB: not a text file?");
    buf_.resize(buf_.size() * 2);
  }
  const std::size_t got = file_.read(buf_.data() + lim_, buf_.size() - lim_);
  if (got == 0) {
    eof_ = true;
    return false;
  }
  lim_ += got;
  return true;
}

bool TextLines::next_slow(std::string_view& line) {
  for (;;) {
    const char* b = buf_.data() + pos_;
    const std::size_t avail = lim_ - pos_;
    if (!style_known_) {
      // The first line end tells the style: CR alone, or LF (with or without CR before).
      const char* end = b + avail;
      const char* p = std::find_if(b, end, [](char c) { return c == '\n' || c == '\r'; });
      if (p != end && (*p == '\n' || p + 1 < end)) {
        style_known_ = true;
        cr_only_ = *p == '\r' && p[1] != '\n';
      } else if (p != end || !eof_) {
        if (fill()) continue;
      }
    }
    const char stop = cr_only_ ? '\r' : '\n';
    const void* hit = avail ? std::memchr(b, stop, avail) : nullptr;
    if (hit != nullptr || (eof_ && avail > 0)) {
      const char* e = hit ? static_cast<const char*>(hit) : b + avail;
      std::size_t len = static_cast<std::size_t>(e - b);
      line_offset_ = base_ + pos_;
      pos_ += len + (hit ? 1 : 0);
      if (!cr_only_ && len > 0 && b[len - 1] == '\r') --len;
      line = std::string_view(b, len);
      ++number_;
      return true;
    }
    if (!fill()) {
      if (pos_ < lim_) continue;  // the last line, without a line end
      return false;
    }
  }
}

}  // namespace kv::prepare
