#include "io/record_writer.h"

#include <cstring>
#include <new>
#include <string>

#include "io/diagnostics.h"
#include "io/edit_descriptors.h"
#include "io/files.h"

namespace kv::io {
namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

// An upper bound of the bytes one write appends: every literal and field, every column a
// T can move to, every X, and the line end of every record.
std::size_t write_bound(LayoutView layout, std::initializer_list<Value> values) {
  std::size_t n = 2;
  const Value* v = values.begin();
  for (const Item& it : layout.items) {
    if (it.takes_value() && v == values.end()) break;  // processing stops there
    switch (it.op) {
      case Op::Literal:
        n += it.len;
        break;
      case Op::A:
        n += (v++)->text.size();
        break;
      case Op::I:
      case Op::F:
      case Op::E:
        ++v;
        n += it.w;
        break;
      case Op::T:
      case Op::X:
        n += it.w;
        break;
      case Op::Slash:
        n += 2;
        break;
    }
  }
  return n;
}

// The records being built in place, in a stretch of the unit's buffer laid out in
// advance and filled with blanks, so that columns passed over by T and X are blanks.
struct RecordBuilder {
  char* buf;
  std::size_t rec = 0;  // start of the current record
  std::size_t col = 0;  // current column, 0-based
  std::size_t len = 0;  // highest column that received a character

  // Room for n characters at the current column; the column advances past them.
  char* place(std::size_t n) {
    char* p = buf + rec + col;
    col += n;
    if (col > len) len = col;
    return p;
  }
  void end_record() {
    std::memcpy(buf + rec + len, "\r\n", 2);
    rec += len + 2;
    col = len = 0;
  }
};

// One write's records, appended to the unit's buffer by `append`, which returns false
// when a numeric field did not fit. Memory that runs out while the records are held
// stops the run as a record that cannot be held: message 66.
template <class Append>
void write_records(int unit, Append append) {
  stop_if_interrupted();  // between records: the run ends with whole ones only
  File& f = file(unit);
  if (!f.writing) start_writing(f);
  bool fits = true;
  try {
    fits = append(f.out);
  } catch (const std::bad_alloc&) {
    fail(kRecordOverflow, f);
  }
  if (!fits) error(kOutputConversion, f.unit, f.full_path);
  if (f.out.size() >= kFlushAt) flush(f);
}

}  // namespace

bool format_records(std::string& out, LayoutView layout, std::initializer_list<Value> values) {
  bool conversion_error = false;
  const std::size_t base = out.size();
  const std::size_t bound = write_bound(layout, values);
  // Short writes (every per-point record) are built on the stack and appended once.
  char local[256];
  const bool short_write = bound <= sizeof local;
  if (short_write)
    std::memset(local, ' ', bound);
  else
    out.resize(base + bound, ' ');
  RecordBuilder r{short_write ? local : out.data() + base};
  const Value* v = values.begin();
  const Value* const v_end = values.end();
  for (const Item& it : layout.items) {
    if (it.takes_value() && v == v_end) break;
    switch (it.op) {
      case Op::Literal:
        std::memcpy(r.place(it.len), layout.text + it.off, it.len);
        break;
      case Op::A: {
        char* at = r.place(v->text.size());
        // An empty text may have no characters behind it at all: nothing to copy.
        if (!v->text.empty()) std::memcpy(at, v->text.data(), v->text.size());
        ++v;
        break;
      }
      case Op::I:
        conversion_error |= !edit_I(r.place(it.w), v->integer, it.w);
        ++v;
        break;
      case Op::F:
        conversion_error |= !edit_F(r.place(it.w), v->real, it.w, it.d);
        ++v;
        break;
      case Op::E:
        conversion_error |= !edit_E(r.place(it.w), v->real, it.w, it.d);
        ++v;
        break;
      case Op::T:
        r.col = it.w - 1u;
        break;
      case Op::X:
        r.col += it.w;
        break;
      case Op::Slash:
        r.end_record();
        break;
    }
  }
  r.end_record();
  if (short_write)
    out.append(local, r.rec);
  else
    out.resize(base + r.rec);
  return !conversion_error;
}

void write(int unit, LayoutView layout, std::initializer_list<Value> values) {
  write_records(unit, [&](std::string& out) { return format_records(out, layout, values); });
}

void write_list(int unit, std::string_view text) {
  write_records(unit, [&](std::string& out) {
    out.push_back(' ');
    out.append(text);
    out.append("\r\n", 2);
    return true;
  });
}

}  // namespace kv::io
