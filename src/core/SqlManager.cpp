#include "core/SqlManager.h"

#include "core/Sjis.h"

TSqlManager::TSqlManager(TSessionFactory factory) : factory_(std::move(factory)) {}

TSqlManager::~TSqlManager() {
  // Row source before the database it reads from.
  fields_.clear();
  dynaset_.reset();
  database_.reset();
  session_.reset();
}

void TSqlManager::ResetError() {
  ErrCode = 0;
  ErrText.clear();
}

template <class Source>
void TSqlManager::Capture(Source* source) {
  int err = 0;
  std::string text;
  if (source) {
    try {
      err = source->LastServerErr();
      if (err != 0) text = source->LastServerErrText();
    } catch (...) {
      err = 0;
    }
  }
  if (err == 0) {
    ErrCode = -1;
    ErrText = SJ("その他エラー");
  } else {
    ErrCode = err;
    ErrText = text;
  }
}

bool TSqlManager::CreateSession() {
  fields_.clear();
  dynaset_.reset();
  database_.reset();
  session_.reset();
  ResetError();
  try {
    session_ = factory_ ? factory_() : nullptr;
  } catch (...) {
    session_.reset();
  }
  return session_ != nullptr;
}

bool TSqlManager::Logon(const std::string& user, const std::string& password, const std::string& host) {
  ResetError();
  try {
    if (!session_) throw TSessionError(0, {});
    session_->SetBusyHandler(WhileBusy);
    database_ = session_->OpenDatabase(host, user + "/" + password, 0);
    if (!database_) throw TSessionError(0, {});
    if (!autoCommit_) database_->SetAutoCommit(false);
    return true;
  } catch (...) {
    Capture(session_.get());
    return false;
  }
}

bool TSqlManager::ExecSql(const std::string& statement) {
  ResetError();
  try {
    SqlInfo->Clear();
    SqlInfo->BeginTiming();
    if (!database_) throw TSessionError(0, {});
    database_->SetBusyHandler(WhileBusy);
    const int rows = database_->ExecuteSql(statement);
    // A stopped statement was undone: it processed no rows.
    if (!database_->Stopped()) SqlInfo->SetRowCount(rows);
    return true;
  } catch (...) {
    Capture(database_.get());
    return false;
  }
}

bool TSqlManager::OpenQuery(const std::string& statement) {
  ResetError();
  try {
    SqlInfo->Clear();
    SqlInfo->BeginTiming();
    if (!database_) throw TSessionError(0, {});
    database_->SetRowsWanted(MaxRow());
    database_->SetBusyHandler(WhileBusy);
    std::unique_ptr<TDynaset> dynaset = database_->CreateDynaset(statement, 0);
    if (!dynaset) throw TSessionError(0, {});
    fields_.clear();
    dynaset_ = std::move(dynaset);
    SqlInfo->SetColCount(dynaset_->FieldCount());
    SqlInfo->SetRowCount(dynaset_->RecordCount());
    fields_.resize(static_cast<size_t>(SqlInfo->ColCount()));
    for (int i = 0; i < SqlInfo->ColCount(); ++i) {
      TField& field = dynaset_->Field(i);
      fields_[static_cast<size_t>(i)] = &field;
      SqlInfo->SetColName(i, field.Name());
      SqlInfo->DefineColumn(i, field.OraIDataType(), field.OraMaxSize(), field.OraPrecision(), field.OraScale());
    }
    return true;
  } catch (...) {
    Capture(database_.get());
    return false;
  }
}

bool TSqlManager::SetAutoCommit(bool on) {
  ResetError();
  try {
    if (database_) database_->SetAutoCommit(on);
    autoCommit_ = on;
    return true;
  } catch (...) {
    Capture(database_.get());
    return false;
  }
}

bool TSqlManager::InTransaction() {
  try {
    return database_ && database_->InTransaction();
  } catch (...) {
    return false;
  }
}

bool TSqlManager::EndTransaction(bool commit) {
  ResetError();
  try {
    CloseQuery();
    SqlInfo->Clear();
    SqlInfo->BeginTiming();
    if (!database_) throw TSessionError(0, {});
    database_->SetBusyHandler(WhileBusy);
    if (commit)
      database_->Commit();
    else
      database_->Rollback();
    return true;
  } catch (...) {
    Capture(database_.get());
    return false;
  }
}

bool TSqlManager::Stopped() const { return database_ && database_->Stopped(); }

std::string TSqlManager::StopNote() const { return database_ ? database_->StopNote() : std::string(); }

void TSqlManager::CloseQuery() {
  fields_.clear();
  dynaset_.reset();
}

bool TSqlManager::FetchRow() {
  ResetError();
  static const std::string kUnsupported = SJ("未対応の型");
  try {
    bool result = true;
    if (dynaset_ && !dynaset_->Eof() && SqlInfo->RowPos() < MaxRow()) {
      SqlInfo->AddRow();
      SqlInfo->SetRowPos(SqlInfo->RowPos() + 1);
      const int row = SqlInfo->RowMax();
      for (int i = 0; i < SqlInfo->ColCount(); ++i) {
        TField* field = i < static_cast<int>(fields_.size()) ? fields_[static_cast<size_t>(i)] : nullptr;
        if (!field) throw TSessionError(0, {});
        switch (field->OraIDataType()) {
          case otVarchar2:
          case otNumber:
          case otChar:
          case otDate: {
            // Dates come as date-times, or as text where a backend could not
            // read one; everything else as text.
            const TFieldValue v = field->Value();
            if (v.Kind == TValueKind::DateTime) {
              dateText_.clear();
              AppendDateTime(dateText_, v.Date);
              SqlInfo->SetCell(i + 1, row, dateText_);
            } else {
              SqlInfo->SetCell(i + 1, row, v.Text);
            }
            break;
          }
          default:
            SqlInfo->SetCell(i + 1, row, kUnsupported);
            break;
        }
      }
      SqlInfo->AltRow = !SqlInfo->AltRow;
      dynaset_->MoveNext();
    } else {
      result = false;
    }
    SqlInfo->UpdateTiming();
    return result;
  } catch (...) {
    Capture(database_.get());
    return false;
  }
}
