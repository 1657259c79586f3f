// Fuzz target: a case's record of how prepare made it, as a hand-edited file may hold
// it: read as JSON and as a record. The reader must end with a value or a refusal that
// says where, never anything else; a record it takes names its load-cell file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "companion/case_record.h"
#include "companion/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string why;
  const auto j = kv::companion::parse_json(text, &why);
  if (!j && why.find("at byte") == std::string::npos) std::abort();
  if (const auto r = kv::companion::read_case_record(text)) {
    if (!j || r->load_cell_sha256.size() != (*j)["load_cell"]["sha256"].string.size()) std::abort();
  }
  return 0;
}
