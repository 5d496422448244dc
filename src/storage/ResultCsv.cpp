#include "storage/ResultCsv.h"

#include <array>
#include <climits>

#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/StorageError.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBreak(char c) { return c == '\r' || c == '\n'; }
// Bytes 1-32 other than line ends: dropped around values.
bool IsBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32 && !IsBreak(c);
}

// The bytes that make a value quoted. Double-byte characters need no
// stepping over: a second byte is always 0x40 or more, so it is never taken
// for one of these, and a lead byte before one of them stands alone (damaged
// text cannot hide a line break or a quote from the writer and split the
// record).
constexpr auto kQuoted = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c <= 32; ++c) t[static_cast<size_t>(c)] = true;
  t['"'] = t[','] = true;
  return t;
}();

bool NeedsQuotes(std::string_view v) {
  for (unsigned char c : v)
    if (kQuoted[c]) return true;
  return false;
}

void AppendValue(std::string& out, std::string_view v, bool quote = false) {
  if (!quote && !NeedsQuotes(v)) {
    out.append(v);
    return;
  }
  out += '"';
  for (size_t from = 0;;) {
    const size_t quote = v.find('"', from);
    if (quote == std::string_view::npos) {
      out.append(v.substr(from));
      break;
    }
    out.append(v.substr(from, quote + 1 - from));
    out += '"';
    from = quote + 1;
  }
  out += '"';
}

}  // namespace

void AppendCsvRecord(std::string& out, const TStrings& values, bool quoteFirst) {
  if (values.size() == 1 && values[0].empty()) {
    out += "\"\",";
    return;
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    AppendValue(out, values[i], quoteFirst && i == 0);
  }
  out += ',';
}

std::string& TCsvReader::NewValue() {
  if (count_ == values_.size()) values_.emplace_back();
  std::string& v = values_[count_++];
  v.clear();
  return v;
}

bool TCsvReader::Next() { return Read<true>(); }
bool TCsvReader::Skip() { return Read<false>(); }

namespace {

[[noreturn]] void Damaged(const char* what) {
  throw TDamagedFileError(std::string("CSV file with ") + what);
}

}  // namespace

// Skip checks the bounds as Next does, so a loader that counts the records
// first refuses a damaged file before any column or row exists.
template <bool Store>
bool TCsvReader::Read() {
  count_ = 0;
  const size_t n = data_.size();
  if (pos_ >= n) return false;
  const char* d = data_.data();
  size_t p = pos_;
  size_t lineStart = p;
  auto lineBreak = [&] {
    if (p - lineStart > kMaxFileCellBytes) Damaged("a line longer than 256 MiB");
    p += (d[p] == '\r' && p + 1 < n && d[p + 1] == '\n') ? 2 : 1;
    lineStart = p;
  };
  size_t values = 0;
  while (p < n && IsBlank(d[p])) ++p;
  while (p < n && !IsBreak(d[p])) {
    if (++values > kMaxFileColumns) Damaged("more than 65536 columns");
    std::string* value = nullptr;
    if constexpr (Store) value = &NewValue();
    if (d[p] == '"') {
      ++p;
      bool closed = false;
      size_t length = 0;  // of the value as stored
      while (p < n) {
        // Copy the plain run up to the next quote or line end at once.
        size_t run = p;
        while (run < n && d[run] != '"' && !IsBreak(d[run])) ++run;
        if constexpr (Store) value->append(d + p, run - p);
        length += run - p;
        p = run;
        if (length > kMaxFileCellBytes) Damaged("a value longer than 256 MiB");
        if (p >= n) break;
        if (d[p] == '"') {
          if (p + 1 < n && d[p + 1] == '"') {
            if constexpr (Store) *value += '"';
            ++length;
            p += 2;
            continue;
          }
          ++p;
          closed = true;
          break;
        }
        if constexpr (Store) *value += "\r\n";
        length += 2;
        lineBreak();
      }
      if constexpr (Store) {
        if (!closed) {
          // An unclosed quote runs to the end of the file; as with any record,
          // the final line end is not part of it, and the last byte (normally
          // the record's comma) is dropped. A line break is never cut in
          // half: one that the last byte belongs to stays CR LF.
          const auto endsWithBreak = [&] {
            return value->size() >= 2 && value->compare(value->size() - 2, 2, "\r\n") == 0;
          };
          if (IsBreak(d[n - 1]) && endsWithBreak()) value->resize(value->size() - 2);
          if (!value->empty() && !endsWithBreak()) value->pop_back();
        }
      }
    } else {
      const size_t start = p;
      while (p < n && d[p] != ',' && !IsBreak(d[p])) ++p;
      size_t end = p;
      while (end > start && IsBlank(d[end - 1])) --end;
      if (end - start > kMaxFileCellBytes) Damaged("a value longer than 256 MiB");
      if constexpr (Store) value->assign(d + start, end - start);
    }
    while (p < n && IsBlank(d[p])) ++p;
    if (p < n && d[p] == ',') {
      ++p;
      while (p < n && IsBlank(d[p])) ++p;
    }
  }
  if (p < n) lineBreak();
  else if (p - lineStart > kMaxFileCellBytes) Damaged("a line longer than 256 MiB");
  pos_ = p;
  return true;
}

void SaveCsv(TSqlInfo& info, const std::string& fileName, TCsvEncoding encoding, unsigned mode) {
  // Written in pieces: a million-row result never has its file held whole.
  constexpr size_t kPiece = size_t{1} << 20;
  const bool utf8 = encoding == TCsvEncoding::Utf8;
  TAtomicWriter file(fileName, mode);
  std::string out, record;
  out.reserve(kPiece + (kPiece >> 2));
  if (utf8) out = kUtf8Bom;
  TStrings values(static_cast<size_t>(std::max(info.ColCount(), 0)));
  for (int r = 0; r <= info.RowPos(); ++r) {
    for (int c = 1; c <= info.ColCount(); ++c) values[static_cast<size_t>(c - 1)] = info.GetCell(c, r);
    // Quoting looks at cp932 bytes; the record is converted as a whole.
    std::string& target = utf8 ? record : out;
    if (utf8) record.clear();
    // A Shift_JIS file must not start with the bytes of the UTF-8 mark, or
    // it would be read back as UTF-8: such a first name is quoted.
    const bool markLike = !utf8 && r == 0 && !values.empty() && values[0].compare(0, kUtf8Bom.size(), kUtf8Bom) == 0;
    AppendCsvRecord(target, values, markLike);
    target += "\r\n";
    if (utf8) AppendSjisAsUtf8(out, record);
    if (out.size() >= kPiece) {
      if (!file.Write(out)) break;
      out.clear();
    }
  }
  if (!file.Write(out) || !file.Commit()) throw TFileError(FileCreateMessage(fileName));
}

void LoadCsv(TSqlInfo& info, const std::string& fileName) {
  info.Clear();
  std::string data;
  if (!ReadWholeFile(fileName, data)) throw TFileError(FileOpenMessage(fileName));
  if (data.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) data = Utf8ToSjis(std::string_view(data).substr(kUtf8Bom.size()));
  if (data.empty()) return;

  info.SetStatus("CSV");
  TDateTime modified = 0;
  FileModTime(fileName, modified);
  info.SetDate(modified);
  info.SetStartTime(modified);

  // The row counts are announced before the rows arrive, so count the
  // records first; a value spanning lines is still one row.
  long long records = 0;
  for (TCsvReader counter(data); counter.Skip();) ++records;
  const int dataRows = static_cast<int>(std::min<long long>(records - 1, INT_MAX));
  info.SetRowPos(dataRows);
  info.SetRowCount(dataRows);

  TCsvReader reader(data);
  reader.Next();
  const int cols = static_cast<int>(reader.Count());
  info.SetColCount(cols);
  for (int i = 0; i < cols; ++i) {
    info.SetColName(i, reader.Value(static_cast<size_t>(i)));
    info.SetColTypeCode(i, 0);
    info.SetColLength(i, 1);
  }
  AddCsvRows(info, reader);
}

void AddCsvRows(TSqlInfo& info, TCsvReader& reader) {
  for (int k = 1; reader.Next(); ++k) {
    info.AddRow();
    for (size_t i = 0; i < reader.Count(); ++i) info.SetCell(static_cast<int>(i) + 1, k, reader.Value(i));
    info.AltRow = !info.AltRow;
  }
}
