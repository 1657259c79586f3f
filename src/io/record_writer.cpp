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

// The record being built at the end of the unit's buffer: out[rec .. rec + len).
struct RecordBuilder {
  std::string& out;
  std::size_t rec;
  std::size_t col = 0;  // current column, 0-based
  std::size_t len = 0;  // highest column that received a character

  // Room for n characters at the current column; the column advances past them.
  char* place(std::size_t n) {
    const std::size_t end = col + n;
    if (end > len) {
      out.resize(rec + end);
      if (col > len) std::memset(out.data() + rec + len, ' ', col - len);
      len = end;
    }
    char* p = out.data() + rec + col;
    col = end;
    return p;
  }
  void end_record() {
    out.append("\r\n", 2);
    rec = out.size();
    col = len = 0;
  }
};

void end_write(File& f, bool conversion_error) {
  if (conversion_error) error(kOutputConversion, f.unit);
  if (f.out.size() >= kFlushAt) flush(f);
}

}  // namespace

void write(int unit, LayoutView layout, std::initializer_list<Value> values) {
  File& f = file(unit);
  if (!f.writing) start_writing(f);
  bool conversion_error = false;
  try {
    RecordBuilder r{f.out, f.out.size()};
    const Value* v = values.begin();
    const Value* const v_end = values.end();
    for (const Item& it : layout.items) {
      if (it.takes_value() && v == v_end) break;
      switch (it.op) {
        case Op::Literal:
          std::memcpy(r.place(it.len), layout.text + it.off, it.len);
          break;
        case Op::A:
          std::memcpy(r.place(v->text.size()), v->text.data(), v->text.size());
          ++v;
          break;
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
  } catch (const std::bad_alloc&) {
    severe(kRecordOverflow, unit);
  }
  end_write(f, conversion_error);
}

void write_list(int unit, std::string_view text) {
  File& f = file(unit);
  if (!f.writing) start_writing(f);
  f.out.push_back(' ');
  f.out.append(text);
  f.out.append("\r\n", 2);
  end_write(f, false);
}

}  // namespace kv::io
