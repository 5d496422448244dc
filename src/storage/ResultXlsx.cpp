#include "storage/ResultXlsx.h"

#include <xlsxwriter.h>

#include <array>
#include <charconv>
#include <memory>
#include <string_view>

#include "core/DateTime.h"
#include "core/Sjis.h"
#include "core/StrUtil.h"
#include "storage/AtomicFile.h"

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
// optional fraction. decimals: the digits after the point.
bool ParseNumber(std::string_view t, double& value, int& decimals) {
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
  if (significant > kMaxDigits || (negative && !started)) return false;
  return std::from_chars(t.data(), t.data() + n, value).ec == std::errc();
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

// A sheet reads "_xHHHH_" as the character HHHH (the form control
// characters are written in), so a text that holds one literally has its
// underscore written as "_x005F_".
void EscapeUnderscores(std::string& utf8) {
  auto isHex = [](char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const std::string_view rest = std::string_view(utf8).substr(i);
    if (rest.size() >= 7 && rest[0] == '_' && rest[1] == 'x' && isHex(rest[2]) && isHex(rest[3]) && isHex(rest[4]) &&
        isHex(rest[5]) && rest[6] == '_')
      out += "_x005F";
    out += utf8[i];
  }
  utf8 = std::move(out);
}

struct TWorkbookFree {
  void operator()(lxw_workbook* wb) const { lxw_workbook_free(wb); }
};

class TXlsxWriter {
 public:
  TXlsxWriter(TSqlInfo& info, const std::string& fileName) : info_(info), fileName_(fileName) {}

  void Write(const std::vector<int>& widths) {
    TAtomicWriter file(fileName_);
    if (file.TempPath().empty()) Fail();
    // The library's own row files go beside the target: not into a /tmp
    // that may live in memory.
    const size_t slash = file.TempPath().rfind('/');
    std::string tmpdir = slash == std::string::npos ? "." : file.TempPath().substr(0, slash + 1);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    book_.reset(workbook_new_opt(file.TempPath().c_str(), &options));
    if (!book_) Fail();
    CreateFormats();
    WriteResultSheet(widths);
    WriteSqlSheet();
    // Closing writes the package and frees the workbook, whatever happens.
    const lxw_error closed = workbook_close(book_.release());
    if (closed != LXW_NO_ERROR || !file.Commit()) Fail();
  }

 private:
  [[noreturn]] void Fail() const { throw TFileError(FileCreateMessage(fileName_)); }

  void Check(lxw_error e) const {
    if (e == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
      throw TXlsxLimitError(SJ("Excel ブックのセルに書込める文字数は 32,767 文字までです。"));
    if (e != LXW_NO_ERROR) Fail();
  }

  lxw_format* Format(const char* numFormat, bool bold = false) {
    lxw_format* f = workbook_add_format(book_.get());
    if (!f) Fail();
    if (numFormat) format_set_num_format(f, numFormat);
    if (bold) format_set_bold(f);
    return f;
  }

  void CreateFormats() {
    bold_ = Format(nullptr, true);
    dateTime_ = Format("yyyy/mm/dd hh:mm:ss");
    date_ = Format("yyyy/mm/dd");
    time_ = Format("hh:mm:ss");
    wrap_ = Format(nullptr);
    format_set_text_wrap(wrap_);
    std::string pattern = "0";
    for (int d = 0; d <= kMaxDigits; ++d) {
      numbers_[static_cast<size_t>(d)] = Format(pattern.c_str());
      pattern += d == 0 ? ".0" : "0";
    }
  }

  lxw_worksheet* Sheet(const std::string& utf8Name) {
    lxw_worksheet* sheet = workbook_add_worksheet(book_.get(), utf8Name.c_str());
    if (!sheet) Fail();
    return sheet;
  }

  void WriteResultSheet(const std::vector<int>& widths) {
    lxw_worksheet* sheet = Sheet("実行結果");
    const int cols = info_.ColCount();
    const int rows = std::max(info_.RowPos(), 0);
    for (int i = 0; i < cols && i < static_cast<int>(widths.size()); ++i)
      if (widths[static_cast<size_t>(i)] > 0)
        Check(worksheet_set_column_pixels(sheet, static_cast<lxw_col_t>(i), static_cast<lxw_col_t>(i),
                                          static_cast<uint32_t>(widths[static_cast<size_t>(i)]), nullptr));
    if (cols > 0) {
      worksheet_freeze_panes(sheet, 1, 0);
      Check(worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(rows), static_cast<lxw_col_t>(cols - 1)));
    }
    for (int i = 0; i < cols; ++i) WriteText(sheet, 0, i, info_.ColName(i), bold_);

    enum class TKind { Text, Number, Date };
    std::vector<TKind> kinds(static_cast<size_t>(cols), TKind::Text);
    for (int i = 0; i < cols; ++i) {
      const int code = info_.ColTypeCode(i);
      kinds[static_cast<size_t>(i)] = code == otNumber ? TKind::Number : code == otDate ? TKind::Date : TKind::Text;
    }
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) {
        const std::string cell = info_.GetCell(c, r);
        if (cell.empty()) continue;
        const auto row = static_cast<lxw_row_t>(r);
        const auto col = static_cast<lxw_col_t>(c - 1);
        double number = 0;
        int decimals = 0;
        switch (kinds[static_cast<size_t>(c - 1)]) {
          case TKind::Number:
            if (ParseNumber(cell, number, decimals)) {
              Check(worksheet_write_number(sheet, row, col, number, numbers_[static_cast<size_t>(decimals)]));
              continue;
            }
            break;
          case TKind::Date:
            if (ParseDate(cell, number)) {
              Check(worksheet_write_number(sheet, row, col, number, dateTime_));
              continue;
            }
            break;
          case TKind::Text:
            break;
        }
        WriteText(sheet, r, c - 1, cell);
      }
    }
  }

  void WriteSqlSheet() {
    lxw_worksheet* sheet = Sheet("SQL");
    const struct {
      const char* Label;
      TDateTime Value;
      lxw_format* Format;
    } times[] = {{"日付", info_.Date(), date_},
                 {"開始", info_.StartTime(), time_},
                 {"終了", info_.EndTime(), time_},
                 {"差", info_.DiffTime(), time_}};
    int row = 0;
    for (const auto& t : times) {
      WriteText(sheet, row, 0, SJ(t.Label), bold_);
      if (t.Value >= 0) Check(worksheet_write_number(sheet, static_cast<lxw_row_t>(row), 1, t.Value, t.Format));
      ++row;
    }
    WriteText(sheet, row, 0, SJ("状況"), bold_);
    WriteText(sheet, row++, 1, info_.Status());
    for (const auto& [label, count] : {std::pair{"取得行", info_.RowPos()}, {"合計行", info_.RowCount()}}) {
      WriteText(sheet, row, 0, SJ(label), bold_);
      Check(worksheet_write_number(sheet, static_cast<lxw_row_t>(row++), 1, count, numbers_[0]));
    }
    WriteText(sheet, ++row, 0, SJ("ＳＱＬ文"), bold_);
    for (const std::string& line : info_.Sql) WriteText(sheet, ++row, 0, line);
  }

  // A cp932 text as a string cell; CR LF becomes the sheet's line break,
  // shown as one by a wrapping format.
  void WriteText(lxw_worksheet* sheet, int row, int col, std::string_view sjis, lxw_format* format = nullptr) {
    if (sjis.empty()) return;
    utf8_.clear();
    AppendSjisAsUtf8(utf8_, sjis);
    if (utf8_.find('\r') != std::string::npos) {
      size_t to = 0;
      for (size_t from = 0; from < utf8_.size(); ++from)
        if (!(utf8_[from] == '\r' && from + 1 < utf8_.size() && utf8_[from + 1] == '\n')) utf8_[to++] = utf8_[from];
      utf8_.resize(to);
    }
    if (utf8_.find("_x") != std::string::npos) EscapeUnderscores(utf8_);
    if (!format && utf8_.find('\n') != std::string::npos) format = wrap_;
    Check(worksheet_write_string(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col), utf8_.c_str(),
                                 format));
  }

  TSqlInfo& info_;
  const std::string& fileName_;
  std::unique_ptr<lxw_workbook, TWorkbookFree> book_;
  lxw_format *bold_ = nullptr, *dateTime_ = nullptr, *date_ = nullptr, *time_ = nullptr, *wrap_ = nullptr;
  std::array<lxw_format*, kMaxDigits + 1> numbers_{};
  std::string utf8_;  // reused for every text
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
