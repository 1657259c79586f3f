// A case folder as the tests write it, the same for the program's tests and for those of
// its companions: the general data file naming the case parameter file, the case
// parameter file's twelve records, the load-cell data file and, when given, the plot
// script. Header-only and free of the test framework.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "test_support.h"

namespace kv::test {

// The twelve records of a case parameter file, each value followed by its description
// (an empty value leaves its record empty). The defaults are the small firing of the
// worked example: five points, It = 4 N s, B10.
struct CaseFile {
  std::string original = "celula.txt";
  std::string ti = "0.0";
  std::string tf = "0.4";
  std::string Fcor = "0.0";
  std::string M = "0.01";
  std::string w = "10";
  std::string nmax = "100";
  std::string toB = "0";
  std::string graf = "0";
  std::string abreB = "0";
  std::string caso = "teste1";
  std::string titulo = "'Motor de teste'";
  std::string line_end = "\r\n";

  std::string text() const {
    static const char* const kNames[] = {"original", "ti (s)", "tf (s)", "Fcor (N)", "M (kg)", "w (Hz)",
                                         "nmax",     "toB",    "graf",   "abreB",    "caso",   "titulo"};
    std::string s;
    int i = 0;
    for (const std::string* v : {&original, &ti, &tf, &Fcor, &M, &w, &nmax, &toB, &graf, &abreB, &caso, &titulo}) {
      if (!v->empty()) s.append(*v).append("      ").append(kNames[i]);
      s.append(line_end);
      ++i;
    }
    return s;
  }
};

// The case name the program makes of `caso` as written: the text between its quotes, or
// up to its first blank; trimmed.
inline std::string case_name(const CaseFile& c) {
  std::string v = c.caso;
  if (!v.empty() && (v[0] == '\'' || v[0] == '"')) {
    v = v.substr(1, v.rfind(v[0]) - 1);
  } else {
    v = v.substr(0, v.find(' '));
  }
  const auto first = v.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return v.substr(first, v.find_last_not_of(' ') - first + 1);
}

// n head records for the plot script.
inline std::string head_records(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "# head record " + std::to_string(i) + "\r\n";
  return s;
}
// Six head records as a user keeps them.
inline const std::string kPlotHead =
    "set terminal dumb\r\nset grid\r\nset xlabel 't [s]'\r\nset ylabel 'F [N]'\r\nset key off\r\nset style data lines\r\n";

// The inputs of a run, put by `put(name, bytes)`: the general data file naming
// `case_file` (as written there, quotes and all), the case file, the samples in
// `load_cell` and, when given, the plot script.
template <class Put>
void put_case(Put put, const CaseFile& c, std::string_view samples, std::optional<std::string_view> plot_script,
              std::string_view case_file, std::string_view load_cell = "celula.txt") {
  std::string stored(case_file);
  if (stored.size() >= 2 && (stored.front() == '\'' || stored.front() == '"')) stored = stored.substr(1, stored.size() - 2);
  put(kGeneralData, std::string(case_file) + "   arquivo do caso em uso\r\n");
  put(stored, c.text());
  put(load_cell, samples);
  if (plot_script) put(kPlotScript, *plot_script);
}

// The same into a folder.
inline void put_case_folder(const TempDir& d, const CaseFile& c, std::string_view samples,
                     std::optional<std::string_view> plot_script = std::nullopt, std::string_view case_file = "caso1.txt",
                     std::string_view load_cell = "celula.txt") {
  put_case([&d](std::string_view n, std::string_view b) { d.put(n, b); }, c, samples, plot_script, case_file, load_cell);
}

}  // namespace kv::test
