#include "support/FakeSession.h"

namespace {

struct TFakeErrors {
  int Err = 0;
  std::string Text;
  [[noreturn]] void Raise(const TFakeError& e) {
    Err = e.ServerErr;
    Text = e.Text;
    throw TSessionError(e.ServerErr, e.Text);
  }
};

class TFakeField final : public TField {
 public:
  TFakeField(std::shared_ptr<TFakeScript> s, int index, const size_t& row)
      : s_(std::move(s)), index_(index), row_(row) {}
  std::string Name() override { return Col().Name; }
  int OraMaxSize() override { return Col().Size; }
  int OraPrecision() override { return Col().Precision; }
  int OraScale() override { return Col().Scale; }
  int OraIDataType() override { return Col().Type; }
  TFieldValue Value() override {
    ++s_->ValueReads;
    const TFakeCell& c = s_->Rows.at(row_).at(static_cast<size_t>(index_));
    return {c.Kind, c.Text, c.Date};
  }

 private:
  const TFakeColumn& Col() { return s_->Columns.at(static_cast<size_t>(index_)); }
  std::shared_ptr<TFakeScript> s_;
  int index_;
  const size_t& row_;
};

class TFakeDynaset final : public TDynaset {
 public:
  TFakeDynaset(std::shared_ptr<TFakeScript> s, std::shared_ptr<TFakeErrors> errors)
      : s_(std::move(s)), errors_(std::move(errors)) {
    for (size_t i = 0; i < s_->Columns.size(); ++i)
      fields_.push_back(std::make_unique<TFakeField>(s_, static_cast<int>(i), row_));
  }
  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override {
    return s_->RecordCount >= 0 ? s_->RecordCount : static_cast<int>(s_->Rows.size());
  }
  TField& Field(int index) override { return *fields_.at(static_cast<size_t>(index)); }
  bool Eof() override { return row_ >= s_->Rows.size(); }
  void MoveNext() override {
    if (static_cast<int>(row_ + 1) == s_->FailMoveNextTo) errors_->Raise(s_->Fetch);
    ++row_;
  }

 private:
  std::shared_ptr<TFakeScript> s_;
  std::shared_ptr<TFakeErrors> errors_;
  size_t row_ = 0;
  std::vector<std::unique_ptr<TFakeField>> fields_;
};

class TFakeDatabase final : public TDatabase {
 public:
  explicit TFakeDatabase(std::shared_ptr<TFakeScript> s) : s_(std::move(s)) {}
  int ExecuteSql(const std::string& sql) override {
    s_->Statements.push_back(sql);
    if (s_->Exec.Fail) errors_->Raise(s_->Exec);
    return s_->ExecRows;
  }
  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sql, int) override {
    s_->Statements.push_back(sql);
    if (s_->Query.Fail) errors_->Raise(s_->Query);
    return std::make_unique<TFakeDynaset>(s_, errors_);
  }
  int LastServerErr() override { return errors_->Err; }
  std::string LastServerErrText() override { return errors_->Text; }

 private:
  std::shared_ptr<TFakeScript> s_;
  std::shared_ptr<TFakeErrors> errors_ = std::make_shared<TFakeErrors>();
};

class TFakeSession final : public TSession {
 public:
  explicit TFakeSession(std::shared_ptr<TFakeScript> s) : s_(std::move(s)) {}
  std::unique_ptr<TDatabase> OpenDatabase(const std::string& host, const std::string& connect, int) override {
    s_->LastHost = host;
    s_->LastConnect = connect;
    if (s_->Logon.Fail) errors_.Raise(s_->Logon);
    return std::make_unique<TFakeDatabase>(s_);
  }
  int LastServerErr() override { return errors_.Err; }
  std::string LastServerErrText() override { return errors_.Text; }

 private:
  std::shared_ptr<TFakeScript> s_;
  TFakeErrors errors_;
};

}  // namespace

std::unique_ptr<TSession> MakeFakeSession(std::shared_ptr<TFakeScript> script) {
  return std::make_unique<TFakeSession>(std::move(script));
}
