// The command launcher on its own: how a file name becomes a word of the command line,
// the limits on the command and the interpreter path, the launch result and the error
// numbers, and the records that must be in their files before anything is started.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "run/launcher.h"
#include "scripted_os.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using kv::Interpreter;

// COMSPEC as the test sets it, restored afterwards.
class ComspecGuard {
 public:
  ComspecGuard() {
    if (const char* v = std::getenv("COMSPEC")) saved_ = v;
  }
  ~ComspecGuard() {
    if (saved_)
      ::setenv("COMSPEC", saved_->c_str(), 1);
    else
      ::unsetenv("COMSPEC");
  }
  ComspecGuard(const ComspecGuard&) = delete;
  ComspecGuard& operator=(const ComspecGuard&) = delete;

 private:
  std::optional<std::string> saved_;
};

// A temporary directory; path() is the directory itself.
class TempDir : public kv::test::TempDir {
 public:
  TempDir() : kv::test::TempDir("kv_launch_") {}
  const fs::path& path() const { return dir(); }
};

struct WordCase {
  const char* name;
  std::string file_name;
  std::optional<std::string> shell;  // word for the POSIX shell
  std::optional<std::string> cmd;    // word for cmd
};

TEST(LaunchCommandWord, PlainNamesStayAsTheyAreAndOthersAreQuotedOrRefused) {
  using std::nullopt;
  const std::string nul("a\0b", 3);
  const WordCase cases[] = {
      {"plain", "teste1_saida_A.txt", "teste1_saida_A.txt", "teste1_saida_A.txt"},
      {"blanks stay unquoted", "my case_saida_A.txt", "my case_saida_A.txt", "my case_saida_A.txt"},
      {"Windows-1252 letters", "ca\xE7\xE3o_saida_A.txt", "ca\xE7\xE3o_saida_A.txt", "ca\xE7\xE3o_saida_A.txt"},
      {"empty", "", "", ""},
      {"sequence", "x;touch pwned", "'x;touch pwned'", "x;touch pwned"},
      {"background", "x&echo pwned", "'x&echo pwned'", "\"x&echo pwned\""},
      {"pipe and redirection", "a|b>c<d", "'a|b>c<d'", "\"a|b>c<d\""},
      {"cmd escape", "a^b", "a^b", "\"a^b\""},
      {"substitution", "$(touch pwned)", "'$(touch pwned)'", "$(touch pwned)"},
      {"backquotes", "`id`", "'`id`'", "`id`"},
      {"apostrophe", "it's", "'it'\\''s'", "it's"},
      {"backslash and quotation mark", "a\\b\"c", "'a\\b\"c'", nullopt},
      {"percent", "%PATH%", "%PATH%", nullopt},
      {"patterns", "*.txt?[a]", "'*.txt?[a]'", "*.txt?[a]"},
      {"comment and home", "#x ~y", "'#x ~y'", "#x ~y"},
      {"comment alone", "#k", "'#k'", "#k"},
      {"home alone", "~k", "'~k'", "~k"},
      {"braces", "{a,b}", "'{a,b}'", "{a,b}"},
      {"newline", "a\nb", "'a\nb'", nullopt},
      {"tab and DEL", "a\tb\x7F", "'a\tb\x7F'", nullopt},
      {"zero byte", nul, nullopt, nullopt},
  };
  for (const WordCase& c : cases) {
    EXPECT_EQ(kv::command_word(c.file_name, Interpreter::PosixShell), c.shell) << c.name;
    EXPECT_EQ(kv::command_word(c.file_name, Interpreter::WindowsCmd), c.cmd) << c.name;
    // A refused name always comes with the reason that the user is told.
    EXPECT_EQ(kv::unpassable(c.file_name, Interpreter::PosixShell).empty(), c.shell.has_value()) << c.name;
    EXPECT_EQ(kv::unpassable(c.file_name, Interpreter::WindowsCmd).empty(), c.cmd.has_value()) << c.name;
  }
  EXPECT_EQ(kv::unpassable("%PATH%", Interpreter::WindowsCmd),
            "cmd.exe would take the % in the name for the start of a variable and open another file");
}

TEST(LaunchCommandWord, QuotedShellWordGivesBackTheNameUnchanged) {
  // What the shell makes of the quoted word is the name itself, as one argument.
  TempDir tmp;
  const std::string out = (tmp.path() / "args").string();
  const std::string name = "it's $(x) `y` ; & | \\ \" * ~ #z";
  const auto word = kv::command_word(name, Interpreter::PosixShell);
  ASSERT_TRUE(word);
  ComspecGuard guard;
  ::unsetenv("COMSPEC");
  EXPECT_EQ(kv::run_command("printf '%s|' " + *word + " > '" + out + "'"), 0);
  std::ifstream f(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), name + "|");
}

TEST(LaunchCommand, ResultIsTheInterpretersExitCode) {
  ComspecGuard guard;
  ::unsetenv("COMSPEC");
  EXPECT_EQ(kv::run_command("exit 0"), 0);
  EXPECT_EQ(kv::last_launch_error(), 0);
  EXPECT_EQ(kv::run_command("exit 3"), 3);
  EXPECT_EQ(kv::run_command("exit 255"), 255);
  EXPECT_EQ(kv::run_command("no_such_program_kv 2>/dev/null"), 127);
  EXPECT_EQ(kv::last_launch_error(), 0) << "a command that fails is still a launch";
  ::setenv("COMSPEC", "", 1);  // empty: the default interpreter
  EXPECT_EQ(kv::run_command("exit 4"), 4);
}

TEST(LaunchCommand, TrailingBlanksAreDroppedAndTheLimitIs1024) {
  ComspecGuard guard;
  ::unsetenv("COMSPEC");
  TempDir tmp;
  // "touch 'MARKER' #xxx...": a command of exactly n characters that leaves MARKER.
  const auto command = [&](const std::string& marker, std::size_t n) {
    std::string c = "touch '" + (tmp.path() / marker).string() + "' #";
    c.append(n - c.size(), 'x');
    return c;
  };
  std::string padded = command("padded", 40);
  padded.append(2000 - padded.size(), ' ');
  EXPECT_EQ(kv::run_command(padded), 0);
  EXPECT_TRUE(fs::exists(tmp.path() / "padded"));

  EXPECT_EQ(kv::run_command(command("at_limit", 1024) + std::string(500, ' ')), 0);
  EXPECT_TRUE(fs::exists(tmp.path() / "at_limit"));

  EXPECT_EQ(kv::run_command(command("over_limit", 1025)), -1);
  EXPECT_EQ(kv::last_launch_error(), 7);
  EXPECT_FALSE(fs::exists(tmp.path() / "over_limit"));

  // The limit holds for the whole command, the file name's quoting included.
  EXPECT_EQ(kv::run_command("Notepad", std::string(1015, 'a') + ";"), -1);
  EXPECT_EQ(kv::last_launch_error(), 7);
}

TEST(LaunchCommand, InterpreterPathOfUpTo260Characters) {
  ComspecGuard guard;
  TempDir tmp;
  // base/ddd.../sss... with the last name making the path 260 or 261 characters long.
  const std::string base = tmp.path().string();
  ASSERT_LT(base.size(), 150u);
  const fs::path sub = tmp.path() / std::string(260 - base.size() - 1 - 101, 'd');
  fs::create_directory(sub);
  const fs::path at_limit = sub / std::string(100, 's');
  const fs::path over_limit = sub / std::string(101, 's');
  fs::create_symlink("/bin/sh", at_limit);
  fs::create_symlink("/bin/sh", over_limit);
  ASSERT_EQ(at_limit.string().size(), 260u);

  ::setenv("COMSPEC", at_limit.c_str(), 1);
  EXPECT_EQ(kv::run_command("exit 5"), 5);
  ::setenv("COMSPEC", over_limit.c_str(), 1);
  EXPECT_EQ(kv::run_command("exit 5"), -1);
  EXPECT_EQ(kv::last_launch_error(), 2);
  ::setenv("COMSPEC", std::string(300, 'c').c_str(), 1);
  EXPECT_EQ(kv::run_command("exit 5"), -1);
  EXPECT_EQ(kv::last_launch_error(), 2);
}

TEST(LaunchCommand, InterpreterThatCannotBeStarted) {
  ComspecGuard guard;
  TempDir tmp;
  const fs::path not_executable = tmp.path() / "not_executable";
  std::ofstream(not_executable) << "exit 0\n";
  fs::permissions(not_executable, fs::perms::owner_read | fs::perms::owner_write);
  const struct {
    std::string comspec;
    int error;
  } cases[] = {
      {(tmp.path() / "missing").string(), 2},
      {"no_such_interpreter_kv", 2},
      {(tmp.path() / "missing" / "sh").string(), 2},
      {not_executable.string(), 8},
  };
  for (const auto& c : cases) {
    ::setenv("COMSPEC", c.comspec.c_str(), 1);
    EXPECT_EQ(kv::run_command("exit 0"), -1) << c.comspec;
    EXPECT_EQ(kv::last_launch_error(), c.error) << c.comspec;
  }
}

TEST(LaunchCommand, UnsafeNameIsNotLaunched) {
  ComspecGuard guard;
  ::unsetenv("COMSPEC");
  TempDir tmp;
  const std::string marker = (tmp.path() / "ran").string();
  // A name the shell cannot be given safely: nothing runs. No file has such a name, so
  // the open that follows is what reports it (cmd's refusals are told at once: the Windows
  // check runs them under Wine).
  {
    kv::test::StderrCapture capture;
    EXPECT_EQ(kv::run_command("touch '" + marker + "'; true", std::string("a\0b", 3)), -1);
    kv::io::stderr_flush();
    EXPECT_EQ(capture.err, "");
  }
  EXPECT_EQ(kv::last_launch_error(), 12);
  EXPECT_FALSE(fs::exists(marker));
  // A quoted name reaches the program as one argument and runs nothing.
  EXPECT_EQ(kv::run_command("test -e", "x; touch '" + marker + "'"), 1);
  EXPECT_FALSE(fs::exists(marker));
}

TEST(LaunchCommand, RecordsWrittenSoFarAreInTheirFilesBeforeTheLaunch) {
  ComspecGuard guard;
  ::unsetenv("COMSPEC");
  TempDir tmp;
  const std::string file = (tmp.path() / "open.txt").string();
  const std::string copy = (tmp.path() / "copy.txt").string();
  constexpr int unit = 42;
  kv::io::open(unit, file);
  kv::io::write(unit, kv::io::layout<R"(("primeiro registro"))">);
  kv::io::write(unit, kv::io::layout<R"(("segundo registro"))">);
  EXPECT_EQ(kv::run_command("cp '" + file + "' '" + copy + "'"), 0);
  kv::io::close(unit);
  std::ifstream f(copy, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "primeiro registro\r\nsegundo registro\r\n");
}

}  // namespace

// Outside Windows, the commands a run starts find the stand-ins shipped with the program
// after the user's own programs: the stand-ins' folder, installed or in the build tree,
// is appended to their PATH.
TEST(LaunchStandIns, PathGainsTheFolderBesideTheProgramAfterTheUsersOwn) {
  struct Case {
    const char* name;
    std::vector<std::string> folders;  // those that exist
    std::string executable;
    std::optional<std::string> user_path;
    std::optional<std::string> child_path;
  };
  const std::string installed = "/opt/kv/libexec/kalvorestine_2p0";
  const std::vector<Case> cases = {
      {"installed", {installed}, "/opt/kv/bin/kalvorestine_2p0", "/usr/bin:/bin", "/usr/bin:/bin:" + installed},
      {"build tree", {"/b/tools/shims"}, "/b/kalvorestine_2p0", "/usr/bin", "/usr/bin:/b/tools/shims"},
      {"installed before build tree",
       {installed, "/opt/kv/bin/tools/shims"},
       "/opt/kv/bin/kalvorestine_2p0",
       "/x",
       "/x:" + installed},
      {"neither", {}, "/opt/kv/bin/kalvorestine_2p0", "/usr/bin", std::nullopt},
      {"PATH unset", {installed}, "/opt/kv/bin/kalvorestine_2p0", std::nullopt,
       std::string(kv::kDefaultPath) + ":" + installed},
      {"PATH empty", {installed}, "/opt/kv/bin/kalvorestine_2p0", "", installed},
      {"folder that PATH cannot hold", {"/a:b/tools/shims"}, "/a:b/kalvorestine_2p0", "/usr/bin", std::nullopt},
      {"program unknown", {installed}, "", "/usr/bin", std::nullopt},
  };
  for (const Case& c : cases) {
    kv::test::ScriptedOs os;
    for (const std::string& f : c.folders) os.mkdir(f);
    EXPECT_EQ(kv::child_path(c.executable, c.user_path), c.child_path) << c.name;
  }
}

TEST(LaunchStandIns, CommandTextStaysAsItIsAndOnlyPathChanges) {
  kv::test::ScriptedOs os;
  os.executable = "/opt/kv/bin/kalvorestine_2p0";
  os.mkdir("/opt/kv/libexec/kalvorestine_2p0");
  os.env["PATH"] = "/home/u/bin:/usr/bin";
  EXPECT_EQ(kv::run_command("Wgnuplot kalvorestine_2p0_curva_F-t.gnu   "), 0);
  ASSERT_EQ(os.launches.size(), 1u);
  EXPECT_EQ(os.launches[0].first, "/bin/sh");
  EXPECT_EQ(os.launches[0].second, "Wgnuplot kalvorestine_2p0_curva_F-t.gnu");
  EXPECT_EQ(os.child_paths[0], "/home/u/bin:/usr/bin:/opt/kv/libexec/kalvorestine_2p0");
}
