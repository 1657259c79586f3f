// A case's record of how prepare made it (<caso>_prepare.json), read back by the
// companions that take figures from it: the name, the reading, and whether the case's
// load-cell file is still the one it describes. prepare writes it (prepare/case_record.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "companion/json.h"

namespace kv::companion {

inline constexpr const char* kRecordKind = "kalvorestine_2p0_prepare case record";

std::string record_file_name(const std::string& caso);

struct CaseRecord {
  JsonValue json;
  // The load-cell file it describes.
  std::string load_cell;
  std::uint64_t load_cell_size = 0;
  std::string load_cell_sha256;
};

// The record in a text; nothing when it is not one of prepare's.
std::optional<CaseRecord> read_case_record(const std::string& text);

// The record of the case in the current folder, held against its load-cell file.
struct RecordCheck {
  enum class State { None, Matches, Problem } state = State::None;
  std::optional<CaseRecord> record;  // with Matches
  std::string file;                  // the file the problem is about
  std::string problem;               // what does not match, in words
};
RecordCheck check_case_record(const std::string& caso, const std::string& load_cell);

}  // namespace kv::companion
