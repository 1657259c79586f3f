// Case folders for the report's tests: the shipped example, or a case written by the
// test (case_folder.h), the real program run on it, then the report; and headless
// Chromium, where it is installed, to print and render the pages.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "case_folder.h"
#include "test_support.h"

namespace kv::test {

class ReportDir : public TempDir {
 public:
  ReportDir() : TempDir("kv_report_") {}

  // The shipped example, as a user copies it.
  void put_example() const {
    for (const char* name : {"kalvorestine_2p0_dados_geral.txt", "motor_d12.txt", "motor_d12_celula.txt",
                             "kalvorestine_2p0_curva_F-t.gnu"})
      put(name, read_bytes(fs::path(KV_SOURCE_DIR) / "examples" / name));
  }

  // The example's load cell not tared: 1 N on every reading, which the program runs
  // through and prepare's check finds.
  void untare_example() const {
    std::string cell;
    for (const std::string& line : lines(get("motor_d12_celula.txt"))) {
      std::istringstream in(line);
      double t = 0, F = 0;
      if (in >> t >> F) cell += fixed(t, 3) + "  " + fixed(F + 1.0, 4) + "\r\n";
    }
    put("motor_d12_celula.txt", cell);
  }

  int run_program() const { return run_in(dir(), {KV_PROGRAM}, kNoLaunches).status; }

  Outcome run_report(const std::vector<std::string>& args, const fs::path& cwd = {}) const {
    std::vector<std::string> argv = {KV_REPORT};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_in(cwd.empty() ? dir() : cwd, argv, kNoLaunches);
  }
  Outcome run_export(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {KV_EXPORT};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_in(dir(), argv, kNoLaunches);
  }
};

// The text of the element with id="ID" up to its closing tag; "" when there is none.
inline std::string element_text(const std::string& html, const std::string& id) {
  const auto at = html.find("id=\"" + id + "\"");
  if (at == std::string::npos) return "";
  const auto from = html.find('>', at) + 1;
  return html.substr(from, html.find('<', from) - from);
}

// The number after `label` (blanks skipped); NaN when none is there.
inline double number_after(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  std::size_t from = at + label.size();
  while (from < text.size() && text[from] == ' ') ++from;
  double v = std::nan("");
  std::from_chars(text.data() + from, text.data() + text.size(), v);
  return v;
}

inline bool have_chromium() { return fs::exists("/usr/bin/chromium") && fs::exists("/usr/bin/pdfinfo"); }

// Headless Chromium with the network unreachable: every name resolves to nothing and
// every connection goes to a closed port.
inline Outcome chromium(const fs::path& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                                   "--no-first-run", "--host-resolver-rules=MAP * ~NOTFOUND",
                                   "--proxy-server=127.0.0.1:9", "--user-data-dir=" + (dir / "chromium-profile").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_in(dir, argv, {}, 120000);
}

}  // namespace kv::test
