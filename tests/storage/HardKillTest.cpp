// Writes that a SIGKILL interrupts: a child process rewrites the settings
// file, a favourites file, a history index and a history result file in a
// loop and is killed at random moments. Each file must then be a whole
// version, never older than the one seen before, and the only temporary
// files left are those of killed writers, which the next write of the same
// file removes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

#include "CellStore.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/Options.h"
#include "storage/ResultCsv.h"
#include "storage/ResultXml.h"
#include "support/TempDir.h"

namespace {

const char* const kFiles[] = {"q_Opt.xml", "q_Frq.xml", "q_Log.xml", "20061231_235959.csv"};

std::string Marker(int gen) { return "gen=" + std::to_string(gen) + ";"; }

// Versions differ in size, so a torn file cannot pass for a whole one.
std::string Padding(int gen) { return std::string(static_cast<size_t>(gen % 7) * 3000, 'p'); }

void Prolog(TTinyXml& doc, const char* content, const char* root) {
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ(content), 0);
  doc.AddNode(xnStartTag, root, "", 0);
}

void FillRun(TSqlInfo& run, int gen) {
  run.Sql = {"-- " + Marker(gen), "SELECT * FROM T", Padding(gen)};
  run.SetStatus(Marker(gen));
  run.SetColCount(2);
  for (int i = 0; i < 2; ++i) {
    run.SetColName(i, i == 0 ? Marker(gen) : Padding(gen));
    run.DefineColumn(i, 1, 10, 0, 0);
  }
}

// Writes generation `gen` of file `which` into `dir`.
void Write(const std::string& dir, int which, int gen) {
  const std::string path = dir + kFiles[which];
  switch (which) {
    case 0: {
      TOptionFile options;
      options.Options.User = Marker(gen);
      options.Options.Path = Padding(gen);
      std::string message;
      WriteOptionFile(path, options, message);
      break;
    }
    case 1: {
      TTinyXml doc;
      Prolog(doc, "よく使うＳＱＬ", "FreqSql");
      TSqlInfo run;
      FillRun(run, gen);
      for (int k = 0; k <= gen % 3; ++k) WriteSqlSection(doc, run, 1);
      doc.AddNode(xnEndTag, "FreqSql", "", 0);
      doc.SaveToFile(path);
      break;
    }
    case 2: {
      TTinyXml doc;
      Prolog(doc, "履歴", "Log");
      TSqlInfo run;
      FillRun(run, gen);
      for (int k = 0; k <= gen % 3; ++k) {
        doc.AddNode(xnStartTag, "Row", "", 1);
        WriteSqlSection(doc, run, 2);
        WriteInfoSection(doc, run, 2);
        WriteHeaderSection(doc, run, 2);
        doc.AddNode(xnEndTag, "Row", "", 1);
      }
      doc.AddNode(xnEndTag, "Log", "", 0);
      doc.SaveToFile(path);
      break;
    }
    default: {
      TSqlInfo run;
      TCellStore cells(run);
      FillRun(run, gen);
      run.SetColName(0, Marker(gen));
      run.SetColName(1, "B");
      run.SetRowPos(gen % 5 * 40);
      for (int r = 1; r <= run.RowPos(); ++r) run.SetCell(2, r, Padding(gen) + "\r\n" + Marker(gen));
      SaveCsv(run, path);
      break;
    }
  }
}

// The generation a file claims to be; -1 when it names none.
int GenerationOf(const std::string& bytes) {
  const size_t at = bytes.find("gen=");
  return at == std::string::npos ? -1 : std::atoi(bytes.c_str() + at + 4);
}

bool IsTemporaryOf(const std::string& name, int which, pid_t pid) {
  const std::string prefix = std::string(".") + kFiles[which] + "." + std::to_string(pid) + ".";
  return name.rfind(prefix, 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

TEST(HardKillTest, EveryFileIsWholeAfterAKill) {
  TTempDir work, reference;
  std::map<std::pair<int, int>, std::string> expected;  // (file, generation) -> bytes
  auto expectedBytes = [&](int which, int gen) -> const std::string& {
    auto it = expected.find({which, gen});
    if (it == expected.end()) {
      Write(reference.Path(), which, gen);
      it = expected.emplace(std::pair{which, gen}, ReadFileBytes(reference.File(kFiles[which]))).first;
    }
    return it->second;
  };
  for (int which = 0; which < 4; ++which) Write(work.Path(), which, 0);

  std::mt19937 rng(20061231);
  int seen[4] = {0, 0, 0, 0};
  int next = 1, temporariesSeen = 0;
  std::vector<pid_t> killed;
  for (int kill = 0; kill < 200; ++kill) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int gen = next;; ++gen)
        for (int which = 0; which < 4; ++which) Write(work.Path(), which, gen);
    }
    usleep(static_cast<useconds_t>(rng() % 20000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    SCOPED_TRACE("kill " + std::to_string(kill));
    for (int which = 0; which < 4; ++which) {
      const std::string bytes = ReadFileBytes(work.File(kFiles[which]));
      const int gen = GenerationOf(bytes);
      ASSERT_GE(gen, seen[which]) << kFiles[which];
      ASSERT_EQ(bytes, expectedBytes(which, gen)) << kFiles[which] << " generation " << gen;
      seen[which] = gen;
      next = std::max(next, gen + 1);
    }
    // Left over: only temporaries of writers that are gone, which the next
    // write of the same file removes (checked at the end).
    killed.push_back(child);
    for (const auto& e : std::filesystem::directory_iterator(work.Path())) {
      const std::string name = e.path().filename().string();
      bool known = false;
      for (int which = 0; which < 4; ++which) {
        if (name == kFiles[which]) known = true;
        for (pid_t pid : killed) known = known || IsTemporaryOf(name, which, pid);
      }
      EXPECT_TRUE(known) << name;
      if (name[0] == '.') ++temporariesSeen;
    }
  }
  // A later write of each file leaves the files alone in the directory.
  for (int which = 0; which < 4; ++which) Write(work.Path(), which, next);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(work.Path())) ++entries;
  EXPECT_EQ(entries, 4u);
  RecordProperty("temporaries_left_by_kills", temporariesSeen);
}

}  // namespace
