// Result files just past the size bounds of a cell and a line. A program of
// its own: each case writes and loads files of 256 MiB, which takes long
// under the sanitizers.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "CellStore.h"
#include "Refused.h"
#include "storage/ResultFile.h"
#include "support/TempDir.h"

namespace {

// Just over 256 MiB: one cell spread over lines that are each within the
// bound, and one line of cells that are each within it.
TEST(DamagedFileTest, CellAndLineSizesAreBounded) {
  // Files this size go to memory where it can be had, not to a shared disk.
  const char* tmp = std::getenv("TMPDIR");
  const std::string oldTmp = tmp ? tmp : "";
  if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
  TTempDir dir;
  if (tmp) setenv("TMPDIR", oldTmp.c_str(), 1);
  else unsetenv("TMPDIR");
  const std::string half(128 * kMiB + 1, 'a');
  const std::string file = dir.File("big.csv");
  WriteFileBytes(file, "A,\r\n\"" + half + "\r\n" + half + "\",\r\n");
  ExpectRefused(file);
  WriteFileBytes(file, "A,B,\r\n" + half + "," + half + ",\r\n");
  ExpectRefused(file);

  // A result file of one cell, that cell then made large.
  TSqlInfo out;
  TCellStore outCells(out);
  DefineColumns(out, {"A"});
  out.SetStatus("OK");
  out.SetRowPos(1);
  out.SetCell(1, 1, "X");
  ASSERT_TRUE(SaveResultFile(out, dir.File("small.xml")));
  const std::string small = ReadFileBytes(dir.File("small.xml"));
  const size_t cell = small.find("<C1>X</C1>");
  ASSERT_NE(cell, std::string::npos);
  const struct {
    std::string cell;
    bool beforeColumns;  // a line is refused as the file loads, a cell when it is read
  } cases[] = {
      {"<C1>\r\n\t\t\t<Li>" + half + "</Li>\r\n\t\t\t<Dt>" + half + "</Dt>\r\n\t\t</C1>", false},
      {"<C1>" + half + half + "</C1>", true},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir.File("big.xml"), small.substr(0, cell) + c.cell + small.substr(cell + 10));
    ExpectRefused(dir.File("big.xml"), c.beforeColumns);
  }
}

}  // namespace
