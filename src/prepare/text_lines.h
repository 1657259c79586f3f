// A text file read line by line in large blocks: LF, CR LF or CR line ends, a UTF-8
// byte-order mark at the start dropped. Each line comes with its number (from 1) and the
// byte offset where it starts, so that a second pass can start again at any line. The
// file is read through the OS seam (os_files.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "prepare/os_files.h"

namespace kv::prepare {

class TextLines {
 public:
  // Opens the file; a file that cannot be opened, is not a regular file or is UTF-16
  // text is a DataError that says so.
  // With `program_rules`, the lines are the records as the program reads them: they end
  // at LF only (a CR before it dropped), and a byte-order mark is part of the first.
  explicit TextLines(const std::string& name, bool program_rules = false);

  // The next line without its line end; false at the end of the file. The view stays
  // valid until the next call. A line whose end is already in the buffer is found here,
  // in the caller's loop; the rest (the first line, a refill, the last line) out of line.
  bool next(std::string_view& line) {
    if (style_known_ && !cr_only_ && pos_ < lim_) {
      const char* b = buf_.data() + pos_;
      const std::size_t avail = lim_ - pos_;
      if (const void* hit = std::memchr(b, '\n', avail)) {
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(hit) - b);
        line_offset_ = base_ + pos_;
        pos_ += len + 1;
        if (len > 0 && b[len - 1] == '\r') --len;
        line = std::string_view(b, len);
        ++number_;
        return true;
      }
    }
    return next_slow(line);
  }
  // For a caller's own scanner of whole lines: the bytes read and not yet taken, in which
  // it may find lines without next() where lines end at LF (CR LF); took() then passes
  // over the `lines` lines that fill the first `bytes` of them.
  bool lines_end_at_lf() const { return style_known_ && !cr_only_; }
  std::string_view unread() const { return {buf_.data() + pos_, lim_ - pos_}; }
  std::uint64_t offset_of(const char* p) const { return base_ + static_cast<std::uint64_t>(p - buf_.data()); }
  void took(std::size_t bytes, std::int64_t lines) {
    pos_ += bytes;
    number_ += lines;
  }
  // Number (from 1) and starting offset of the line just returned.
  std::int64_t number() const { return number_; }
  std::uint64_t offset() const { return line_offset_; }
  // Goes back or forth to the line that starts at `offset`, whose number is `number`.
  void seek(std::uint64_t offset, std::int64_t number);

  const std::string& name() const { return file_.name(); }
  const io::FileStatus& status() const { return file_.status(); }

 private:
  bool next_slow(std::string_view& line);
  bool fill();  // reads more bytes behind the unconsumed ones; false when none came

  InputFile file_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, lim_ = 0;
  std::uint64_t base_ = 0;  // file offset of buf_[0]
  bool eof_ = false;
  bool cr_only_ = false;    // lines end at CR alone
  bool style_known_ = false;
  bool program_rules_ = false;
  std::int64_t number_ = 0;
  std::uint64_t line_offset_ = 0;
};

}  // namespace kv::prepare
