#include "companion/case_record.h"

#include <vector>

#include "companion/sha256.h"
#include "io/os.h"

namespace kv::companion {

std::string record_file_name(const std::string& caso) { return caso + "_prepare.json"; }

std::optional<CaseRecord> read_case_record(const std::string& text) {
  std::optional<JsonValue> j = parse_json(text);
  if (!j || (*j)["record"].string != kRecordKind) return std::nullopt;
  const JsonValue& cell = (*j)["load_cell"];
  const std::optional<double> size = cell["size"].as_number();
  if (cell["name"].kind != JsonValue::Kind::String || cell["sha256"].kind != JsonValue::Kind::String || !size ||
      !(*size >= 0 && *size < 1e18))
    return std::nullopt;
  CaseRecord r;
  r.load_cell = cell["name"].string;
  r.load_cell_size = static_cast<std::uint64_t>(*size);
  r.load_cell_sha256 = cell["sha256"].string;
  r.json = std::move(*j);
  return r;
}

namespace {

// The whole of a small file; nothing when it cannot be read or is larger than `limit`.
std::optional<std::string> small_file(const std::string& name, std::size_t limit) {
  io::OpenResult r;
  do r = io::os().open(name, io::Access::Read);
  while (r.error == io::OsError::Interrupted);
  if (r.error != io::OsError::None) return std::nullopt;
  std::string text;
  std::vector<char> block(std::size_t{1} << 16);
  bool ok = true;
  for (;;) {
    const io::OsResult got = io::os().read(r.handle, block.data(), block.size());
    if (got.error == io::OsError::Interrupted) continue;
    if (got.error != io::OsError::None || text.size() > limit) {
      ok = false;
      break;
    }
    if (got.bytes == 0) break;
    text.append(block.data(), got.bytes);
  }
  io::os().close(r.handle);
  if (!ok) return std::nullopt;
  return text;
}

}  // namespace

RecordCheck check_case_record(const std::string& caso, const std::string& load_cell) {
  RecordCheck c;
  const std::string name = record_file_name(caso);
  if (io::os().status(name, true).kind != io::FileKind::Regular) return c;
  c.state = RecordCheck::State::Problem;
  c.file = name;
  const std::optional<std::string> text = small_file(name, std::size_t{1} << 24);
  if (!text) {
    c.problem = "cannot be read";
    return c;
  }
  std::optional<CaseRecord> record = read_case_record(*text);
  if (!record) {
    c.problem = "is not a record of prepare's (no load_cell with its name, size and sha256): it says nothing of this "
                "case; prepare the case again, or remove it";
    return c;
  }
  if (record->load_cell != load_cell) {
    c.problem = "describes the load-cell file " + record->load_cell + ", but the case reads " + load_cell +
                ": prepare the case again, or remove the record";
    return c;
  }
  const std::optional<FileDigest> now = file_digest(load_cell);
  if (!now) {
    c.state = RecordCheck::State::None;  // the load-cell file's own failure says why
    return c;
  }
  if (now->size != record->load_cell_size || now->sha256 != record->load_cell_sha256) {
    c.file = load_cell;
    c.problem = "has changed since prepare made the case (" +
                (now->size != record->load_cell_size
                     ? std::to_string(record->load_cell_size) + " bytes then, " + std::to_string(now->size) + " now"
                     : std::string("the same size, other bytes")) +
                "): " + name + " no longer describes it; prepare the case again from the logger file";
    return c;
  }
  c.state = RecordCheck::State::Matches;
  c.record = std::move(record);
  return c;
}

}  // namespace kv::companion
