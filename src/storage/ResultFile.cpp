#include "storage/ResultFile.h"

#include <exception>

#include "core/DateTime.h"
#include "core/StrUtil.h"
#include "storage/AtomicFile.h"
#include "storage/ResultCsv.h"
#include "storage/ResultXml.h"
#include "storage/StorageError.h"

namespace {

enum class TFormat { None, Csv, Xml };

TFormat FormatOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  const size_t slash = fileName.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return TFormat::None;
  const std::string ext = UpperSjis(fileName.substr(dot));
  if (ext == ".CSV") return TFormat::Csv;
  if (ext == ".XML") return TFormat::Xml;
  return TFormat::None;
}

}  // namespace

bool OpenResultFile(TSqlInfo& info, const std::string& fileName) {
  const TFormat format = FormatOf(fileName);
  if (format == TFormat::None) return false;
  try {
    if (format == TFormat::Csv) LoadCsv(info, fileName);
    else LoadXml(info, fileName);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool SaveResultFile(TSqlInfo& info, const std::string& fileName, TCsvEncoding csvEncoding) {
  const TFormat format = FormatOf(fileName);
  if (format == TFormat::None) return false;
  try {
    if (format == TFormat::Csv) SaveCsv(info, fileName, csvEncoding);
    else SaveXml(info, fileName);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

std::string RunFile(const TSqlInfo& info, const std::string& logDir) {
  return logDir + FormatYmd(info.Date()) + "_" + FormatHms(info.StartTime()) + ".csv";
}

bool SaveHistoryCsv(TSqlInfo& info, const std::string& logDir) {
  try {
    SaveCsv(info, RunFile(info, logDir), TCsvEncoding::Sjis, kPrivateFileMode);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool LoadHistoryCsv(TSqlInfo& info, const std::string& logDir) {
  std::string data;
  if (!ReadWholeFile(RunFile(info, logDir), data) || data.empty()) return false;
  try {
    // A damaged file is refused whole, before its first row arrives.
    for (TCsvReader check(data); check.Skip();) {
    }
  } catch (const TStorageError&) {
    return false;
  }
  TCsvReader reader(data);
  reader.Skip();  // the column names: the columns come from the history index
  AddCsvRows(info, reader);
  return true;
}
