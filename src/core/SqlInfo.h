#pragma once
// TSqlInfo describes one result: run information, column definitions and the
// SQL text. It keeps no cell texts: GetCell/SetCell are handed to the owner
// through OnGetCell/OnSetCell, so the cells live once, in the owner's store.
// Every setter stores its value and then fires its event (also when the value
// is unchanged); column setters given an index outside 0..ColCount-1 change
// nothing and fire nothing.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTime.h"
#include "core/StrUtil.h"

class TSqlInfo;

using TNotifyEvent = std::function<void(TSqlInfo& sender)>;
using TIndexEvent = std::function<void(TSqlInfo& sender, int index)>;
using TGetCellEvent = std::function<std::string(TSqlInfo& sender, int col, int row)>;
using TSetCellEvent = std::function<void(TSqlInfo& sender, int col, int row, std::string_view text)>;

// Oracle internal datatype codes.
enum TOraType : int {
  otUnknown = 0,
  otVarchar2 = 1,
  otNumber = 2,
  otLong = 8,
  otRowid = 11,
  otDate = 12,
  otRaw = 23,
  otLongRaw = 24,
  otChar = 96,
  otMlslabel = 106,
};

// Alignment codes shared with the result grid.
enum : uint8_t { caNone = 0, caLeft = 1, caRight = 2, caCenter = 3 };

// The type name of a code ("" for a code outside the table).
std::string OraTypeName(int code);

class TSqlInfo {
 public:
  TSqlInfo() = default;
  TSqlInfo(const TSqlInfo&) = delete;
  TSqlInfo& operator=(const TSqlInfo&) = delete;

  // Run information.
  bool AltRow = false;
  uint32_t TickStart = 0;

  TDateTime Date() const { return date_; }
  TDateTime StartTime() const { return startTime_; }
  TDateTime EndTime() const { return endTime_; }
  TDateTime DiffTime() const { return diffTime_; }
  const std::string& Status() const { return status_; }
  int RowMax() const { return rowMax_; }
  int RowPos() const { return rowPos_; }
  int RowCount() const { return rowCount_; }
  int ColCount() const { return colCount_; }

  void SetDate(TDateTime v);
  void SetStartTime(TDateTime v);
  void SetEndTime(TDateTime v);
  void SetDiffTime(TDateTime v);
  void SetStatus(std::string_view v);
  void SetRowMax(int v);
  void SetRowPos(int v);
  void SetRowCount(int v);
  // Resizes every column array to n entries and resets all of them; a
  // negative n (only a damaged file gives one) counts as 0.
  void SetColCount(int n);

  // Columns, by index 0..ColCount-1.
  std::string ColName(int i) const;
  int ColLength(int i) const;
  uint8_t ColAlign(int i) const;
  std::string ColType(int i) const;
  int ColTypeCode(int i) const;
  int ColSize(int i) const;
  int ColPrecision(int i) const;
  int ColScale(int i) const;

  void SetColName(int i, std::string_view v);
  void SetColLength(int i, int v);
  void SetColAlign(int i, uint8_t v);
  void SetColSize(int i, int v);
  void SetColPrecision(int i, int v);
  void SetColScale(int i, int v);
  void SetColType(int i, std::string_view name);
  void SetColTypeCode(int i, int code);
  void DefineColumn(int i, int typeCode, int size, int precision, int scale);

  // Cells live with the owner.
  std::string GetCell(int col, int row);
  void SetCell(int col, int row, std::string_view text);
  void AddRow();

  // SQL text; read directly.
  TStrings Sql;
  void SetSql(const TStrings* lines);

  void Clear();
  void CopyTo(TSqlInfo& dest) const;
  void BeginTiming();
  void UpdateTiming();
  void EndTiming();

  // Events, assigned once by the owner.
  TNotifyEvent OnDate, OnStartTime, OnEndTime, OnDiffTime, OnStatus;
  TNotifyEvent OnRowMax, OnRowPos, OnRowCount, OnColCount;
  TIndexEvent OnColName, OnColLength, OnColAlign;
  TGetCellEvent OnGetCell;
  TSetCellEvent OnSetCell;

 private:
  struct TColumn {
    std::string Name, Type;
    int Length = 0, TypeCode = 0, Size = 0, Precision = 0, Scale = 0;
    uint8_t Align = 0;
  };

  bool InRange(int i) const { return i >= 0 && i < colCount_; }
  void Fire(const TNotifyEvent& e) {
    if (e) e(*this);
  }
  void Fire(const TIndexEvent& e, int i) {
    if (e) e(*this, i);
  }

  TDateTime date_ = 0, startTime_ = 0, endTime_ = 0, diffTime_ = 0;
  std::string status_;
  int rowMax_ = 0, rowPos_ = 0, rowCount_ = 0, colCount_ = 0;
  std::vector<TColumn> cols_;
};
