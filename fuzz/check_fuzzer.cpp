// Fuzz target: --check over a case folder.
//
// The input is the case folder's files, one after the other, each ending at a line that
// holds "=====" alone: the general data file, the case parameter file, the load-cell data
// file (named celula.txt) and the plot script; what is missing stays missing. The check
// must end with its findings, never anything else, and a finding is text a terminal can
// show: the files' control bytes come escaped.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "prepare/case_check.h"
#include "run/program_files.h"
#include "tests/scripted_os.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  static const char* const kNames[] = {kv::kGeneralDataFile, "caso.txt", "celula.txt", kv::kPlotScript};
  kv::test::ScriptedOs os("/case");
  std::size_t at = 0;
  for (const char* name : kNames) {
    if (at > in.size()) break;
    const std::size_t end = in.find("\n=====\n", at);
    os.put(name, in.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = end + 7;
  }
  for (const kv::prepare::Finding& f : kv::prepare::check_case())
    for (const std::string* text : {&f.where, &f.text})
      for (const char c : *text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) std::abort();
  return 0;
}
