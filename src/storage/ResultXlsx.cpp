#include "storage/ResultXlsx.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "core/DateTime.h"
#include "core/Sjis.h"
#include "core/StrUtil.h"
#include "storage/AtomicFile.h"
#include "storage/ZipWriter.h"

namespace {

// Excel shows no more than 15 significant digits; a longer number would be
// changed on the way.
constexpr int kMaxDigits = 15;
// The 1900 date system counts a 29 February 1900 that never was: only from
// 1 March 1900 on does a serial number mean the same day as a TDateTime.
constexpr TDateTime kFirstExcelDate = 61;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number text that a double holds exactly and a number format can show
// digit for digit: "-"?, an integer part without leading zeros, and an
// optional fraction. Such a text is a number as the sheet stores it, too.
// decimals: the digits after the point.
bool IsExactNumber(std::string_view t, int& decimals) {
  const size_t n = t.size();
  size_t p = 0;
  const bool negative = p < n && t[p] == '-';
  if (negative) ++p;
  const size_t intStart = p;
  while (p < n && IsDigit(t[p])) ++p;
  if (p == intStart || (p - intStart > 1 && t[intStart] == '0')) return false;
  decimals = 0;
  if (p < n && t[p] == '.') {
    const size_t fracStart = ++p;
    while (p < n && IsDigit(t[p])) ++p;
    decimals = static_cast<int>(p - fracStart);
    if (decimals == 0) return false;
  }
  if (p != n || decimals > kMaxDigits) return false;
  // Trailing zeros are shown, so they count.
  int significant = 0;
  bool started = false;
  for (size_t i = intStart; i < n; ++i) {
    if (t[i] == '.') continue;
    started = started || t[i] != '0';
    if (started) ++significant;
  }
  // A sheet has no negative zero: "-0" would lose its sign.
  return significant <= kMaxDigits && !(negative && !started);
}

bool TakeNumber(std::string_view t, size_t& p, size_t digits, int& out) {
  if (p + digits > t.size()) return false;
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    if (!IsDigit(t[p + i])) return false;
    out = out * 10 + (t[p + i] - '0');
  }
  p += digits;
  return true;
}

bool TakeChar(std::string_view t, size_t& p, char c) {
  if (p >= t.size() || t[p] != c) return false;
  ++p;
  return true;
}

// A DATE cell as the grid shows it, "yyyy/mm/dd hh:mm:ss" (or the date
// alone), as an Excel serial number.
bool ParseDate(std::string_view t, TDateTime& value) {
  static constexpr std::array<int, 12> kDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  size_t p = 0;
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  if (!TakeNumber(t, p, 4, y) || !TakeChar(t, p, '/') || !TakeNumber(t, p, 2, m) || !TakeChar(t, p, '/') ||
      !TakeNumber(t, p, 2, d))
    return false;
  if (p < t.size() && (!TakeChar(t, p, ' ') || !TakeNumber(t, p, 2, hh) || !TakeChar(t, p, ':') ||
                       !TakeNumber(t, p, 2, mi) || !TakeChar(t, p, ':') || !TakeNumber(t, p, 2, ss)))
    return false;
  if (p != t.size() || m < 1 || m > 12 || d < 1 || d > kDays[static_cast<size_t>(m - 1)] || hh > 23 || mi > 59 ||
      ss > 59)
    return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (m == 2 && d == 29 && !leap) return false;
  value = EncodeDateTime(y, m, d, hh, mi, ss);
  return value >= kFirstExcelDate;
}

constexpr std::string_view kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr std::string_view kResultSheet = "実行結果";

// The cell formats of styles.xml, by their index.
enum TStyle : int { sNone, sBold, sDateTime, sDate, sTime, sWrap, sNumber0 };

// What a byte of a text's UTF-8 asks of the writer: 0 nothing, 1 an XML
// escape or a look at what follows.
constexpr std::array<uint8_t, 256> kSpecial = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<size_t>(c)] = c == '\t' || c == '\n' ? 0 : 1;
  for (char c : {'&', '<', '>', '_'}) t[static_cast<unsigned char>(c)] = 1;
  return t;
}();

bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "A", "B", ..., "XFD": the letters of column i (0-based).
std::string ColumnLetters(int i) {
  std::string s;
  for (++i; i > 0; i = (i - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (i - 1) % 26));
  return s;
}

void AppendNumber(std::string& out, double v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, r.ptr);
}

void AppendInt(std::string& out, long long v) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, r.ptr);
}

// The sheets' XML, written straight into the package as it grows.
class TXlsxWriter {
 public:
  TXlsxWriter(TSqlInfo& info, const std::string& fileName) : info_(info), fileName_(fileName) {}

  void Write(const std::vector<int>& widths) {
    TAtomicWriter file(fileName_);
    if (file.TempPath().empty()) Fail();
    TZipWriter zip(file);
    zip_ = &zip;
    Add("[Content_Types].xml", ContentTypes());
    Add("_rels/.rels", PackageRels());
    Add("xl/workbook.xml", Workbook());
    Add("xl/_rels/workbook.xml.rels", WorkbookRels());
    Add("xl/styles.xml", Styles());
    zip.Begin("xl/worksheets/sheet1.xml");
    WriteResultSheet(widths);
    Flush(0);
    if (!zip.End()) Fail();
    WriteSqlSheet();
    zip_ = nullptr;
    if (!zip.Finish() || !file.Commit()) Fail();
  }

 private:
  [[noreturn]] void Fail() const { throw TFileError(FileCreateMessage(fileName_)); }

  void Add(std::string_view name, const std::string& xml) {
    if (!zip_->Add(name, xml)) Fail();
  }

  // Hands the XML written so far to the package once it holds at least
  // `atLeast` bytes.
  void Flush(size_t atLeast) {
    if (xml_.size() < atLeast) return;
    zip_->Write(xml_);
    xml_.clear();
  }

  int Cols() const { return info_.ColCount(); }
  int Rows() const { return std::max(info_.RowPos(), 0); }

  // The result sheet's cells: "A1:H1001", "A1" for no columns.
  std::string Range(bool absolute) const {
    const std::string d = absolute ? "$" : "";
    if (Cols() == 0) return d + "A" + d + "1";
    return d + "A" + d + "1:" + d + ColumnLetters(Cols() - 1) + d + std::to_string(Rows() + 1);
  }

  static std::string ContentTypes() {
    std::string x(kXmlHead);
    x += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
    for (const char* sheet : {"sheet1", "sheet2"})
      x += std::string("<Override PartName=\"/xl/worksheets/") + sheet +
           ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    x += "<Override PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>";
    return x;
  }

  static std::string PackageRels() {
    std::string x(kXmlHead);
    x += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"";
    x += kRel;
    x += "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    return x;
  }

  std::string Workbook() const {
    std::string x(kXmlHead);
    x += "<workbook xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" + std::string(kRel) +
         "\"><bookViews><workbookView/></bookViews><sheets>"
         "<sheet name=\"" + std::string(kResultSheet) + "\" sheetId=\"1\" r:id=\"rId1\"/>"
         "<sheet name=\"SQL\" sheetId=\"2\" r:id=\"rId2\"/></sheets>";
    // The auto-filter's range, as the spreadsheet itself keeps it.
    if (Cols() > 0)
      x += "<definedNames><definedName name=\"_xlnm._FilterDatabase\" localSheetId=\"0\" hidden=\"1\">'" +
           std::string(kResultSheet) + "'!" + Range(true) + "</definedName></definedNames>";
    x += "</workbook>";
    return x;
  }

  static std::string WorkbookRels() {
    std::string x(kXmlHead);
    x += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const std::pair<const char*, const char*> parts[] = {
        {"worksheet", "worksheets/sheet1.xml"}, {"worksheet", "worksheets/sheet2.xml"}, {"styles", "styles.xml"}};
    int id = 0;
    for (const auto& [type, target] : parts)
      x += "<Relationship Id=\"rId" + std::to_string(++id) + "\" Type=\"" + std::string(kRel) + "/" + type +
           "\" Target=\"" + target + "\"/>";
    x += "</Relationships>";
    return x;
  }

  // The formats by TStyle; a number with d decimals takes sNumber0 + d.
  static std::string Styles() {
    struct TXf {
      int NumFmt, Font;
      bool Wrap;
    };
    std::vector<std::pair<int, std::string>> custom;
    auto numFmt = [&](const std::string& code) {
      // The spreadsheet's own ids for the formats it has built in.
      if (code == "0") return 1;
      if (code == "0.00") return 2;
      custom.emplace_back(164 + static_cast<int>(custom.size()), code);
      return custom.back().first;
    };
    std::vector<TXf> xfs = {{0, 0, false},
                            {0, 1, false},
                            {numFmt("yyyy/mm/dd hh:mm:ss"), 0, false},
                            {numFmt("yyyy/mm/dd"), 0, false},
                            {numFmt("hh:mm:ss"), 0, false},
                            {0, 0, true}};
    std::string pattern = "0";
    for (int d = 0; d <= kMaxDigits; ++d) {
      xfs.push_back({numFmt(pattern), 0, false});
      pattern += d == 0 ? ".0" : "0";
    }
    std::string x(kXmlHead);
    x += "<styleSheet xmlns=\"" + std::string(kMain) + "\"><numFmts count=\"" + std::to_string(custom.size()) + "\">";
    for (const auto& [id, code] : custom)
      x += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"" + code + "\"/>";
    x += "</numFmts><fonts count=\"2\">"
         "<font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
         "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
         "<cellXfs count=\"" + std::to_string(xfs.size()) + "\">";
    for (const TXf& f : xfs) {
      x += "<xf numFmtId=\"" + std::to_string(f.NumFmt) + "\" fontId=\"" + std::to_string(f.Font) +
           "\" fillId=\"0\" borderId=\"0\" xfId=\"0\"";
      if (f.NumFmt) x += " applyNumberFormat=\"1\"";
      if (f.Font) x += " applyFont=\"1\"";
      x += f.Wrap ? " applyAlignment=\"1\"><alignment wrapText=\"1\"/></xf>" : "/>";
    }
    x += "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
         "</styleSheet>";
    return x;
  }

  void WriteResultSheet(const std::vector<int>& widths) {
    const int cols = Cols();
    const int rows = Rows();
    xml_ = kXmlHead;
    xml_ += "<worksheet xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" + std::string(kRel) + "\"><dimension ref=\"" +
            Range(false) + "\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">";
    if (cols > 0)
      xml_ += "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
              "<selection pane=\"bottomLeft\"/>";
    xml_ += "</sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
    std::string colsXml;
    for (int i = 0; i < cols && i < static_cast<int>(widths.size()); ++i) {
      const int px = widths[static_cast<size_t>(i)];
      if (px <= 0) continue;
      // A column's width counts characters of 7 pixels, its padding
      // included; the spreadsheet keeps 1/256 of one.
      colsXml += "<col min=\"" + std::to_string(i + 1) + "\" max=\"" + std::to_string(i + 1) + "\" width=\"";
      AppendNumber(colsXml, std::floor(px * 256.0 / 7.0) / 256.0);
      colsXml += "\" customWidth=\"1\"/>";
    }
    if (!colsXml.empty()) xml_ += "<cols>" + colsXml + "</cols>";
    xml_ += "<sheetData>";

    letters_.clear();
    for (int i = 0; i < cols; ++i) letters_.push_back(ColumnLetters(i));
    if (cols > 0) {
      BeginRow(1);
      for (int i = 0; i < cols; ++i) Text(i, info_.ColName(i), sBold);
      xml_ += "</row>";
    }
    enum class TKind { Text, Number, Date };
    std::vector<TKind> kinds(static_cast<size_t>(cols), TKind::Text);
    for (int i = 0; i < cols; ++i) {
      const int code = info_.ColTypeCode(i);
      kinds[static_cast<size_t>(i)] = code == otNumber ? TKind::Number : code == otDate ? TKind::Date : TKind::Text;
    }
    for (int r = 1; r <= rows; ++r) {
      BeginRow(r + 1);
      for (int c = 1; c <= cols; ++c) {
        const std::string cell = info_.GetCell(c, r);
        if (cell.empty()) continue;
        int decimals = 0;
        TDateTime date = 0;
        switch (kinds[static_cast<size_t>(c - 1)]) {
          case TKind::Number:
            if (IsExactNumber(cell, decimals)) {
              Value(c - 1, sNumber0 + decimals, cell);
              continue;
            }
            break;
          case TKind::Date:
            if (ParseDate(cell, date)) {
              Number(c - 1, sDateTime, date);
              continue;
            }
            break;
          case TKind::Text:
            break;
        }
        Text(c - 1, cell);
      }
      xml_ += "</row>";
      Flush(kFlushBytes);
    }
    xml_ += "</sheetData>";
    if (cols > 0) xml_ += "<autoFilter ref=\"" + Range(false) + "\"/>";
    xml_ += "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
            "</worksheet>";
  }

  void WriteSqlSheet() {
    xml_ = kXmlHead;
    xml_ += "<worksheet xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" + std::string(kRel) +
            "\"><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
            "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData>";
    letters_ = {"A", "B"};
    const struct {
      const char* Label;
      TDateTime Value;
      int Style;
    } times[] = {{"日付", info_.Date(), sDate},
                 {"開始", info_.StartTime(), sTime},
                 {"終了", info_.EndTime(), sTime},
                 {"差", info_.DiffTime(), sTime}};
    int row = 0;
    for (const auto& t : times) {
      BeginRow(++row);
      Text(0, SJ(t.Label), sBold);
      if (t.Value >= 0) Number(1, t.Style, t.Value);
      xml_ += "</row>";
    }
    BeginRow(++row);
    Text(0, SJ("状況"), sBold);
    Text(1, info_.Status());
    xml_ += "</row>";
    for (const auto& [label, count] : {std::pair{"取得行", info_.RowPos()}, {"合計行", info_.RowCount()}}) {
      BeginRow(++row);
      Text(0, SJ(label), sBold);
      Number(1, sNumber0, count);
      xml_ += "</row>";
    }
    BeginRow(row += 2);
    Text(0, SJ("ＳＱＬ文"), sBold);
    xml_ += "</row>";
    for (const std::string& line : info_.Sql) {
      ++row;
      if (line.empty()) continue;
      BeginRow(row);
      Text(0, line);
      xml_ += "</row>";
    }
    xml_ += "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
            "footer=\"0.3\"/></worksheet>";
    Add("xl/worksheets/sheet2.xml", xml_);
    xml_.clear();
  }

  void BeginRow(int row) {
    rowNumber_.clear();
    AppendInt(rowNumber_, row);
    xml_ += "<row r=\"";
    xml_ += rowNumber_;
    xml_ += "\">";
    nextCol_ = 0;
  }

  // <c s="3" t="..."> in the current row. A cell right after the one
  // before it needs no reference; one after a gap (an empty cell) gives it.
  void Open(int col, int style, const char* type = nullptr) {
    xml_ += "<c";
    if (col != nextCol_) {
      xml_ += " r=\"";
      xml_ += letters_[static_cast<size_t>(col)];
      xml_ += rowNumber_;
      xml_ += '"';
    }
    nextCol_ = col + 1;
    if (style != sNone) {
      xml_ += " s=\"";
      AppendInt(xml_, style);
      xml_ += '"';
    }
    if (type) {
      xml_ += " t=\"";
      xml_ += type;
      xml_ += '"';
    }
    xml_ += '>';
  }

  // A number cell whose text is already the stored form.
  void Value(int col, int style, std::string_view number) {
    Open(col, style);
    xml_ += "<v>";
    xml_ += number;
    xml_ += "</v></c>";
  }

  void Number(int col, int style, double value) {
    Open(col, style);
    xml_ += "<v>";
    AppendNumber(xml_, value);
    xml_ += "</v></c>";
  }

  // A cp932 text as a string cell. CR LF becomes the sheet's line break,
  // shown as one by the wrapping format when no other is given.
  void Text(int col, std::string_view sjis, int style = sNone) {
    if (sjis.empty()) return;
    utf8_.clear();
    AppendSjisAsUtf8(utf8_, sjis);
    if (utf8_.find('\r') != std::string::npos) {
      size_t to = 0;
      for (size_t from = 0; from < utf8_.size(); ++from)
        if (!(utf8_[from] == '\r' && from + 1 < utf8_.size() && utf8_[from + 1] == '\n')) utf8_[to++] = utf8_[from];
      utf8_.resize(to);
    }
    if (utf8_.size() > static_cast<size_t>(kXlsxMaxCellChars)) {
      size_t chars = 0;
      for (const char ch : utf8_) chars += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
      if (chars > static_cast<size_t>(kXlsxMaxCellChars))
        throw TXlsxLimitError(SJ("Excel ブックのセルに書込める文字数は 32,767 文字までです。"));
    }
    if (style == sNone && utf8_.find('\n') != std::string::npos) style = sWrap;
    Open(col, style, "inlineStr");
    // The spreadsheet trims the ends of a text unless told not to.
    auto isSpace = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; };
    xml_ += isSpace(utf8_.front()) || isSpace(utf8_.back()) ? "<is><t xml:space=\"preserve\">" : "<is><t>";
    AppendEscaped(utf8_);
    xml_ += "</t></is></c>";
  }

  // The text as XML character data. Control characters, which XML cannot
  // hold, take the spreadsheet's form "_xHHHH_"; a text that holds that form
  // literally has its underscore written as "_x005F_".
  void AppendEscaped(std::string_view t) {
    size_t plain = 0;
    for (size_t i = 0; i < t.size(); ++i) {
      const auto ch = static_cast<unsigned char>(t[i]);
      if (!kSpecial[ch]) continue;
      const char* escape = nullptr;
      char control[8];
      switch (ch) {
        case '&': escape = "&amp;"; break;
        case '<': escape = "&lt;"; break;
        case '>': escape = "&gt;"; break;
        case '_':
          if (i + 6 < t.size() && t[i + 1] == 'x' && IsHex(t[i + 2]) && IsHex(t[i + 3]) && IsHex(t[i + 4]) &&
              IsHex(t[i + 5]) && t[i + 6] == '_')
            escape = "_x005F_";
          break;
        default:
          std::snprintf(control, sizeof control, "_x%04X_", ch);
          escape = control;
          break;
      }
      if (!escape) continue;
      xml_.append(t.data() + plain, i - plain);
      xml_ += escape;
      plain = i + 1;
    }
    xml_.append(t.data() + plain, t.size() - plain);
  }

  static constexpr size_t kFlushBytes = 64 * 1024;

  TSqlInfo& info_;
  const std::string& fileName_;
  TZipWriter* zip_ = nullptr;
  std::string xml_;                    // the part being written, not yet handed on
  std::string utf8_;                   // reused for every text
  std::string rowNumber_;              // the current row's number
  int nextCol_ = 0;                    // the column a cell without reference is in
  std::vector<std::string> letters_;   // the sheet's column letters
};
}  // namespace

bool IsXlsxFile(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  const size_t slash = fileName.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return UpperSjis(fileName.substr(dot)) == ".XLSX";
}

void SaveXlsx(TSqlInfo& info, const std::string& fileName, const std::vector<int>& colWidthPixels) {
  if (info.RowPos() > kXlsxMaxDataRows)
    throw TXlsxLimitError(SJ("Excel ブックに書込める行数は 1,048,575 行までです。"));
  if (info.ColCount() > kXlsxMaxColumns)
    throw TXlsxLimitError(SJ("Excel ブックに書込める列数は 16,384 列までです。"));
  TXlsxWriter(info, fileName).Write(colWidthPixels);
}
