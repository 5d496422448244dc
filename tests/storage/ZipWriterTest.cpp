// ZIP archives read back by Python's zipfile, which checks every entry's
// checksum and sizes against the central directory.

#include "storage/ZipWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "storage/AtomicFile.h"
#include "support/TempDir.h"

namespace {

const char kRead[] = R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
out = open(sys.argv[2], 'w')
for i, info in enumerate(z.infolist()):
    open('%s.%d' % (sys.argv[2], i), 'wb').write(z.read(info))
    out.write('%s %d %d %d\n' % (info.filename, info.compress_type, info.extract_version, info.file_size))
)";

// "name method version size" per entry; entry i's bytes in listing.i.
std::string ReadZip(const TTempDir& dir, const std::string& zip) {
  WriteFileBytes(dir.File("read.py"), kRead);
  const std::string listing = dir.File("listing");
  const std::string command = "/usr/bin/python3 '" + dir.File("read.py") + "' '" + zip + "' '" + listing + "'";
  if (std::system(command.c_str()) != 0) return "unreadable";
  return ReadFileBytes(listing);
}

// Text that compresses as a sheet does, with enough variety that a piece
// deflated wrongly cannot come out right by chance.
std::string SheetLike(size_t bytes) {
  std::string s;
  for (unsigned n = 1; s.size() < bytes; ++n)
    s += "<row r=\"" + std::to_string(n) + "\"><c><v>" + std::to_string(n * 2654435761u) + "</v></c></row>";
  return s;
}

class ZipWriterTest : public testing::TestWithParam<uint64_t> {};

TEST_P(ZipWriterTest, WholeAndStreamedEntriesReadBackExactly) {
  TTempDir dir;
  const std::string path = dir.File("a.zip");
  const std::string big = SheetLike(5u << 20);  // several pieces
  const std::string small = "<?xml version=\"1.0\"?><a>日本語</a>";
  {
    TAtomicWriter file(path);
    TZipWriter zip(file, GetParam());
    ASSERT_TRUE(zip.Add("[Content_Types].xml", small));
    ASSERT_TRUE(zip.Add("empty", ""));
    zip.Begin("xl/worksheets/sheet1.xml");
    // Writes of every size, from single bytes to more than a piece.
    size_t at = 0;
    for (size_t step = 1; at < big.size(); step = step * 7 % 3000017 + 1) {
      zip.Write(std::string_view(big).substr(at, step));
      at += std::min(step, big.size() - at);
    }
    ASSERT_TRUE(zip.End());
    zip.Begin("streamed-empty");
    ASSERT_TRUE(zip.End());
    ASSERT_TRUE(zip.Add("last", "x"));
    ASSERT_TRUE(zip.Finish());
    ASSERT_TRUE(file.Commit());
  }
  // Past the bound every size and offset takes its 64-bit form, which asks
  // for version 4.5 to read.
  const int version = GetParam() == 0 ? 45 : 20;
  std::ostringstream expected;
  for (const auto& [name, size] : {std::pair<std::string, size_t>{"[Content_Types].xml", small.size()},
                                   {"empty", 0},
                                   {"xl/worksheets/sheet1.xml", big.size()},
                                   {"streamed-empty", 0},
                                   {"last", 1}})
    expected << name << " 8 " << version << " " << size << "\n";
  ASSERT_EQ(ReadZip(dir, path), expected.str());
  EXPECT_EQ(ReadFileBytes(dir.File("listing.0")), small);
  EXPECT_TRUE(ReadFileBytes(dir.File("listing.2")) == big);
  EXPECT_EQ(ReadFileBytes(dir.File("listing.4")), "x");
  // Deflated, and well: the sheet's text repeats itself.
  EXPECT_LT(ReadFileBytes(path).size(), big.size() / 3);
}

INSTANTIATE_TEST_SUITE_P(Bounds, ZipWriterTest, testing::Values(0xFFFFFFFFu, 0),
                         [](const auto& p) { return p.param ? std::string("Zip32") : std::string("Zip64"); });

TEST(ZipWriterTest, AFullDiskIsReportedAndTheWriterCanBeLeftMidEntry) {
  TTempDir dir;
  struct TReset {
    ~TReset() { SetAtomicWriteFailAfterForTesting(-1); }
  } reset;
  for (const long long failAfter : {0LL, 100LL, 300000LL}) {
    SCOPED_TRACE(failAfter);
    SetAtomicWriteFailAfterForTesting(failAfter);
    TAtomicWriter file(dir.File("full.zip"));
    bool ok = true;
    {
      TZipWriter zip(file);
      ok = zip.Add("a", "aaaa") && ok;
      zip.Begin("b");
      zip.Write(SheetLike(8u << 20));
      ok = zip.End() && ok;
      ok = zip.Finish() && ok;
    }
    EXPECT_FALSE(ok);
    // Given up halfway through a streamed entry, the workers stop and go.
    TZipWriter zip(file);
    zip.Begin("c");
    zip.Write(SheetLike(3u << 20));
  }
}

}  // namespace
