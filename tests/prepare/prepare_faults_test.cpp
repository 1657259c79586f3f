// prepare against a hostile folder and a failing system: its writing over the scripted
// system (a disk that fills, a refused rename, a folder that appears, an interruption),
// and end to end what needs a real process: signals, FIFOs, symbolic links, a file
// system mounted inside the case folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "companion/errors.h"
#include "io/files.h"
#include "prepare/case_check.h"
#include "prepare/case_writer.h"
#include "prepare/condition.h"
#include "prepare/logger_reader.h"
#include "prepare/os_files.h"
#include "prepare_support.h"
#include "scripted_os.h"

namespace kv::test {
namespace {

using prepare::CaseRequest;
using companion::DataError;

// A prepared firing: 3.5 s at 1 kHz, the motor ignited at 1 s.
prepare::Prepared prepared() {
  std::vector<prepare::Point> pts;
  for (int i = 0; i <= 3500; ++i) pts.push_back({i / 1000.0, motor(i / 1000.0 - 1.0)});
  return prepare::condition_points(pts, 0.001, {}, "log.csv");
}

CaseRequest request_for(const std::string& folder, bool force) {
  CaseRequest r;
  r.folder = folder;
  r.force = force;
  r.caso = "ensaio";
  r.titulo = "Ensaio";
  r.mass = 0.02;
  r.source = "log.csv";
  r.logger = io::os().status("log.csv", true);
  return r;
}

// Every name under the scripted system's working folder, with the bytes of each file.
std::map<std::string, std::string> tree(const ScriptedOs& os, const std::string& folder = "/run") {
  std::map<std::string, std::string> m;
  for (const std::string& n : os.listing(folder)) {
    const std::string full = folder + "/" + n;
    if (os.is_dir(full)) {
      m[full] = "<folder>";
      for (const auto& [k, v] : tree(os, full)) m[k] = v;
    } else {
      m[full] = os.get(full);
    }
  }
  return m;
}

// A folder holding an earlier case and a file of the user's.
void earlier_case(ScriptedOs& os) {
  os.mkdir("case");
  os.put("case/ensaio.txt", "old case file\r\n");
  os.put("case/ensaio_celula.txt", "0 0\r\n");
  os.put("case/kalvorestine_2p0_dados_geral.txt", "old general data\r\n");
  os.put("case/notes.txt", "the user's notes");
}

struct WriteFault {
  const char* name;
  bool existing;                            // --force over earlier_case()
  std::function<void(ScriptedOs&)> script;
  std::string says;                         // the message names the user's file and why
};
void PrintTo(const WriteFault& c, std::ostream* os) { *os << c.name; }

class PrepareWriteFault : public ::testing::TestWithParam<WriteFault> {};

TEST_P(PrepareWriteFault, LeavesWhatWasThereAndNoTemporaryAndSaysWhy) {
  const WriteFault& c = GetParam();
  const prepare::Prepared p = prepared();
  ScriptedOs os;
  os.put("log.csv", "the logger's file");
  if (c.existing) earlier_case(os);
  const auto before = tree(os);
  c.script(os);
  try {
    prepare::write_case(p, request_for("case", c.existing));
    ADD_FAILURE() << "the case was written";
  } catch (const DataError& e) {
    EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find(".prepare-"), std::string::npos) << "a temporary name: " << e.what();
  } catch (const io::Interruption& i) {
    EXPECT_EQ(c.says, "interrupted");
    EXPECT_EQ(i.signal, SIGTERM);
  }
  EXPECT_EQ(tree(os), before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrepareWriteFault,
    ::testing::Values(
        WriteFault{"DiskFillsInTheLoadCellFileOfANewCase", false, [](ScriptedOs& os) { os.disk_space(20000); },
                   "case/ensaio_celula.txt: cannot be written (the disk is full)"},
        WriteFault{"DiskFillsInTheLoadCellFileOverAnEarlierCase", true, [](ScriptedOs& os) { os.disk_space(20000); },
                   "case/ensaio_celula.txt: cannot be written (the disk is full)"},
        WriteFault{"SyncRefused", false, [](ScriptedOs& os) { os.refuse_sync = true; },
                   "case/ensaio_celula.txt: cannot be written"},
        WriteFault{"NewFolderCannotBeRenamed", false, [](ScriptedOs& os) { os.refuse_rename("/run/case"); },
                   "case: the case folder cannot be put in place (permission denied)"},
        WriteFault{"FolderAppearsMeanwhile", false,
                   [](ScriptedOs& os) { os.refuse_rename("/run/case", io::OsError::NotEmpty); },
                   "case: a folder of that name appeared while the case was written; nothing was put there"},
        WriteFault{"FirstRenameRefused", true, [](ScriptedOs& os) { os.refuse_rename("/run/case/ensaio_celula.txt"); },
                   "case/ensaio_celula.txt: cannot be replaced (permission denied); no case file was changed"},
        WriteFault{"InterruptedWhileWriting", true, [](ScriptedOs&) { io::note_interrupt(SIGTERM); }, "interrupted"},
        WriteFault{"InterruptedInANewCase", false, [](ScriptedOs&) { io::note_interrupt(SIGTERM); }, "interrupted"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareWriting, OverAnEarlierCaseReplacesOnlyTheCaseFilesAndKeepsTheRest) {
  const prepare::Prepared p = prepared();
  ScriptedOs os;
  os.put("log.csv", "the logger's file");
  earlier_case(os);
  os.put("case/kalvorestine_2p0_curva_F-t.gnu", "the user's own plot script");
  os.mkdir("case/mnt");
  os.put("case/mnt/data.bin", "another file system's file");
  const prepare::WriteReport w = prepare::write_case(p, request_for("case", true));
  EXPECT_TRUE(w.plot_script_kept);
  EXPECT_EQ(os.get("case/notes.txt"), "the user's notes");
  EXPECT_EQ(os.get("case/mnt/data.bin"), "another file system's file");
  EXPECT_EQ(os.get("case/kalvorestine_2p0_curva_F-t.gnu"), "the user's own plot script");
  EXPECT_NE(os.get("case/ensaio.txt"), "old case file\r\n");
  EXPECT_EQ(os.listing("case"), (std::vector<std::string>{"ensaio.txt", "ensaio_celula.txt", "kalvorestine_2p0_curva_F-t.gnu",
                                                          "kalvorestine_2p0_dados_geral.txt", "mnt", "notes.txt"}));
  EXPECT_EQ(os.listing("/run"), (std::vector<std::string>{"case", "log.csv"}));
}

TEST(PrepareWriting, ALaterRunRemovesTheTemporariesOfAStoppedOneAndSaysSo) {
  const prepare::Prepared p = prepared();
  ScriptedOs os;
  os.put("log.csv", "the logger's file");
  earlier_case(os);
  os.put("case/.ensaio_celula.txt.prepare-4711", "half a load-cell file");
  os.put("case/.notes.txt.prepare-4711", "not a name of prepare's: stays");
  os.mkdir(".new.prepare-815");
  os.put(".new.prepare-815/ensaio_celula.txt", "half a case");
  os.mkdir(".new.prepare-816");
  os.put(".new.prepare-816/photo.jpg", "the user's: stays");
  const prepare::WriteReport w = prepare::write_case(p, request_for("case", true));
  ASSERT_EQ(w.notes.size(), 1u);
  EXPECT_NE(w.notes[0].find("removed case/.ensaio_celula.txt.prepare-4711, a temporary file that an earlier run left"),
            std::string::npos);
  EXPECT_TRUE(os.has("case/.notes.txt.prepare-4711"));
  const prepare::WriteReport n = prepare::write_case(p, request_for("new", false));
  ASSERT_EQ(n.notes.size(), 1u);
  EXPECT_NE(n.notes[0].find("removed .new.prepare-815, a temporary folder"), std::string::npos) << n.notes[0];
  EXPECT_TRUE(os.has(".new.prepare-816/photo.jpg"));
  EXPECT_TRUE(os.has("new/ensaio_celula.txt"));
}

TEST(PrepareWriting, RefusesWhatWouldWriteOverTheLoggerOrThroughALink) {
  ScriptedOs os;
  os.mkdir("teste1");
  os.put("teste1/teste1.txt", "the 3000-line record");
  os.mkdir("elsewhere");
  os.put("elsewhere/keep.txt", "the link target's file");
  os.symlink("linked", "elsewhere");
  struct Case {
    std::string folder, caso, logger, says;
  };
  for (const Case& c : std::vector<Case>{
           {"teste1", "teste1", "teste1/teste1.txt",
            "teste1/teste1.txt is the logger file itself, which the case would write over: give --out another folder or "
            "--case another name"},
           {"linked", "x", "teste1/teste1.txt", "linked: is a symbolic link; give --out the folder it leads to"}}) {
    CaseRequest r = request_for(c.folder, true);
    r.caso = c.caso;
    r.logger = io::os().status(c.logger, true);
    try {
      prepare::check_target(r);
      ADD_FAILURE() << c.folder;
    } catch (const DataError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(os.get("teste1/teste1.txt"), "the 3000-line record");
  EXPECT_EQ(os.listing("elsewhere"), std::vector<std::string>{"keep.txt"});
}

TEST(PrepareReadingFaults, TheLoggerFileIsNamedWithTheRealCause) {
  ScriptedOs os;
  os.put("fifo", "");
  os.not_regular("fifo");
  os.symlink("loop", "loop");
  os.mkdir("folder");
  os.put("unreadable", "0 1\n");
  os.fail_reads_after("unreadable", 0);
  os.put("utf16", std::string("\xFF\xFE" "t\0,\0F\0\n\0", 10));
  for (const auto& [name, says] : std::vector<std::pair<std::string, std::string>>{
           {"fifo", "fifo: is a FIFO (a named pipe), not a file"},
           {"loop", "loop: a loop of symbolic links, not a file"},
           {"missing", "missing: no such file"},
           {"folder", "folder: is a folder, not a file"},
           {"unreadable", "unreadable: cannot be read (the system refused)"},
           {"utf16", "utf16: is UTF-16 text (two bytes a character): save it as UTF-8"}}) {
    try {
      prepare::LoggerReader reader(name, {});
      reader.scan();
      ADD_FAILURE() << name;
    } catch (const DataError& e) {
      EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
    }
  }
}

// --- end to end ------------------------------------------------------------------------

std::string record_text(int lines = 3500) {
  std::string s = "time,thrust\n";
  for (int i = 0; i < lines; ++i) s += fixed(i / 1000.0, 3) + "," + fixed(motor(i / 1000.0 - 1.0), 4) + "\n";
  return s;
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

TEST(PrepareEndToEnd, MessagesSayTheRealCause) {
  TempDir d("kv_faults_");
  d.put("log.csv", record_text());
  ASSERT_EQ(::mkfifo(d.path("fifo.csv").c_str(), 0644), 0);
  fs::create_symlink("loop.csv", d.dir() / "loop.csv");
  std::string with_nul = record_text();
  with_nul.insert(with_nul.find("1.500,"), std::string("1.4995,\0\x1b[31m\n", 14));
  d.put("nul.csv", with_nul);
  std::string huge = record_text();
  huge.insert(huge.find("1.500,"), "1.4995,+1e400\n");
  d.put("huge.csv", huge);
  // millis() from 2^32 - 1500 ms on: the clock wraps half a second into the burn.
  std::string wrapped = "ms,g\n";
  for (int i = 0; i < 3500; ++i)
    wrapped += std::to_string((4294967296LL - 1500 + i) % 4294967296LL) + "," + fixed(motor(i / 1000.0 - 1.0) * 102, 1) + "\n";
  d.put("wrap.csv", wrapped);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {{"fifo.csv"}, 1, "fifo.csv: is a FIFO (a named pipe), not a file"},
           {{"loop.csv"}, 1, "loop.csv: a loop of symbolic links, not a file"},
           {{"nul.csv"}, 1, "nul.csv:1502: '1.4995,\\x00\\x1B[31m': expected the time"},
           {{"huge.csv"}, 1, "huge.csv:1502: '1.4995,+1e400': a value out of range in column 2 (thrust)"},
           {{"log.csv", "--scale", "1e306", "--thrust-unit", "kN"}, 1, "a value out of range in column 2 (thrust) once taken through --scale"},
           {{"log.csv", "--window", "1e300,1e301"}, 1, "--window 1e+300,1e+301 lies outside the record"},
           {{"wrap.csv", "--time-unit", "ms", "--thrust-unit", "gf", "--out", "w/"}, 0,
            "the logger's 32-bit clock wrapped (started again at 0 after 2^32 counts) on line 1502"},
       }) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--mass", "0.02"});
    const Outcome r = prepare(d.dir(), args);
    EXPECT_EQ(r.status, c.status) << args[0] << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << args[0] << r.out << r.err;
  }
  // A mass typed 300 orders too small: the specific impulse it gives is printed as the
  // number it is, not through an integer it overflows.
  const Outcome tiny = prepare(d.dir(), {"log.csv", "--mass", "1e-300"});
  EXPECT_EQ(tiny.status, 1);
  const auto at = tiny.err.find("the specific impulse would be ");
  ASSERT_NE(at, std::string::npos) << tiny.err;
  EXPECT_NE(tiny.err.find("would be 3.31e+300 s", at), std::string::npos) << tiny.err;
  EXPECT_EQ(tiny.err.find("-9223372036854775808"), std::string::npos) << tiny.err;
  EXPECT_TRUE(d.has("w/wrap.txt"));
  // The wrapped clock gives the firing of the other records.
  EXPECT_NEAR(record_number(d.dir() / "w" / "wrap.txt", 3) - record_number(d.dir() / "w" / "wrap.txt", 2), 1.4538, 0.002);
}

TEST(PrepareEndToEnd, AnOutFolderThatIsALinkIsRefusedAndItsTargetKept) {
  TempDir d("kv_faults_");
  d.put("log.csv", record_text());
  fs::create_directory(d.dir() / "target");
  d.put("target/keep.txt", "mine");
  fs::create_directory_symlink("target", d.dir() / "link");
  const Outcome r = prepare(d.dir(), {"log.csv", "--mass", "0.02", "--out", "link", "--force"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("link: is a symbolic link"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_symlink(d.dir() / "link"));
  EXPECT_EQ(names_in(d.dir() / "target"), std::vector<std::string>{"keep.txt"});
}

TEST(PrepareEndToEnd, TheLoggerFileNamedLikeTheCaseFileIsNeverWrittenOver) {
  TempDir d("kv_faults_");
  fs::create_directory(d.dir() / "teste1");
  const std::string text = record_text();
  d.put("teste1/teste1.txt", text);
  const Outcome r = prepare(d.dir(), {"teste1/teste1.txt", "--mass", "0.02", "--out", "teste1", "--force"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is the logger file itself"), std::string::npos) << r.err;
  EXPECT_EQ(d.get("teste1/teste1.txt"), text);
  EXPECT_EQ(names_in(d.dir() / "teste1"), std::vector<std::string>{"teste1.txt"});
}

// Starts the companion in `dir`, and sends `signal` once `ready` holds.
int interrupted_run(const fs::path& dir, const std::vector<std::string>& args, int signal,
                    const std::function<bool()>& ready) {
  std::vector<std::string> store = args;
  store.insert(store.begin(), KV_PREPARE);
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  for (int waited = 0; waited < 60000; ++waited) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return -2;  // ended before it was interrupted
    if (ready()) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ::kill(pid, signal);
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? WTERMSIG(status) : 1000 + WEXITSTATUS(status);
}

bool holds_temporary(const fs::path& dir) {
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.path().filename().string().find(".prepare-") != std::string::npos) return true;
  return false;
}

TEST(PrepareEndToEnd, SigintAndSigtermWhileWritingTakeTheTemporariesAway) {
  TempDir d("kv_faults_");
  d.put("log.csv", record_text());
  fs::create_directory(d.dir() / "old");
  d.put("old/notes.txt", "mine");
  // At 2 MHz the load-cell file has some 3 million lines: long enough to be interrupted.
  for (const auto& [signal, force] : std::vector<std::pair<int, bool>>{{SIGINT, false}, {SIGTERM, true}}) {
    std::vector<std::string> args = {"log.csv", "--mass", "0.02", "--rate", "2000000", "--out", force ? "old" : "new"};
    if (force) args.push_back("--force");
    const auto before = names_in(d.dir());
    const int ended = interrupted_run(d.dir(), args, signal, [&] { return holds_temporary(d.dir()); });
    EXPECT_EQ(ended, signal) << "the companion ends by the signal";
    EXPECT_FALSE(holds_temporary(d.dir())) << signal;
    EXPECT_EQ(names_in(d.dir()), before) << signal;
    EXPECT_EQ(names_in(d.dir() / "old"), std::vector<std::string>{"notes.txt"});
  }
}

TEST(PrepareEndToEnd, ARunKilledWhileWritingLeavesATemporaryThatTheNextRunRemovesAndNames) {
  TempDir d("kv_faults_");
  d.put("log.csv", record_text());
  fs::create_directory(d.dir() / "old");
  const std::vector<std::string> args = {"log.csv", "--mass", "0.02", "--rate", "2000000", "--out", "old", "--force"};
  ASSERT_EQ(interrupted_run(d.dir(), args, SIGKILL, [&] { return holds_temporary(d.dir() / "old"); }), SIGKILL);
  ASSERT_TRUE(holds_temporary(d.dir() / "old")) << "a killed run cannot take its temporary away";
  const Outcome r = prepare(d.dir(), {"log.csv", "--mass", "0.02", "--out", "old", "--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("a temporary file that an earlier run left when it was stopped"), std::string::npos) << r.err;
  EXPECT_FALSE(holds_temporary(d.dir() / "old"));
}

TEST(PrepareEndToEnd, AFileSystemMountedInTheCaseFolderIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  TempDir d("kv_faults_");
  d.put("log.csv", record_text());
  fs::create_directories(d.dir() / "case" / "mnt");
  if (::mount("kvtest", d.path("case/mnt").c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "tmpfs cannot be mounted here";
  d.put("case/mnt/data.txt", "on another file system");
  const Outcome r = prepare(d.dir(), {"log.csv", "--mass", "0.02", "--out", "case", "--force"});
  const std::string kept = d.get("case/mnt/data.txt");
  ::umount(d.path("case/mnt").c_str());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(kept, "on another file system");
}

// --- the check ---------------------------------------------------------------------------

struct CheckFault {
  const char* name;
  std::function<void(ScriptedOs&)> script;
  std::string says;
};
void PrintTo(const CheckFault& c, std::ostream* os) { *os << c.name; }

class PrepareCheckFault : public ::testing::TestWithParam<CheckFault> {};

std::string case_text(const std::string& caso) {
  CaseFile c;
  c.caso = caso;
  c.ti = "0.1";
  c.tf = "0.3";
  c.w = "100";
  return c.text();
}

TEST_P(PrepareCheckFault, AgreesWithTheProgram) {
  const CheckFault& c = GetParam();
  ScriptedOs os("/case");
  os.put(kGeneralData, "teste1.txt\r\n");
  os.put("teste1.txt", case_text("teste1"));
  std::string cell;
  for (int i = 0; i <= 50; ++i) cell += fixed(i / 100.0, 2) + " " + (i > 10 && i < 30 ? "10" : "0") + "\r\n";
  os.put("celula.txt", cell);
  c.script(os);
  std::string all;
  for (const prepare::Finding& f : prepare::check_case()) all += f.where + ": " + f.text + "\n";
  if (c.says.empty()) EXPECT_EQ(all, "");
  else EXPECT_NE(all.find(c.says), std::string::npos) << all;
  EXPECT_EQ(all.find("unit 48"), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PrepareCheckFault,
    ::testing::Values(
        CheckFault{"Clean", [](ScriptedOs&) {}, ""},
        CheckFault{"FolderNotWritable", [](ScriptedOs& os) { os.deny_open("/case/.kalvorestine_2p0_prepare-check"); },
                   "teste1_saida_H.txt: the program stops here: forrtl: severe (9): permission to access file denied, unit 80, file "
                   "/case/teste1_saida_H.txt"},
        CheckFault{"RunLogReadOnly",
                   [](ScriptedOs& os) {
                     os.put("teste1_saida_H.txt", "");
                     os.deny_write("teste1_saida_H.txt");
                   },
                   "forrtl: severe (9): permission to access file denied, unit 80"},
        CheckFault{"LoadCellALoop", [](ScriptedOs& os) { os.remove("celula.txt"); os.symlink("celula.txt", "celula.txt"); },
                   "celula.txt: the program stops here: forrtl: severe (30)"},
        CheckFault{"LoadCellAFifo", [](ScriptedOs& os) { os.not_regular("celula.txt"); },
                   "celula.txt: the program stops here: forrtl: severe (30)"},
        CheckFault{"LoadCellMissing", [](ScriptedOs& os) { os.remove("celula.txt"); },
                   "the load-cell data file is missing"},
        CheckFault{"CaseNameLeavesTheFolder", [](ScriptedOs& os) { os.put("teste1.txt", case_text("'../x'")); },
                   "the case name '../x' holds a path: the program writes its results to '../x_saida_A.txt' and beside "
                   "it, outside the case folder"},
        CheckFault{"ControlBytesOfANameEscaped",
                   [](ScriptedOs& os) {
                     CaseFile c;
                     c.original = "'cel\x1b[2Jula.txt'";
                     c.w = "100";
                     os.put("teste1.txt", c.text());
                   },
                   "cel\\x1B[2Jula.txt: the load-cell data file is missing"},
        CheckFault{"ControlBytesEscaped",
                   [](ScriptedOs& os) { os.put("celula.txt", "0.00 0\r\n0.01 \x1b]0;owned\x07\r\n"); },
                   "'0.01 \\x1B]0;owned\\x07' is not two numbers"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kv::test
