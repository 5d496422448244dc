#include "support/XlsxDump.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

const char kDump[] = R"(import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
out = open(sys.argv[2], 'w', encoding='utf-8')
for ws in book.worksheets:
    widths = ','.join('%s=%.2f' % (k, d.width) for k, d in sorted(ws.column_dimensions.items()) if d.width)
    out.write('sheet\t%s\t%s\t%s\t%s\n' % (ws.title, ws.freeze_panes, ws.auto_filter.ref, widths))
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            v = c.value.isoformat() if hasattr(c.value, 'isoformat') else repr(c.value)
            out.write('%s\t%s\t%s\t%s\t%d\t%d\n' % (c.coordinate, 'd' if c.is_date else c.data_type, v,
                                                    c.number_format, bool(c.font.b), bool(c.alignment.wrap_text)))
)";

}  // namespace

std::string TXlsxDump::Cell(const std::string& sheetAndCell) const {
  const auto it = cells.find(sheetAndCell);
  return it == cells.end() ? std::string() : it->second;
}

TXlsxDump ReadXlsx(const TTempDir& dir, const std::string& xlsx) {
  WriteFileBytes(dir.File("dump.py"), kDump);
  const std::string out = dir.File("dump.txt");
  // The Debian python3, which python3-openpyxl serves.
  const std::string command = "/usr/bin/python3 '" + dir.File("dump.py") + "' '" + xlsx + "' '" + out + "'";
  TXlsxDump book;
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << command;
    return book;
  }
  std::istringstream lines(ReadFileBytes(out));
  std::string line, sheet;
  while (std::getline(lines, line)) {
    if (line.rfind("sheet\t", 0) == 0) {
      book.sheets.push_back(line.substr(6));
      sheet = line.substr(6, line.find('\t', 6) - 6);
      continue;
    }
    const size_t tab = line.find('\t');
    book.cells[sheet + "!" + line.substr(0, tab)] = line.substr(tab + 1);
  }
  std::remove(out.c_str());
  return book;
}
