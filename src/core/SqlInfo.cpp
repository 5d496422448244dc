#include "core/SqlInfo.h"

#include "core/Sjis.h"

namespace {

struct TTypeRow {
  int Code;
  const char* Name;  // UTF-8; converted once
  uint8_t Align;
  // Whether ColLength, ColSize, ColPrecision, ColScale take the argument
  // (length: 'S' size, 'P' precision, 0 zero).
  char Length;
  bool Size, Precision, Scale;
};

const TTypeRow kTypes[] = {
    {1, "VARCHAR2", caLeft, 'S', true, false, false},
    {2, "NUMBER", caRight, 'P', true, true, true},
    {8, "LONG", caCenter, 0, false, false, false},
    {11, "ROWID", caCenter, 0, false, false, false},
    {12, "DATE", caRight, 'S', true, false, false},
    {23, "RAW", caCenter, 0, false, false, false},
    {24, "LONGRAW", caCenter, 0, false, false, false},
    {96, "CHAR", caLeft, 'S', true, false, false},
    {106, "MLSLABEL", caLeft, 0, false, false, false},
    {0, "不明", caLeft, 0, false, false, false},
};

const TTypeRow* FindCode(int code) {
  for (const auto& row : kTypes)
    if (row.Code == code) return &row;
  return nullptr;
}

const std::string& NameOf(const TTypeRow& row) {
  // The names in cp932, made once.
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const auto& r : kTypes) v.push_back(Utf8ToSjis(r.Name));
    return v;
  }();
  return names[static_cast<size_t>(&row - kTypes)];
}

}  // namespace

std::string OraTypeName(int code) {
  const TTypeRow* row = FindCode(code);
  return row ? NameOf(*row) : std::string();
}

void TSqlInfo::SetDate(TDateTime v) { date_ = v; Fire(OnDate); }
void TSqlInfo::SetStartTime(TDateTime v) { startTime_ = v; Fire(OnStartTime); }
void TSqlInfo::SetEndTime(TDateTime v) { endTime_ = v; Fire(OnEndTime); }
void TSqlInfo::SetDiffTime(TDateTime v) { diffTime_ = v; Fire(OnDiffTime); }
void TSqlInfo::SetStatus(std::string_view v) { status_ = v; Fire(OnStatus); }
void TSqlInfo::SetRowMax(int v) { rowMax_ = v; Fire(OnRowMax); }
void TSqlInfo::SetRowPos(int v) { rowPos_ = v; Fire(OnRowPos); }
void TSqlInfo::SetRowCount(int v) { rowCount_ = v; Fire(OnRowCount); }

void TSqlInfo::SetColCount(int n) {
  if (n < 0) n = 0;
  colCount_ = n;
  cols_.assign(static_cast<size_t>(n), TColumn{});
  Fire(OnColCount);
}

std::string TSqlInfo::ColName(int i) const { return InRange(i) ? cols_[i].Name : std::string(); }
int TSqlInfo::ColLength(int i) const { return InRange(i) ? cols_[i].Length : 0; }
uint8_t TSqlInfo::ColAlign(int i) const { return InRange(i) ? cols_[i].Align : 0; }
std::string TSqlInfo::ColType(int i) const { return InRange(i) ? cols_[i].Type : std::string(); }
int TSqlInfo::ColTypeCode(int i) const { return InRange(i) ? cols_[i].TypeCode : 0; }
int TSqlInfo::ColSize(int i) const { return InRange(i) ? cols_[i].Size : 0; }
int TSqlInfo::ColPrecision(int i) const { return InRange(i) ? cols_[i].Precision : 0; }
int TSqlInfo::ColScale(int i) const { return InRange(i) ? cols_[i].Scale : 0; }

void TSqlInfo::SetColName(int i, std::string_view v) {
  if (!InRange(i)) return;
  cols_[i].Name = v;
  Fire(OnColName, i);
}

void TSqlInfo::SetColLength(int i, int v) {
  if (!InRange(i)) return;
  cols_[i].Length = v;
  Fire(OnColLength, i);
}

void TSqlInfo::SetColAlign(int i, uint8_t v) {
  if (!InRange(i)) return;
  cols_[i].Align = v;
  Fire(OnColAlign, i);
}

void TSqlInfo::SetColSize(int i, int v) {
  if (InRange(i)) cols_[i].Size = v;
}
void TSqlInfo::SetColPrecision(int i, int v) {
  if (InRange(i)) cols_[i].Precision = v;
}
void TSqlInfo::SetColScale(int i, int v) {
  if (InRange(i)) cols_[i].Scale = v;
}

void TSqlInfo::SetColType(int i, std::string_view name) {
  if (!InRange(i)) return;
  cols_[i].Type = name;
  cols_[i].TypeCode = 0;
  for (const auto& row : kTypes) {
    if (row.Code != 0 && NameOf(row) == name) {
      cols_[i].TypeCode = row.Code;
      break;
    }
  }
}

void TSqlInfo::SetColTypeCode(int i, int code) {
  if (!InRange(i)) return;
  cols_[i].TypeCode = code;
  cols_[i].Type = OraTypeName(code);
}

void TSqlInfo::DefineColumn(int i, int typeCode, int size, int precision, int scale) {
  if (!InRange(i)) return;
  const TTypeRow* row = FindCode(typeCode);
  if (!row) row = FindCode(0);
  cols_[i].TypeCode = row->Code;
  cols_[i].Type = NameOf(*row);
  SetColSize(i, row->Size ? size : 0);
  SetColPrecision(i, row->Precision ? precision : 0);
  SetColScale(i, row->Scale ? scale : 0);
  SetColLength(i, row->Length == 'S' ? size : row->Length == 'P' ? precision : 0);
  SetColAlign(i, row->Align);
}

std::string TSqlInfo::GetCell(int col, int row) {
  return OnGetCell ? OnGetCell(*this, col, row) : std::string();
}

void TSqlInfo::SetCell(int col, int row, std::string_view text) {
  if (OnSetCell) OnSetCell(*this, col, row, text);
}

void TSqlInfo::AddRow() { SetRowMax(rowMax_ + 1); }

void TSqlInfo::SetSql(const TStrings* lines) {
  if (lines) Sql = *lines;
}

void TSqlInfo::Clear() {
  SetRowMax(0);
  SetRowPos(0);
  SetRowCount(0);
  SetColCount(0);
  SetStatus("");
  AltRow = false;
  SetDate(Now());
  SetStartTime(0);
  SetEndTime(0);
  SetDiffTime(0);
  Sql.clear();
}

void TSqlInfo::CopyTo(TSqlInfo& dest) const {
  dest.SetStatus(status_);
  dest.SetRowMax(rowMax_);
  dest.SetRowPos(rowPos_);
  dest.SetRowCount(rowCount_);
  dest.SetColCount(colCount_);
  dest.AltRow = AltRow;
  dest.SetDate(date_);
  dest.SetStartTime(startTime_);
  dest.SetEndTime(endTime_);
  dest.SetDiffTime(diffTime_);
  for (int i = 0; i < colCount_; ++i) {
    dest.SetColName(i, cols_[i].Name);
    dest.SetColLength(i, cols_[i].Length);
    dest.SetColAlign(i, cols_[i].Align);
    dest.SetColType(i, cols_[i].Type);
    dest.SetColTypeCode(i, cols_[i].TypeCode);
    dest.SetColSize(i, cols_[i].Size);
    dest.SetColPrecision(i, cols_[i].Precision);
    dest.SetColScale(i, cols_[i].Scale);
  }
  dest.SetSql(&Sql);
}

void TSqlInfo::BeginTiming() {
  SetDate(Now());
  SetStartTime(Now());
  SetEndTime(0);
  SetDiffTime(0);
  SetRowMax(0);
  TickStart = GetTick();
}

void TSqlInfo::UpdateTiming() {
  uint32_t elapsed = GetTick() - TickStart;  // modulo 2^32
  SetDiffTime(MsToTime(elapsed));
}

void TSqlInfo::EndTiming() {
  SetEndTime(Now());
  // + 999 so that "hh:mm:ss" shows the elapsed seconds rounded up.
  uint64_t elapsed = static_cast<uint64_t>(GetTick() - TickStart) + 999;
  SetDiffTime(MsToTime(elapsed));
}
