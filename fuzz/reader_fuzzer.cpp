// Fuzz target: whole-file list-directed reads, as the program reads its input files.
//
// The input is a small plan and the bytes of a file. In the value modes the plan is a
// cycle of reads, each of zero to three items of any kind (text of 50 or 90 characters,
// integer, real), run over the file until a read ends the run: that must be message 24,
// 59 or 64 on the file's unit, never anything else, and never a memory fault. In the
// plot-script mode the file's head is skipped record by record and two records are
// written behind it: the file must then hold exactly the head's bytes and the two
// records. Either mode may put a long blank record in front of the bytes, so that the
// records cross the end of the reader's first window on the file at any offset.
//
// The third mode compares reads of reals only, as the load-cell data is read (the quick
// read of a plain record first, when the plan asks for it, then the full rules), with a
// plain model of the reading rules written here: after every read the values and the
// message that ended the reads, if any, must agree.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "io/files.h"
#include "io/layout.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "io/text_field.h"

namespace {

constexpr int kUnit = 8;
constexpr std::size_t kWindow = std::size_t{1} << 18;

const std::string& file_path() {
  static const std::string path = [] {
    // A memory file system if there is one: rewriting a file on a disk file system
    // may wait for the disk.
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    dir += "/kv_reader_fuzz.XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
    static std::string made;
    made = dir;
    std::atexit([] {
      std::remove((made + "/dados.txt").c_str());
      ::rmdir(made.c_str());
    });
    return dir + "/dados.txt";
  }();
  return path;
}

void put_file(const std::string& bytes) {
  std::FILE* f = std::fopen(file_path().c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

std::string get_file() {
  std::ifstream in(file_path(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "reader_fuzzer: %s\n", what);
  std::abort();
}

void value_reads(const std::uint8_t* plan, std::size_t plan_len) {
  kv::io::TextField<50> a50[3];
  kv::io::TextField<90> a90[3];
  std::int32_t n[3] = {};
  double r[3] = {};
  kv::io::open(kUnit, file_path());
  try {
    for (int done = 0; done < 100000; ++done) {
      const std::uint8_t b = plan[static_cast<std::size_t>(done) % plan_len];
      const int count = b & 3;
      auto target = [&](int i) -> kv::io::Target {
        switch ((b >> (2 + 2 * i)) & 3) {
          case 0: return a50[i];
          case 1: return a90[i];
          case 2: return n[i];
          default: return r[i];
        }
      };
      switch (count) {
        case 0: kv::io::read(kUnit, {}); break;
        case 1: kv::io::read(kUnit, {target(0)}); break;
        case 2: kv::io::read(kUnit, {target(0), target(1)}); break;
        default: kv::io::read(kUnit, {target(0), target(1), target(2)}); break;
      }
    }
    fail("a file of this size gave more reads than it has records");
  } catch (const kv::io::Failure& e) {
    if (e.unit != kUnit) fail("a read failure named another unit");
    if (e.number != 24 && e.number != 59 && e.number != 64) {
      std::fprintf(stderr, "message %d\n", e.number);
      fail("a read ended with a message a read cannot give");
    }
  }
  kv::io::close_all_as_they_stand();
}

// The reading rules for reals, over the records of the whole file.
class Model {
 public:
  explicit Model(const std::string& bytes) {
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t lf = bytes.find('\n', start);
      const bool last = lf == std::string::npos;
      if (last) lf = bytes.size();
      std::string rec = bytes.substr(start, lf - start);
      if (!rec.empty() && rec.back() == '\r') rec.pop_back();
      recs_.push_back(rec);
      start = lf + 1;
    }
  }

  // One read into v[0..k); 0, or the message that ends the run.
  int read(double* v, int k) {
    if (next_ >= recs_.size()) return 24;
    const std::string* rec = &recs_[next_++];
    std::size_t pos = 0;
    int left = 0;
    bool null = false;
    std::string text;
    bool comma_open = false;  // a record end is a blank: a comma after it may still separate
    for (int i = 0; i < k; ++i) {
      if (left > 0) {
        --left;
        if (!null)
          if (const int e = convert(text, v[i])) return e;
        continue;
      }
      for (;;) {
        while (pos < rec->size() && blank((*rec)[pos])) ++pos;
        if (pos < rec->size() && (*rec)[pos] == ',' && comma_open) {
          ++pos;
          comma_open = false;
          continue;
        }
        if (pos < rec->size()) break;
        if (next_ >= recs_.size()) return 24;
        rec = &recs_[next_++];
        pos = 0;
      }
      const char c = (*rec)[pos];
      if (c == ',') {
        ++pos;
        continue;
      }
      if (c == '/') return 0;
      const std::size_t start = pos;
      while (pos < rec->size() && digit((*rec)[pos])) ++pos;
      if (pos > start && pos < rec->size() && (*rec)[pos] == '*') {
        std::int32_t r = 0;
        const std::string count = rec->substr(start, pos - start);
        if (kv::io::convert_integer(count.data(), count.data() + count.size(), r) != 0 || r <= 0) return 59;
        ++pos;
        left = r - 1;
        null = pos >= rec->size() || ends((*rec)[pos]);
        if (!null) {
          const std::size_t from = pos;
          while (pos < rec->size() && !ends((*rec)[pos])) ++pos;
          text = rec->substr(from, pos - from);
          if (const int e = convert(text, v[i])) return e;
        }
      } else {
        while (pos < rec->size() && !ends((*rec)[pos])) ++pos;
        if (const int e = convert(rec->substr(start, pos - start), v[i])) return e;
      }
      while (pos < rec->size() && blank((*rec)[pos])) ++pos;
      comma_open = !(pos < rec->size() && (*rec)[pos] == ',');
      if (!comma_open) ++pos;
    }
    return 0;
  }

 private:
  std::vector<std::string> recs_;
  std::size_t next_ = 0;

  static bool blank(char c) { return c == ' ' || c == '\t'; }
  static bool digit(char c) { return c >= '0' && c <= '9'; }
  static bool ends(char c) { return blank(c) || c == ',' || c == '/'; }
  static int convert(const std::string& t, double& out) { return kv::io::convert_real(t.data(), t.data() + t.size(), out); }
};

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void real_reads_against_model(const std::string& bytes, const std::uint8_t* plan, std::size_t plan_len) {
  Model model(bytes);
  double got[4] = {1.0, 2.0, 3.0, 4.0};
  double want[4] = {1.0, 2.0, 3.0, 4.0};
  kv::io::open(kUnit, file_path());
  for (int done = 0; done < 100000; ++done) {
    const std::uint8_t b = plan[static_cast<std::size_t>(done) % plan_len];
    const int count = (b & 3) + 1;
    const bool quick_first = (b & 4) != 0;
    int got_msg = 0;
    try {
      auto read = [&](auto&& targets) {
        if (!quick_first || !kv::io::read_plain(kUnit, targets)) kv::io::read(kUnit, targets);
      };
      switch (count) {
        case 1: read(std::initializer_list<kv::io::Target>{got[0]}); break;
        case 2: read(std::initializer_list<kv::io::Target>{got[0], got[1]}); break;
        case 3: read(std::initializer_list<kv::io::Target>{got[0], got[1], got[2]}); break;
        default: read(std::initializer_list<kv::io::Target>{got[0], got[1], got[2], got[3]}); break;
      }
    } catch (const kv::io::Failure& e) {
      got_msg = e.number;
    }
    const int want_msg = model.read(want, count);
    if (got_msg != want_msg) {
      std::fprintf(stderr, "read %d of %d reals: message %d, the rules give %d\n", done, count, got_msg, want_msg);
      fail("a read ended otherwise than the reading rules say");
    }
    for (int i = 0; i < 4; ++i)
      if (!same(got[i], want[i])) {
        std::fprintf(stderr, "read %d, value %d: %a, the rules give %a\n", done, i, got[i], want[i]);
        fail("a read gave another value than the reading rules");
      }
    if (got_msg != 0) break;
  }
  kv::io::close_all_as_they_stand();
}

void plot_script(const std::string& bytes, int head) {
  // Where the head ends: after `head` records, each through its LF or the file's end.
  std::size_t at = 0;
  int found = 0;
  bool unterminated = false;
  while (found < head && at < bytes.size()) {
    const std::size_t lf = bytes.find('\n', at);
    if (lf == std::string::npos) {
      at = bytes.size();
      unterminated = true;
    } else {
      at = lf + 1;
    }
    ++found;
  }
  kv::io::open(kUnit, file_path());
  try {
    for (int i = 0; i < head; ++i) kv::io::read(kUnit, {});
    kv::io::write(kUnit, kv::io::layout<R"(("set title '", A, "'"))">, {"T"});
    kv::io::write(kUnit, kv::io::layout<R"(("plot '", A, "' using 1:2 notitle"))">, {"c_saida_B.txt"});
    kv::io::close(kUnit);
  } catch (const kv::io::Failure& e) {
    kv::io::close_all_as_they_stand();
    if (e.number != 24 || found == head) fail("skipping the head failed although the file has its records");
    if (get_file() != bytes) fail("a failed skip changed the file");
    return;
  }
  if (found < head) fail("skipping more records than the file has did not fail");
  std::string want = bytes.substr(0, at);
  if (unterminated) want += "\r\n";
  want += "set title 'T'\r\nplot 'c_saida_B.txt' using 1:2 notitle\r\n";
  if (get_file() != want) fail("the rewritten file is not the head followed by the two records");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int mode = data[0] & 3;
  const bool filler = (data[0] & 4) != 0;
  const std::size_t offset = (static_cast<std::size_t>(data[1]) << 8 | data[2]) % 4096;
  const std::size_t plan_len = (data[3] & 7) + 1u;
  if (size < 4 + plan_len) return 0;
  const std::uint8_t* plan = data + 4;
  std::string bytes;
  if (filler) {
    bytes.assign(kWindow - offset - 1, ' ');
    bytes += (data[0] & 8) ? "\r\n" : "\n";
  }
  bytes.append(reinterpret_cast<const char*>(plan + plan_len), size - 4 - plan_len);
  put_file(bytes);
  if (mode == 3)
    plot_script(bytes, data[3] >> 3 & 7);
  else if (mode == 2)
    real_reads_against_model(bytes, plan, plan_len);
  else
    value_reads(plan, plan_len);
  return 0;
}
