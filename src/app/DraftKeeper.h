#pragma once
// TDraftKeeper keeps the edit area's text, and the SQL file it belongs to,
// in a draft file next to the program's other files, a few seconds behind
// the typing: after a crash or a kill the next connect offers it back. The
// draft is an SQL file whose first line names the file the text belongs to
// ("-- " then the encoding's digit and the path), so it reads back whole in
// Shift_JIS or, when the text needs it, UTF-8. It is written atomically,
// readable by its owner only, and only when something changed; an empty
// edit area has none. A normal end of the program removes it.
//
// A draft an earlier process left behind is never overwritten before the
// user has been asked about it.

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>

#include "storage/SqlFile.h"

class TApp;

class TDraftKeeper : public QObject {
  Q_OBJECT

 public:
  // Reads what an earlier process left in the draft file.
  explicit TDraftKeeper(TApp& app);
  ~TDraftKeeper() override;

  // At connect, once the edit area has been emptied: asks whether to put an
  // earlier process's text back. Yes restores it, no discards the draft.
  void OfferLeftover();
  // Writes the draft now if the text or its file changed (the timer's work).
  void SaveNow();
  // The program ends normally: this process's draft goes. A leftover that
  // was never offered stays for the next start.
  void Finish();

  static constexpr int kIntervalMs = 2000;

 private:
  struct TDraft {
    std::string Utf8Text;
    QString NativePath;  // empty: the text belongs to no file
    TSqlEncoding Encoding = TSqlEncoding::Sjis;
  };
  static std::optional<TDraft> Parse(const std::string& utf8);
  std::string Bytes(const TDraft& draft) const;
  void Remove();

  TApp& app_;
  std::string path_;
  QTimer timer_;
  std::optional<TDraft> leftover_;
  // The file on disk is this process's to replace and remove.
  bool owned_ = false;
  // What we last wrote there, and the edit's state it was made from.
  std::string written_;
  int revision_ = -1;
  QString writtenPath_;
  bool finished_ = false;
};
