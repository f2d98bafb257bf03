// The four updater programs end to end: each run is a process of its own in a
// sandbox (HOME, XDG directories, TMPDIR, locale) with scripted input.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lzx/lzx.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using vorn_test::Bytes;
using vorn_test::ReadFile;
using vorn_test::WriteFile;

struct Outcome {
  int status;
  std::string out, err;
};

std::string Slurp(const std::string &path) {
  const Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

class UpdaterTest : public vorn_test::ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    for (const char *d : {"home", "run", "tmp", "inst"}) fs::create_directories(dir_ + "/" + d);
    env_ = {{"HOME", dir_ + "/home"},
            {"XDG_CONFIG_HOME", dir_ + "/home/.config"},
            {"XDG_DATA_HOME", dir_ + "/home/.local/share"},
            {"XDG_RUNTIME_DIR", dir_ + "/run"},
            {"TMPDIR", dir_ + "/tmp"},
            {"PATH", "/usr/bin:/bin"},
            {"LANG", "C"}};
  }

  std::string Inst() const { return dir_ + "/inst"; }

  Outcome Run(const std::string &program, std::vector<std::string> args = {}, const std::string &input = "") {
    WriteFile("stdin.txt", input);
    std::vector<std::string> envText;
    for (const auto &[k, v] : env_) envText.push_back(k + "=" + v);
    const std::string path = program[0] == '/' ? program : std::string(VORN_BIN_DIR) + "/" + program;
    int go[2];
    EXPECT_EQ(pipe(go), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char byte;
      if (read(go[0], &byte, 1) != 1) _exit(126); // the parent's go-ahead
      const int in = open(stdinDevice_ ? "/dev/null" : "stdin.txt", O_RDONLY);
      const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
      const int err = open(errorDevice_ ? errorDevice_ : "stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      alarm(60); // a run that waits for ever ends (by SIGALRM) instead of the test
      if (umask_ >= 0) umask(static_cast<mode_t>(umask_));
      if (runAs_ != 0 && (setgroups(0, nullptr) != 0 || setgid(runAs_) != 0 || setuid(runAs_) != 0)) _exit(125);
      if (fileSizeLimit_ > 0) {
        // No file may grow past the limit, for root too: a write past it
        // fails (EFBIG) like a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{fileSizeLimit_, fileSizeLimit_};
        setrlimit(RLIMIT_FSIZE, &r);
      }
      std::vector<char *> argv{const_cast<char *>(path.c_str())};
      for (auto &a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      std::vector<char *> envp;
      for (auto &e : envText) envp.push_back(e.data());
      envp.push_back(nullptr);
      execve(path.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(go[0]);
    if (beforeExec_) beforeExec_(pid);
    EXPECT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    if (duringRun_) duringRun_(pid);
    int raw = 0;
    waitpid(pid, &raw, 0);
    lastSignal_ = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp("stdout.txt"), Slurp("stderr.txt")};
  }

  void Settings(const std::string &product, const std::string &text) {
    fs::create_directories(dir_ + "/home/.config/" + product);
    WriteFile(dir_ + "/home/.config/" + product + "/settings.ini", text);
  }

  void Installed(const std::string &version = "2.0") {
    Settings("Vorn", "Location=" + Inst() + "\nVersion=" + version + "\n");
  }

  // lzx.ver with records of the given names and versions (an empty name allowed).
  void VersionFile(const std::vector<std::pair<std::string, int>> &records) {
    Bytes out;
    for (const auto &[name, version] : records) {
      ArchiveEntry e;
      std::memset(&e, 0, sizeof e);
      std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
      e.version = version;
      const auto *p = reinterpret_cast<const std::uint8_t *>(&e);
      out.insert(out.end(), p, p + sizeof e);
    }
    WriteFile(Inst() + "/lzx.ver", out);
  }

  std::vector<ArchiveEntry> Versions() {
    const Bytes b = ReadFile(Inst() + "/lzx.ver");
    std::vector<ArchiveEntry> out(b.size() / sizeof(ArchiveEntry));
    if (!out.empty()) std::memcpy(out.data(), b.data(), out.size() * sizeof(ArchiveEntry));
    return out;
  }

  std::string HelpFile() const { return Inst() + "/help/vorn.htm"; }

  std::map<std::string, std::string> env_;
  rlim_t fileSizeLimit_ = 0;
  int umask_ = -1;   // the run's umask (-1: ours)
  uid_t runAs_ = 0;  // another user to run as (0: as we are)
  std::function<void(pid_t)> beforeExec_, duringRun_; // with the child's pid, before it starts; while it runs
  int lastSignal_ = 0;                               // the signal that ended the last run, 0 for none
  bool stdinDevice_ = false;                         // standard input is /dev/null, as from a launcher
  const char *errorDevice_ = nullptr;                // standard error to this device instead of stderr.txt
};

std::vector<std::string> Names(const std::string &dir) {
  std::vector<std::string> out;
  for (const auto &e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool TemporaryFileLeft(const std::string &dir) {
  for (const auto &e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind("~lzx", 0) == 0) return true;
  return false;
}

std::string Notice(const std::string &caption, const std::string &text) { return "[" + caption + "]\n" + text + "\n"; }

// The name of this user's private directory under the temporary directory.
std::string Private() { return "vorn-" + std::to_string(geteuid()); }

// ---- start-up, options and the end table ----

TEST_F(UpdaterTest, NoInstallationCreatesTheEmptyStoreAndShowsMessage17) {
  const Outcome o = Run("vorn-update");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Exit program", "Vorn directory not found"));
  EXPECT_TRUE(fs::exists(dir_ + "/home/.config/Vorn/settings.ini"));
  EXPECT_EQ(fs::file_size(dir_ + "/home/.config/Vorn/settings.ini"), 0u);
  const Outcome other = Run("talvik-demo");
  EXPECT_EQ(other.status, 0);
  EXPECT_EQ(other.err, Notice("Exit program", "Talvik directory not found"));
}

TEST_F(UpdaterTest, LanguageFromTheSystemAndTheOptions) {
  Installed();
  const struct {
    const char *lcAll, *lang;
    std::vector<std::string> args;
    bool dutch;
  } cases[] = {
      {"", "C", {}, false},
      {"", "nl_NL.UTF-8", {}, true},
      {"", "nl", {}, true},
      {"nl_BE.UTF-8", "C", {}, true},
      {"en_US.UTF-8", "nl_NL.UTF-8", {}, false}, // LC_ALL first
      {"", "C", {"-DUT"}, true},
      {"", "C", {"-eng", "-dut"}, true},
      {"", "C", {"-dut", "-eng"}, false},
      {"", "nl_NL.UTF-8", {"-eng"}, false},
      {"", "C", {"-dut,-eng"}, false},   // one token, no option
      {"", "C", {"-dut\t-eng"}, false},  // a tab does not separate
      {"", "C", {"-Log", "-Dut"}, true},
  };
  for (const auto &c : cases) {
    env_["LC_ALL"] = c.lcAll;
    env_["LANG"] = c.lang;
    const Outcome o = Run("vorn-update", c.args, "c\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_THAT(o.out, HasSubstr(c.dutch ? "Vorn update 20-okt-2003" : "Vorn update 20-oct-2003"))
        << c.lcAll << " " << c.lang << " " << (c.args.empty() ? "" : c.args[0]);
  }
}

TEST_F(UpdaterTest, OnlyTheFirst259CharactersAndFirst48TokensCount) {
  Installed();
  EXPECT_THAT(Run("vorn-update", {std::string(250, 'x'), "-dut"}, "c\n").out, HasSubstr("20-okt-2003"));
  EXPECT_THAT(Run("vorn-update", {std::string(256, 'x'), "-dut"}, "c\n").out, HasSubstr("20-oct-2003"));
  std::vector<std::string> tokens(47, "a");
  tokens.push_back("-dut"); // the 48th token
  EXPECT_THAT(Run("vorn-update", tokens, "c\n").out, HasSubstr("20-okt-2003"));
  tokens.back() = "a";
  tokens.push_back("-dut"); // the 49th is not looked at
  EXPECT_THAT(Run("vorn-update", tokens, "c\n").out, HasSubstr("20-oct-2003"));
}

TEST_F(UpdaterTest, TheVersionGate) {
  for (const char *pass : {"2.03", "2", "3.1"}) {
    Installed(pass);
    const Outcome o = Run("vorn-update", {}, "c\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_THAT(o.out, HasSubstr("Install update")) << pass;
  }
  for (const char *refuse : {"1.9", "", "10.0", "\x80" "2"}) {
    Installed(refuse);
    const Outcome o = Run("vorn-update", {}, "i\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, Notice("Exit program", "You need Vorn version 2.0 to be able to use this update.")) << refuse;
    EXPECT_THAT(o.out, Not(HasSubstr("Install update")));
  }
}

TEST_F(UpdaterTest, TheMainLineNeedsAVersionAndTheOtherLineNeverReadsOne) {
  Settings("Vorn", "Location=" + Inst() + "\n");
  EXPECT_EQ(Run("vorn-update").err, Notice("Exit program", "Vorn directory not found"));
  const std::string tooLong(260, 'v'); // with its NUL it does not fit 260 bytes
  Settings("Vorn", "Location=" + Inst() + "\nVersion=" + tooLong + "\n");
  EXPECT_EQ(Run("vorn-update").err, Notice("Exit program", "Vorn directory not found"));
  Settings("Vorn", "Location=" + Inst() + "\nVersion=2" + std::string(258, '0') + "\n"); // 259 characters fit
  EXPECT_THAT(Run("vorn-update", {}, "c\n").out, HasSubstr("Install update"));
  Settings("Talvik", "Location=" + Inst() + "\nVersion=1.0\n");
  for (const char *program : {"talvik-update", "talvik-demo"}) {
    const Outcome o = Run(program, {}, "c\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_THAT(o.out, HasSubstr("Talvik")) << program;
    EXPECT_EQ(o.err, "");
  }
}

TEST_F(UpdaterTest, WithoutARuntimeFolderTheProductIsSeenInTheUsersOwn) {
  // Started from cron or a system unit (no XDG_RUNTIME_DIR) while the
  // product, in the user's session, holds its lock in /run/user/UID.
  SKIP_UNLESS_ROOT(); // /run/user belongs to root
  const std::string runtime = "/run/user/" + std::to_string(geteuid());
  struct Made { // a folder this test made goes again, however it ends
    std::string name;
    bool made;
    ~Made() {
      std::error_code ignored;
      if (made) fs::remove_all(name, ignored);
      else fs::remove(name + "/Quillon.lock", ignored);
    }
  } folder{runtime, !fs::exists(runtime)};
  if (folder.made) {
    fs::create_directories("/run/user");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  }
  const int fd = open((runtime + "/Quillon.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  Installed();
  env_.erase("XDG_RUNTIME_DIR");
  const Outcome o = Run("vorn-update", {"-silent"});
  close(fd);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, Notice("Exit program", "During updating Vorn should not be active."));
}

TEST_F(UpdaterTest, TheProductRunningStopsEverythingWithStatusOne) {
  const struct {
    const char *program, *marker, *text;
  } cases[] = {
      {"vorn-update", "Quillon", "During updating Vorn should not be active."},
      {"vorn-demo", "Quillon", "During updating Vorn should not be active."},
      {"talvik-update", "Talvik", "During updating no other Talvik Software should be active."},
  };
  for (const auto &c : cases) {
    const std::string lock = dir_ + "/run/" + c.marker + ".lock";
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const Outcome o = Run(c.program, {}, "i\n");
    close(fd);
    EXPECT_EQ(o.status, 1) << c.program;
    EXPECT_EQ(o.err, Notice("Exit program", c.text));
    EXPECT_FALSE(fs::exists(dir_ + "/home/.config")) << "nothing may be touched";
  }
  // The other line's marker does not stop the main line.
  const int fd = open((dir_ + "/run/Talvik.lock").c_str(), O_RDWR | O_CREAT, 0666);
  flock(fd, LOCK_EX | LOCK_NB);
  EXPECT_EQ(Run("vorn-update").status, 0);
  close(fd);
}

TEST_F(UpdaterTest, AFatalErrorEndsWithStatusTwoOrOneWhenItCannotBeShown) {
  Installed();
  VersionFile({});
  env_["TMPDIR"] = dir_ + "/no-such-dir";
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("[Einde programma]\n\nFile Error : name = [" + dir_ + "/no-such-dir/" + Private() +
                               "/TEMP.LZX] code = 211"));
  EXPECT_FALSE(fs::exists(HelpFile()));
  // Standard error full: the notice cannot be shown, and a fatal error
  // then ends with status 1.
  errorDevice_ = "/dev/full";
  EXPECT_EQ(Run("vorn-update", {}, "i\n").status, 1);
  EXPECT_FALSE(fs::exists(HelpFile()));
}

// ---- install runs ----

TEST_F(UpdaterTest, AFirstUpdateWithoutAVersionFileChangesNothing) {
  Installed();
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Einde", Inst() + "\\lzx.ver not found") + Notice("Update report", "The update has been applied."));
  EXPECT_TRUE(fs::is_empty(Inst()));
  EXPECT_TRUE(fs::is_empty(dir_ + "/tmp/" + Private()));
}

TEST_F(UpdaterTest, InstallsTheEmbeddedHelpAndRecordsIt) {
  Installed();
  VersionFile({{"#other\\file.txt", 150}});
  const Outcome o = Run("vorn-update", {"-dut"}, "\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Update verslag", "De update is aangebracht."));
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
  const auto v = Versions();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_STREQ(v[0].name, "#other\\file.txt");
  EXPECT_STREQ(v[1].name, "#help\\vorn.htm");
  EXPECT_EQ(v[1].version, 203);
  for (const auto &e : v) EXPECT_EQ(e.state, 0);
  EXPECT_TRUE(fs::is_empty(dir_ + "/tmp/" + Private()));
  // The same update again: written again, no report.
  WriteFile(HelpFile(), "changed by hand");
  const Outcome again = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(again.err, Notice("Update report", "The update has been applied."));
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
  EXPECT_EQ(Versions().size(), 2u);
}

TEST_F(UpdaterTest, ADamagedUpdateChangesNothingAndEndsWithStatusTwo) {
  // The program's own copy of the carried archive, damaged by one bit: in
  // the coded block, the index and the trailer.
  const Bytes archive = ReadFile(VORN_EMBEDDED_ARCHIVE);
  const Bytes program = ReadFile(std::string(VORN_BIN_DIR) + "/vorn-update");
  const auto found = std::search(program.begin(), program.end(), archive.begin(), archive.end());
  ASSERT_NE(found, program.end());
  const auto start = static_cast<std::size_t>(found - program.begin());
  std::int32_t indexOffset;
  std::memcpy(&indexOffset, archive.data() + 4, 4);
  const std::size_t end = archive.size();
  const auto index = static_cast<std::size_t>(indexOffset);
  for (const std::size_t at : {std::size_t{20}, index / 2, index - 1, index + 1, index + 5, end - 12, end - 1}) {
    SCOPED_TRACE("byte " + std::to_string(at) + " of " + std::to_string(end));
    Bytes damaged = program;
    damaged[start + at] ^= static_cast<std::uint8_t>(1u << (at % 8));
    const std::string copy = dir_ + "/vorn-update-damaged";
    WriteFile(copy, damaged);
    fs::permissions(copy, fs::perms::owner_all);
    Installed();
    fs::create_directories(Inst() + "/help");
    WriteFile(HelpFile(), "installed help");
    VersionFile({{"#help\vorn.htm", 200}});
    const Bytes versions = ReadFile(Inst() + "/lzx.ver");
    for (const auto &args : {std::vector<std::string>{}, std::vector<std::string>{"-silent"}}) {
      const Outcome o = Run(copy, args, "i\n");
      EXPECT_EQ(o.status, 2);
      EXPECT_THAT(o.err, HasSubstr("[Einde programma]\nThe update is damaged; nothing was changed.\n"));
      EXPECT_EQ(Slurp(HelpFile()), "installed help");
      EXPECT_EQ(ReadFile(Inst() + "/lzx.ver"), versions);
      EXPECT_TRUE(fs::is_empty(dir_ + "/tmp/" + Private())) << "TEMP.LZX is removed";
      EXPECT_EQ(Names(Inst()), (std::vector<std::string>{"help", "lzx.ver"}));
    }
  }
}

TEST_F(UpdaterTest, AnInstallThatCannotFinishIsUndoneWithItsOwnSilentStatus) {
  // The help file made immutable (which binds root too): the install fails
  // at its swap, everything is put back, the notice names the file and says
  // so, and -silent ends with status 8.
  SKIP_UNLESS_ROOT();
  Installed();
  fs::create_directories(Inst() + "/help");
  WriteFile(HelpFile(), "installed help");
  VersionFile({{"#help\\vorn.htm", 200}});
  const Bytes versions = ReadFile(Inst() + "/lzx.ver");
  ASSERT_EQ(std::system(("chattr +i " + HelpFile()).c_str()), 0);
  struct Mutable { // however the test ends, the scratch folder can be removed
    std::string name;
    ~Mutable() { std::system(("chattr -i " + name).c_str()); }
  } undo{HelpFile()};
  const struct {
    std::vector<std::string> args;
    int status;
  } runs[] = {{{}, 2}, {{"-silent"}, 8}, {{"-silent", "-dut"}, 8}};
  for (const auto &run : runs) {
    const Outcome o = Run("vorn-update", run.args, "i\n");
    EXPECT_EQ(o.status, run.status);
    EXPECT_THAT(o.err, HasSubstr("Install: cannot replace [" + Inst() + "\\help\\vorn.htm]: Operation not permitted\n"));
    EXPECT_THAT(o.err, HasSubstr(run.args.size() == 2 ? "Er is niets gewijzigd: de installatie is zoals ze was."
                                                      : "Nothing was changed: the installation is as it was."));
    EXPECT_EQ(Slurp(HelpFile()), "installed help");
    EXPECT_EQ(ReadFile(Inst() + "/lzx.ver"), versions);
    EXPECT_EQ(Names(Inst()), (std::vector<std::string>{"help", "lzx.ver"}));
    EXPECT_EQ(Names(Inst() + "/help"), std::vector<std::string>{"vorn.htm"});
  }
}

TEST_F(UpdaterTest, AHigherListedVersionIsKeptAndReported) {
  Installed();
  fs::create_directories(Inst() + "/help");
  WriteFile(HelpFile(), "newer help");
  VersionFile({{"#HELP\\VORN.HTM", 300}});
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Update report", "The update has been applied.\n1 bestanden niet vervangen.") +
                       Notice("Update report", "The update has been applied."));
  EXPECT_EQ(Slurp(HelpFile()), "newer help");
  const auto v = Versions();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].version, 300);
  EXPECT_EQ(v[0].state, 0);
}

TEST_F(UpdaterTest, EmptyVersionFilesAndEmptyNames) {
  Installed();
  WriteFile(Inst() + "/lzx.ver", "");
  EXPECT_EQ(Run("vorn-update", {}, "i\n").status, 0);
  ASSERT_EQ(Versions().size(), 1u);
  EXPECT_STREQ(Versions()[0].name, "#help\\vorn.htm");
  // An empty name ends the list: what follows is neither searched nor kept.
  VersionFile({{"#a", 100}, {"", 0}, {"#help\\vorn.htm", 900}});
  EXPECT_EQ(Run("vorn-update", {}, "i\n").err, Notice("Update report", "The update has been applied."));
  const auto v = Versions();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_STREQ(v[0].name, "#a");
  EXPECT_EQ(v[1].version, 203);
}

TEST_F(UpdaterTest, OtherLineAndDemoTreatEveryEntryAsNew) {
  Settings("Talvik", "Location=" + Inst() + "\n");
  EXPECT_EQ(Run("talvik-update", {}, "i\n").status, 0);
  ASSERT_EQ(Versions().size(), 1u);
  EXPECT_EQ(Versions()[0].version, 203);
  EXPECT_TRUE(fs::exists(HelpFile()));
}

TEST_F(UpdaterTest, CancelWritesNothing) {
  Installed();
  VersionFile({});
  for (const char *input : {"c\n", "C\n", ""}) {
    const Outcome o = Run("vorn-update", {}, input);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_FALSE(fs::exists(Inst() + "/help"));
    EXPECT_EQ(fs::file_size(Inst() + "/lzx.ver"), 0u);
    EXPECT_TRUE(fs::is_empty(dir_ + "/tmp"));
  }
}

// ---- the dialogs ----

TEST_F(UpdaterTest, OtherLineContactLinesSwapWithTheLanguage) {
  Settings("Talvik", "Location=" + Inst() + "\n");
  const Outcome dutch = Run("talvik-update", {"-dut"}, "c\n");
  EXPECT_THAT(dutch.out, HasSubstr("info@talvik.example"));
  EXPECT_THAT(dutch.out, Not(HasSubstr("info@vorn.example")));
  EXPECT_THAT(dutch.out, HasSubstr("ontwikkelling"));
  const Outcome english = Run("talvik-update", {"-eng"}, "c\n");
  EXPECT_THAT(english.out, HasSubstr("info@vorn.example"));
  EXPECT_THAT(english.out, Not(HasSubstr("info@talvik.example")));
  EXPECT_THAT(english.out, HasSubstr("development"));
}

TEST_F(UpdaterTest, UpdateDialogShowsEveryCatalogueText) {
  Installed();
  const Outcome o = Run("vorn-update", {"-dut"}, "c\n");
  for (const char *text : {"Vorn update 20-okt-2003", "update informatie", "Versie 2.03 van de",
                           "Nederlandse online help", "het Vorn team", "(c) 2003 Vorn Software", "internet",
                           "E-mail: info@vorn.example", "Internet: vorn.example/nl", "Installeer update",
                           "Annuleer", "Anneke de Vries"})
    EXPECT_THAT(o.out, HasSubstr(text));
  EXPECT_THAT(o.out, Not(HasSubstr("shell:"))); // an update sends no command
}

// ---- demo installs and program-manager entries ----

TEST_F(UpdaterTest, DemoInstallCreatesTheFourEntriesInOrder) {
  const std::string target = dir_ + "/Games/Vorn";
  const Outcome o = Run("vorn-demo", {}, target + "\\\\\ni\n"); // trailing backslashes are dropped
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Installation finished", "Installation completed."));
  EXPECT_TRUE(fs::exists(target + "/help/vorn.htm"));
  ASSERT_EQ(Versions().size(), 0u); // the default directory was not used
  const std::string expected = "shell: [CreateGroup(Vorn Demo)] -> ok\n"
                               "shell: [ReplaceItem(Vorn Demo)] -> ok\n"
                               "shell: [AddItem(\"" + target + "\\VornDemo.exe\" , \"Vorn Demo\",,,,,\"" + target + "\")] -> ok\n"
                               "shell: [AddItem(\"" + target + "\\Uninstall.exe\", \"UnInstall\",,,,,\"" + target + "\")] -> ok\n";
  EXPECT_THAT(o.out, HasSubstr(expected));
  const std::string apps = dir_ + "/home/.local/share/applications/vorn-demo/";
  const std::string demo = Slurp(apps + "vorn-demo.desktop");
  EXPECT_THAT(demo, HasSubstr("Name=Vorn Demo\n"));
  EXPECT_THAT(demo, HasSubstr("Exec=\"" + target + "/VornDemo.exe\"\n"));
  EXPECT_THAT(demo, HasSubstr("Path=" + target + "\n"));
  EXPECT_THAT(Slurp(apps + "uninstall.desktop"), HasSubstr("Exec=\"" + target + "/Uninstall.exe\"\n"));
  if (system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
    EXPECT_EQ(system(("desktop-file-validate '" + apps + "vorn-demo.desktop' '" + apps + "uninstall.desktop'").c_str()), 0);
  }
}

TEST_F(UpdaterTest, DemoDirectoryRules) {
  // "C:\" becomes "C:" and is refused, a lone backslash too; the dialog stays
  // open without a message until a usable directory is given.
  const std::string target = dir_ + "/d";
  const Outcome o = Run("vorn-demo", {"-eng"}, "C:\\\ni\n\\\ni\n" + target + "\ni\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Installation finished", "Installation completed."));
  EXPECT_TRUE(fs::exists(target + "/help/vorn.htm"));
  EXPECT_FALSE(fs::exists("C:"));
  // An empty line keeps the proposal: the per-user demo directory.
  const Outcome d = Run("vorn-demo", {"-dut"}, "\ni\n");
  EXPECT_EQ(d.err, Notice("Einde installatie", "Installatie succesvol.\nVeel plezier."));
  EXPECT_TRUE(fs::exists(dir_ + "/home/.local/share/Vorn Demo/help/vorn.htm"));
  EXPECT_TRUE(fs::exists(dir_ + "/home/.local/share/Vorn Demo/lzx.ver"));
  // Exactly four characters are enough.
  fs::create_directories(dir_ + "/x");
  fs::current_path(dir_ + "/x");
  EXPECT_EQ(Run("vorn-demo", {}, "abcd\ni\n").status, 0);
  EXPECT_TRUE(fs::exists(dir_ + "/x/abcd/help/vorn.htm"));
  fs::current_path(dir_);
}

TEST_F(UpdaterTest, RefusedShellCommandsShowTheirMessages) {
  const std::string share = dir_ + "/home/.local/share";
  const std::string target = dir_ + "/t";
  fs::create_directories(share);
  WriteFile(share + "/applications", "a file where the menu folder belongs");
  Outcome o = Run("vorn-demo", {}, target + "\ni\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Error", "SendShellCommand(CreateGroup) failed!") +
                       Notice("Installation finished", "Installation completed."));
  EXPECT_THAT(o.out, Not(HasSubstr("AddItem")));
  fs::remove(share + "/applications");

  fs::create_directories(share + "/applications/vorn-demo/vorn-demo.desktop"); // a folder: the item cannot be written
  o = Run("vorn-demo", {}, target + "\ni\n");
  EXPECT_EQ(o.err, Notice("Error", "SendShellCommand(AddItem) failed") +
                       Notice("Installation finished", "Installation completed."));
  EXPECT_THAT(o.out, Not(HasSubstr("Uninstall.exe")));
  fs::remove(share + "/applications/vorn-demo/vorn-demo.desktop");

  fs::create_directories(share + "/applications/vorn-demo/uninstall.desktop");
  o = Run("vorn-demo", {}, target + "\ni\n");
  EXPECT_EQ(o.err, Notice("Error", "Creating UnInstall failed") + Notice("Installation finished", "Installation completed."));
}

TEST_F(UpdaterTest, ALongDemoDirectoryIsRefusedNotOverrun) {
  const std::string target = dir_ + "/" + std::string(200, 'L');
  const Outcome o = Run("vorn-demo", {}, target + "\ni\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Error", "SendShellCommand(AddItem) failed") +
                       Notice("Installation finished", "Installation completed."));
  EXPECT_TRUE(fs::exists(target + "/help/vorn.htm"));
}

// ---- failures part-way never leave the installation worse ----

TEST_F(UpdaterTest, AHelpFileThatCannotBeWrittenWholeKeepsTheInstalledOne) {
  Installed();
  fs::create_directories(Inst() + "/help");
  WriteFile(HelpFile(), "installed help");
  VersionFile({{"#help\\vorn.htm", 200}});
  const Bytes oldList = ReadFile(Inst() + "/lzx.ver");
  fileSizeLimit_ = 2500; // the temporary archive fits, the new help (3188 bytes) does not
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("[Einde programma]\n\nFile Error : name = ["));
  EXPECT_THAT(o.err, HasSubstr("] code = 205"));
  EXPECT_EQ(Slurp(HelpFile()), "installed help");
  EXPECT_EQ(ReadFile(Inst() + "/lzx.ver"), oldList);
  EXPECT_FALSE(TemporaryFileLeft(Inst()));
}

TEST_F(UpdaterTest, AVersionFileThatCannotBeRewrittenStaysAsItWas) {
  Installed();
  std::vector<std::pair<std::string, int>> records;
  for (int i = 0; i < 20; ++i) records.emplace_back("#old\\f" + std::to_string(i), 150);
  VersionFile(records); // 8640 bytes
  const Bytes oldList = ReadFile(Inst() + "/lzx.ver");
  fileSizeLimit_ = 8700; // the help fits, the list with one more record does not
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("code = 205"));
  EXPECT_EQ(ReadFile(Inst() + "/lzx.ver"), oldList);
  EXPECT_FALSE(TemporaryFileLeft(Inst()));
}

TEST_F(UpdaterTest, UnusableVersionFileTemporaryDirectoryOrProductDirectoryEndClearly) {
  // The version file is a directory: it cannot be read.
  Installed();
  fs::create_directories(Inst() + "/lzx.ver");
  Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("lzx.ver] code = 20"));
  EXPECT_FALSE(fs::exists(HelpFile()));
  fs::remove(Inst() + "/lzx.ver");

  // The temporary directory is a regular file: TEMP.LZX cannot be made.
  VersionFile({});
  WriteFile(dir_ + "/notadir", "x");
  env_["TMPDIR"] = dir_ + "/notadir";
  o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, vorn_test::FatalNotice("\nFile Error : name = [" + dir_ + "/notadir/" + Private() + "/TEMP.LZX] code = 211"));
  EXPECT_EQ(fs::file_size(Inst() + "/lzx.ver"), 0u);
  EXPECT_FALSE(fs::exists(HelpFile()));
  env_["TMPDIR"] = dir_ + "/tmp";

  // The product directory is a regular file.
  WriteFile(dir_ + "/product", "not a directory");
  Settings("Talvik", "Location=" + dir_ + "/product\n");
  o = Run("talvik-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("code = 211"));
  EXPECT_EQ(Slurp(dir_ + "/product"), "not a directory");
}

// ---- a shared machine: what others can put in our way ----

TEST_F(UpdaterTest, TwoRunsOnOneInstallationNeverInterleave) {
  Installed();
  VersionFile({});
  // Another run holds the installation (its lock file, as a run makes it).
  const int held = open((Inst() + "/lzx.lck").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  const Outcome o = Run("vorn-update", {}, "i\n");
  close(held);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, vorn_test::FatalNotice("VersionListLock: another install is running in [" + Inst() + "]"));
  EXPECT_FALSE(fs::exists(HelpFile()));
  EXPECT_EQ(fs::file_size(Inst() + "/lzx.ver"), 0u);
  fs::remove(Inst() + "/lzx.lck");
  EXPECT_EQ(Run("vorn-update", {}, "i\n").status, 0);
  EXPECT_TRUE(fs::exists(HelpFile()));
}


TEST_F(UpdaterTest, APipeAtATargetOrTheVersionFileIsRefusedWithoutWaiting) {
  Installed();
  fs::create_directories(Inst() + "/help");
  const struct {
    std::string fifo, text;
  } cases[] = {
      {HelpFile(), "help\\vorn.htm] code = 211"},
      {Inst() + "/lzx.ver", "lzx.ver] code = 209"},
  };
  for (const auto &c : cases) {
    fs::remove(Inst() + "/lzx.ver");
    if (c.fifo != Inst() + "/lzx.ver") VersionFile({});
    ASSERT_EQ(mkfifo(c.fifo.c_str(), 0666), 0);
    const Outcome o = Run("vorn-update", {}, "i\n");
    EXPECT_EQ(o.status, 2) << c.fifo; // not killed by the run's alarm
    EXPECT_THAT(o.err, HasSubstr(c.text));
    fs::remove(c.fifo);
  }
}

TEST_F(UpdaterTest, ASignalDuringTheInstallRemovesTheTemporaryArchiveAndTheStagingFile) {
  Installed();
  VersionFile({});
  const std::string temp = dir_ + "/tmp/" + Private() + "/TEMP.LZX";
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    int stopped = 0;
    for (int attempt = 0; attempt < 40 && stopped < 4; ++attempt) {
      // Stopped as soon as the temporary archive is there, or a little later.
      duringRun_ = [&](pid_t pid) {
        for (int i = 0; i < 1000000 && !fs::exists(temp); ++i) {
        }
        usleep(static_cast<useconds_t>(attempt % 4) * 1000u);
        kill(pid, signal);
      };
      Run("vorn-update", {}, "i\n");
      if (lastSignal_ != signal) continue;
      ++stopped;
      EXPECT_FALSE(fs::exists(temp)) << signal;
      EXPECT_FALSE(TemporaryFileLeft(Inst())) << signal;
    }
    EXPECT_GT(stopped, 0) << "no run was caught during its install, signal " << signal;
  }
}

// ---- unattended runs ----

TEST_F(UpdaterTest, SilentRunsEndWithAStatusPerOutcomeAndLogEveryEvent) {
  const std::string log = dir_ + "/run.log";
  const std::string share = dir_ + "/home/.local/share";
  const struct {
    const char *what, *program;
    std::vector<std::string> args;
    std::function<void()> setUp;
    int status;
    std::vector<std::string> lines; // in the log, in this order
  } cases[] = {
      {"installed", "vorn-update", {}, [&] { Installed("2.0"); VersionFile({}); }, 0,
       {"start: vorn-update (Vorn, update mode), English, options: -silent -logfile=" + log,
        "carried update: version 2.03, 1 entry, " + std::to_string(fs::file_size(VORN_EMBEDDED_ARCHIVE)) + " bytes packed",
        "carried: #help\\vorn.htm version 203, ", "product running: no",
        "installation: " + Inst() + ", version 2.0", "entry #help\\vorn.htm version 203: new: " + Inst() + "\\help\\vorn.htm",
        "message [Update report] The update has been applied.", "end: installed, status 0"}},
      {"running", "vorn-update", {}, [&] { Installed("2.0"); }, 1,
       {"message [Exit program] During updating Vorn should not be active.", "end: the product is running, status 1"}},
      {"not found", "talvik-update", {}, [] {}, 3,
       {"installation: not found", "message [Exit program] Talvik directory not found", "end: installation not found, status 3"}},
      {"too old", "vorn-update", {}, [&] { Installed("1.9"); }, 4,
       {"message [Exit program] You need Vorn version 2.0 to be able to use this update.",
        "end: installed version too old, status 4"}},
      {"no version file", "vorn-update", {}, [&] { Installed("2.0"); }, 5,
       {"message [Einde] " + Inst() + "\\lzx.ver not found", "end: version file missing, nothing installed, status 5"}},
      {"directory refused", "vorn-demo", {"-dir=ab\\\\"}, [] {}, 6,
       {"demo directory: ab\\\\", "end: demo directory refused (fewer than 4 characters), status 6"}},
      {"program manager", "vorn-demo", {"-dir=" + dir_ + "/demo"},
       [&] { fs::create_directories(share); WriteFile(share + "/applications", "in the menu folder's place"); }, 7,
       {"entry #help\\vorn.htm version 203: new: " + dir_ + "/demo\\help\\vorn.htm",
        "message [Error] SendShellCommand(CreateGroup) failed!", "end: program-manager entries failed, status 7"}},
      {"fatal", "vorn-update", {}, [&] { Installed("2.0"); VersionFile({}); WriteFile(dir_ + "/notadir", "x"); env_["TMPDIR"] = dir_ + "/notadir"; }, 2,
       {"message [Einde programma]  / File Error : name = [", "end: fatal error, status 2"}},
  };
  for (const auto &c : cases) {
    fs::remove_all(dir_ + "/home");
    fs::remove_all(Inst());
    fs::create_directories(Inst());
    fs::remove(log);
    env_["TMPDIR"] = dir_ + "/tmp";
    c.setUp();
    int held = -1;
    if (std::string(c.what) == "running") {
      held = open((dir_ + "/run/Quillon.lock").c_str(), O_RDWR | O_CREAT, 0666);
      flock(held, LOCK_EX | LOCK_NB);
    }
    std::vector<std::string> args{"-silent", "-logfile=" + log};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = Run(c.program, args, "c\n"); // a dialog would read this and cancel
    if (held >= 0) close(held);
    EXPECT_EQ(o.status, c.status) << c.what << "\n" << o.err;
    EXPECT_EQ(o.out.find("Install"), std::string::npos) << c.what << ": no dialog";
    const std::string text = Slurp(log);
    std::size_t at = 0;
    for (const std::string &line : c.lines) {
      const std::size_t found = text.find(line, at);
      EXPECT_NE(found, std::string::npos) << c.what << ": no line '" << line << "' in\n" << text;
      if (found != std::string::npos) at = found + line.size();
    }
    // Every line has its time first.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(std::regex_search(line, std::regex("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "))) << line;
  }
  EXPECT_TRUE(fs::exists(dir_ + "/demo/help/vorn.htm")); // the demo was installed before the shell failed
}

TEST_F(UpdaterTest, ManyRunsLogToOneFileAtOnceWithWholeLines) {
  // 40 runs at once, and a reader holding a shared lock on the log all the
  // while: every run ends with status 0 and every line is whole.
  Installed("2.0");
  const std::string log = dir_ + "/many.log";
  WriteFile(log, "");
  const int reader = open(log.c_str(), O_RDONLY);
  ASSERT_EQ(flock(reader, LOCK_SH), 0);
  std::vector<pid_t> runs;
  const std::string path = std::string(VORN_BIN_DIR) + "/vorn-update";
  WriteFile("stdin.txt", "c\n");
  for (int i = 0; i < 40; ++i) {
    // Each run as if on its own machine: its own runtime folder, where it
    // announces itself (one run would otherwise see another as the product).
    const std::string runtime = dir_ + "/run/" + std::to_string(i);
    fs::create_directories(runtime);
    env_["XDG_RUNTIME_DIR"] = runtime;
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      const int in = open("stdin.txt", O_RDONLY);
      dup2(in, 0);
      for (const auto &[k, v] : env_) setenv(k.c_str(), v.c_str(), 1);
      execl(path.c_str(), path.c_str(), ("-logfile=" + log).c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    runs.push_back(pid);
  }
  int failed = 0;
  for (const pid_t pid : runs) {
    int status = 0;
    waitpid(pid, &status, 0);
    failed += vorn_test::ExitCode(status) != 0;
  }
  close(reader);
  EXPECT_EQ(failed, 0);
  std::istringstream lines(Slurp(log));
  int count = 0, ends = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_THAT(line, ::testing::MatchesRegex("20[0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9:]+ [a-z].*")) << line;
    ends += line.find("end: cancelled, status 0") != std::string::npos;
  }
  EXPECT_EQ(ends, 40);
  EXPECT_GE(count, 40 * 4);
}

TEST_F(UpdaterTest, OptionValuesMayHoldBlanksAndLieWithinTheCommandLine) {
  Installed("2.0");
  VersionFile({});
  // As one argument with a blank (a shell's quotes), and as a Windows
  // command line writes it, with the quotes in the text.
  fs::create_directories(dir_ + "/new dir");
  for (const std::string &option : {"-logfile=" + dir_ + "/new dir/x.log", "-logfile=\"" + dir_ + "/new dir/x.log\""}) {
    fs::remove(dir_ + "/new dir/x.log");
    EXPECT_EQ(Run("vorn-update", {"-silent", option}).status, 0);
    EXPECT_THAT(Slurp(dir_ + "/new dir/x.log"), HasSubstr("end: installed, status 0")) << option;
    EXPECT_FALSE(fs::exists(dir_ + "/new"));
  }
  EXPECT_EQ(Run("vorn-demo", {"-silent", "-dir=" + dir_ + "/My Demo"}).status, 0);
  EXPECT_TRUE(fs::exists(dir_ + "/My Demo/help/vorn.htm"));
  // An option past the 259 characters that count is refused, not dropped.
  const Outcome cut = Run("vorn-update", {std::string(255, 'x'), "-silent"});
  EXPECT_EQ(cut.status, 2);
  EXPECT_THAT(cut.err, HasSubstr("Start: the option -silent lies beyond the 259 characters and 48 words"));
  std::vector<std::string> words(48, "a");
  words.push_back("-dir=" + dir_ + "/cut");
  EXPECT_EQ(Run("vorn-demo", words, "\n").status, 2);
  EXPECT_FALSE(fs::exists(dir_ + "/cut"));
}

TEST_F(UpdaterTest, ALogWithoutSilentKeepsTheDialogAndTheStatuses) {
  Installed("1.9");
  const std::string log = dir_ + "/run.log";
  const Outcome o = Run("vorn-update", {"-logfile=" + log}, "i\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Exit program", "You need Vorn version 2.0 to be able to use this update."));
  EXPECT_THAT(Slurp(log), HasSubstr("end: installed version too old, status 0"));
  Installed("2.0");
  VersionFile({});
  const Outcome cancelled = Run("vorn-update", {"-LOGFILE=" + log}, "c\n");
  EXPECT_EQ(cancelled.status, 0);
  EXPECT_THAT(cancelled.out, HasSubstr("Install update"));
  EXPECT_THAT(Slurp(log), HasSubstr("end: cancelled, status 0"));
}

TEST_F(UpdaterTest, WithoutATerminalTheDialogSaysHowToRunUnattended) {
  Installed("2.0");
  VersionFile({});
  stdinDevice_ = true; // as from a desktop launcher or cron
  const Outcome o = Run("vorn-update");
  EXPECT_EQ(o.status, 0);
  EXPECT_THAT(o.err, HasSubstr("There is no terminal to show the dialog on, so nothing was installed."));
  EXPECT_THAT(o.err, HasSubstr("-silent"));
  EXPECT_FALSE(fs::exists(HelpFile()));
}

// Another user, who may write in the shared temporary folder (like /tmp)
// and, where it says so, in the installation.
class SharedMachineTest : public UpdaterTest {
protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    SKIP_UNLESS_ROOT();
    fs::create_directories(Shared());
    chmod(Shared().c_str(), 01777);
    env_["TMPDIR"] = Shared();
    WriteFile(Victim(), "precious");
  }
  std::string Shared() const { return dir_ + "/shared"; }
  std::string Victim() const { return dir_ + "/victim"; }
};

TEST_F(SharedMachineTest, AnotherUsersNamesInTheTemporaryFolderAreNeverUsed) {
  Installed();
  VersionFile({});
  const std::string squat = Shared() + "/" + Private();
  // A link at the old fixed name, and our private folder's name taken first,
  // with a link inside.
  ASSERT_EQ(vorn_test::AsOtherUser([&] {
              return symlink(Victim().c_str(), (Shared() + "/TEMP.LZX").c_str()) == 0 && mkdir(squat.c_str(), 0777) == 0 &&
                     chmod(squat.c_str(), 0777) == 0 && symlink(Victim().c_str(), (squat + "/TEMP.LZX").c_str()) == 0;
            }),
            0);
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, Notice("Update report", "The update has been applied."));
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
  EXPECT_EQ(Slurp(Victim()), "precious");
  EXPECT_EQ(Names(Shared()), (std::vector<std::string>{"TEMP.LZX", Private()})); // ours came and went
  EXPECT_EQ(Names(squat), std::vector<std::string>{"TEMP.LZX"});
}

// A TMPDIR that another user owns, one below a folder of theirs (they can
// rename it away under us), and one whose name our layer would read as
// another ('\\'): our private folder is made in none of them.
TEST_F(SharedMachineTest, ATemporaryFolderAnotherUserCouldSwapIsNotUsed) {
  const std::string theirs = dir_ + "/theirs", slashed = dir_ + "/a\\b";
  fs::create_directories(theirs + "/tmp");
  fs::create_directories(slashed);
  ASSERT_EQ(chown(theirs.c_str(), vorn_test::kOtherUser, vorn_test::kOtherUser), 0);
  const std::string shared = "/tmp/" + Private();
  const bool hadShared = fs::exists(shared);
  for (const std::string &tmpdir : {theirs, theirs + "/tmp", slashed}) {
    Installed();
    VersionFile({});
    env_["TMPDIR"] = tmpdir;
    const Outcome o = Run("vorn-update", {}, "i\n");
    EXPECT_EQ(o.status, 0) << tmpdir << "\n" << o.err;
    EXPECT_FALSE(fs::exists(tmpdir + "/" + Private())) << tmpdir;
  }
  EXPECT_FALSE(fs::exists(dir_ + "/a/b"));
  if (!hadShared) fs::remove(shared); // only when empty, as it should be
}

TEST_F(SharedMachineTest, AnotherUsersLockFileNeverMakesTheProductSeemRunning) {
  Installed();
  // A runtime folder that others can write into is not used: there another
  // user holds a lock file of the product's name.
  env_["XDG_RUNTIME_DIR"] = Shared();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const int holder = vorn_test::StartAsOtherUser([&] {
    const int fd = open((Shared() + "/Quillon.lock").c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "r", 1) != 1) return false;
    pause();
    return true;
  });
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  const Outcome o = Run("vorn-update", {}, "c\n");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(o.status, 0);
  EXPECT_THAT(o.out, HasSubstr("Install update"));
  // Without a runtime folder: one user's run leaves nothing that stops another's.
  env_.erase("XDG_RUNTIME_DIR");
  EXPECT_EQ(Run("vorn-update", {}, "c\n").status, 0);
  runAs_ = vorn_test::kOtherUser;
  const Outcome other = Run("vorn-update", {}, "c\n");
  EXPECT_EQ(other.status, 0);
  EXPECT_THAT(other.out, HasSubstr("Install update"));
}

TEST_F(SharedMachineTest, RootInstallingForAUserLeavesEverythingToThatUser) {
  // Root runs the update with the user's settings (as a configuration tool
  // does): what is new belongs to the installation's owner, who can then
  // update on their own.
  Installed();
  VersionFile({});
  ASSERT_EQ(chown(Inst().c_str(), vorn_test::kOtherUser, vorn_test::kOtherUser), 0);
  ASSERT_EQ(chown((Inst() + "/lzx.ver").c_str(), vorn_test::kOtherUser, vorn_test::kOtherUser), 0);
  ASSERT_EQ(Run("vorn-update", {}, "i\n").status, 0);
  for (const std::string &name : {Inst() + "/help", HelpFile(), Inst() + "/lzx.ver"}) {
    struct stat st {};
    ASSERT_EQ(lstat(name.c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_uid, vorn_test::kOtherUser) << name;
    EXPECT_EQ(st.st_gid, vorn_test::kOtherUser) << name;
  }
  WriteFile(HelpFile(), "changed by hand");
  ASSERT_EQ(chown(HelpFile().c_str(), vorn_test::kOtherUser, vorn_test::kOtherUser), 0);
  runAs_ = vorn_test::kOtherUser;
  const Outcome mine = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(mine.status, 0) << mine.err;
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
}

TEST_F(SharedMachineTest, ALogAnotherUserPreparedIsNeitherFollowedNorWritten) {
  // In the shared folder another user put a link to our file, or a file of
  // their own, at the log's name: neither is written, the run says so once
  // and installs as it would without a log.
  const std::string victim = Victim(), theirs = Shared() + "/theirs.log", link = Shared() + "/link.log";
  ASSERT_EQ(vorn_test::AsOtherUser([&] {
              return symlink(victim.c_str(), link.c_str()) == 0 &&
                     close(open(theirs.c_str(), O_WRONLY | O_CREAT, 0666)) == 0;
            }),
            0);
  for (const std::string &log : {link, theirs}) {
    Installed();
    VersionFile({});
    fs::remove_all(Inst() + "/help");
    const Outcome o = Run("vorn-update", {"-silent", "-logfile=" + log});
    EXPECT_EQ(o.status, 0) << log;
    EXPECT_EQ(Slurp(victim), "precious");
    EXPECT_EQ(fs::file_size(theirs), 0u);
    EXPECT_THAT(o.err, HasSubstr("[Log]\nThe log cannot be written: " + log));
    EXPECT_TRUE(fs::exists(HelpFile()));
  }
}

TEST_F(SharedMachineTest, AStagingNameCannotBePlantedInTheInstallation) {
  Installed();
  VersionFile({});
  fs::create_directories(Inst() + "/help");
  chmod((Inst() + "/help").c_str(), 0777);
  beforeExec_ = [&](pid_t pid) {
    // The name a staging file used to get from the process number.
    const std::string planted = Inst() + "/help/~lzx" + std::string(5 - std::to_string(pid % 100000).size(), '0') +
                                std::to_string(pid % 100000) + ".tmp";
    EXPECT_EQ(vorn_test::AsOtherUser([&] { return symlink(Victim().c_str(), planted.c_str()) == 0; }), 0);
  };
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(Slurp(Victim()), "precious");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(HelpFile())));
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
}

TEST_F(SharedMachineTest, ALinkBelowTheInstallationIsNotWrittenThrough) {
  Installed();
  VersionFile({});
  chmod(Inst().c_str(), 0777);
  fs::create_directories(dir_ + "/outside");
  ASSERT_EQ(vorn_test::AsOtherUser([&] { return symlink((dir_ + "/outside").c_str(), (Inst() + "/help").c_str()) == 0; }), 0);
  const Outcome o = Run("vorn-update", {}, "i\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, vorn_test::FatalNotice("The update is damaged; nothing was changed.\nUnPackLZX: link on the way: #help\\vorn.htm"));
  EXPECT_TRUE(fs::is_empty(dir_ + "/outside"));
  EXPECT_EQ(fs::file_size(Inst() + "/lzx.ver"), 0u);
}

TEST_F(SharedMachineTest, ALinkTheOwnerMadeBelowTheInstallationIsFollowed) {
  // The owner keeps the help on another disk: a link of theirs, in a folder
  // only they may write in, is followed as the system follows it.
  Installed();
  VersionFile({});
  fs::create_directories(dir_ + "/elsewhere/help");
  fs::create_symlink(dir_ + "/elsewhere/help", Inst() + "/help");
  const Outcome o = Run("vorn-update", {"-silent"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(Slurp(dir_ + "/elsewhere/help/vorn.htm"), HasSubstr("Nederlandse online help"));
  EXPECT_TRUE(fs::is_symlink(Inst() + "/help"));
}

TEST_F(SharedMachineTest, ReplacedFilesKeepTheirModeAndOwner) {
  Installed();
  fs::create_directories(Inst() + "/help");
  const auto stat = [](const std::string &path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
  };
  for (const int mask : {022, 077}) {
    WriteFile(HelpFile(), "old help");
    ASSERT_EQ(chown(HelpFile().c_str(), vorn_test::kOtherUser, vorn_test::kOtherUser), 0);
    chmod(HelpFile().c_str(), 0750);
    VersionFile({{"#help\\vorn.htm", 100}});
    chmod((Inst() + "/lzx.ver").c_str(), 0640);
    umask_ = mask;
    ASSERT_EQ(Run("vorn-update", {}, "i\n").status, 0);
    EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
    EXPECT_EQ(stat(HelpFile()).st_mode & 07777, 0750u) << mask;
    EXPECT_EQ(stat(HelpFile()).st_uid, vorn_test::kOtherUser) << mask;
    EXPECT_EQ(stat(HelpFile()).st_gid, vorn_test::kOtherUser) << mask;
    EXPECT_EQ(stat(Inst() + "/lzx.ver").st_mode & 07777, 0640u) << mask;
  }
  // A new file gets the usual mode.
  fs::remove(HelpFile());
  ASSERT_EQ(Run("vorn-update", {}, "i\n").status, 0);
  EXPECT_EQ(stat(HelpFile()).st_mode & 07777, 0600u);
  EXPECT_EQ(stat(HelpFile()).st_uid, 0u);
}

TEST_F(SharedMachineTest, NoReaderOfTheInstallationCanStopAnUpdate) {
  // Another user, who may read the installation, holds locks on its folder,
  // on lzx.ver and on an installed file, and has put a lock file of their
  // own (a link) where ours goes: the update goes through all the same.
  Installed();
  VersionFile({});
  fs::create_directories(Inst() + "/help");
  WriteFile(HelpFile(), "old help");
  ASSERT_EQ(chmod(Inst().c_str(), 0777), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const std::string inst = Inst(), help = HelpFile(), victim = Victim();
  const int holder = vorn_test::StartAsOtherUser([&] {
    for (const std::string &name : {inst, inst + "/lzx.ver", help}) {
      const int fd = open(name.c_str(), O_RDONLY);
      if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
    }
    if (symlink(victim.c_str(), (inst + "/lzx.lck").c_str()) != 0 || write(ready[1], "r", 1) != 1) return false;
    pause();
    return true;
  });
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  const Outcome o = Run("vorn-update", {"-silent"});
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(Slurp(HelpFile()), HasSubstr("Nederlandse online help"));
  EXPECT_EQ(Slurp(Victim()), "precious");
  EXPECT_FALSE(fs::exists(Inst() + "/lzx.lck"));
}

TEST_F(SharedMachineTest, ASettingsStoreAnotherUserPreparedIsNeitherReadNorMade) {
  // The settings folder lies where another user could write: their dangling
  // link at the store's name, and a store of theirs, are neither followed
  // (root would create the link's target) nor believed.
  const std::string config = Shared() + "/config", made = dir_ + "/made-by-root";
  env_["XDG_CONFIG_HOME"] = config;
  for (const bool link : {true, false}) {
    fs::remove_all(config);
    ASSERT_EQ(vorn_test::AsOtherUser([&] {
                if (mkdir(config.c_str(), 0777) != 0 || mkdir((config + "/Vorn").c_str(), 0777) != 0 ||
                    chmod((config + "/Vorn").c_str(), 0777) != 0)
                  return false;
                const std::string store = config + "/Vorn/settings.ini";
                if (link) return symlink(made.c_str(), store.c_str()) == 0;
                FILE *f = std::fopen(store.c_str(), "w");
                return f && std::fprintf(f, "Location=%s\nVersion=2.0\n", Victim().c_str()) > 0 && std::fclose(f) == 0;
              }),
              0);
    const Outcome o = Run("vorn-update", {"-silent"});
    EXPECT_EQ(o.status, 3) << link;
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(Slurp(Victim()), "precious");
  }
}

} // namespace
