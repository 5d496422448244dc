#include "app/SqlCompleter.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QListView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/RunCommands.h"
#include "views/QtText.h"
#include "core/Session.h"
#include "core/StrUtil.h"
#include "core/sessions/ServerTypes.h"

// The names the popup shows; they point into the completer's lists.
class TCandidateModel final : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void Set(std::vector<const TCandidate*> names) {
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
  }
  const TCandidate* At(int row) const {
    return row >= 0 && static_cast<size_t>(row) < names_.size() ? names_[static_cast<size_t>(row)] : nullptr;
  }
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const TCandidate* c = At(index.row());
    if (!c) return {};
    if (role == Qt::DisplayRole) return ToQ(c->Text);
    if (role == Qt::ToolTipRole) {
      switch (c->Kind) {
        case TCandidateKind::Keyword: return U("キーワード");
        case TCandidateKind::Table: return U("テーブル");
        case TCandidateKind::View: return U("ビュー");
        case TCandidateKind::Column: return U("列");
      }
    }
    return {};
  }

 private:
  std::vector<const TCandidate*> names_;
};

namespace {

constexpr int kVisibleRows = 10;

// A reading that met a lost connection (the server restarted) had the
// backend open a new session in its place without the session's settings.
// A run would have said so; the next statement of the user's will not, so
// the reading says it, as the run does.
void ReportLostConnection(TApp& app, const TSessionError& e) {
  // A reading given up for the window's close says nothing.
  if (app.Main().IsClosed() || app.Main().ClosePending()) return;
  if (e.ServerErr >= FoldSqlState("08000") && e.ServerErr < FoldSqlState("09000"))
    app.Action().ReportError(ToQ(e.Text));
}

// A flag up for one scope, whatever leaves it.
class TRaised {
 public:
  explicit TRaised(bool& flag) : flag_(flag) { flag_ = true; }
  ~TRaised() { flag_ = false; }
  TRaised(const TRaised&) = delete;
  TRaised& operator=(const TRaised&) = delete;

 private:
  bool& flag_;
};

bool IsListKey(int key) {
  return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
}
bool IsTakeKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab; }

}  // namespace

TSqlCompleter::TSqlCompleter(TApp& app, QPlainTextEdit& edit)
    : QObject(&edit), app_(app), edit_(edit), popup_(new QListView(&edit)), model_(new TCandidateModel(this)),
      delay_(new QTimer(this)) {
  setObjectName(QStringLiteral("SqlCompleter"));
  // A window of its own that never takes the focus: the edit keeps every
  // key and the input method stays with it.
  popup_->setObjectName(QStringLiteral("lstCompletion"));
  popup_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
  popup_->setAttribute(Qt::WA_ShowWithoutActivating);
  popup_->setFocusPolicy(Qt::NoFocus);
  popup_->setUniformItemSizes(true);
  popup_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  popup_->setSelectionMode(QAbstractItemView::SingleSelection);
  popup_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  popup_->setFont(edit.font());
  popup_->setModel(model_);
  connect(popup_, &QListView::clicked, this, [this] { Take(); });

  delay_->setSingleShot(true);
  connect(delay_, &QTimer::timeout, this, [this] { Complete(true); });
  connect(&edit_, &QPlainTextEdit::cursorPositionChanged, this, [this] { Refresh(); });
  connect(&edit_, &QPlainTextEdit::textChanged, this, [this] { Refresh(); });
  // The popup stays under the caret as the text scrolls.
  for (QScrollBar* bar : {edit_.horizontalScrollBar(), edit_.verticalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      if (popup_->isVisible()) Place();
    });

  for (const std::string& w : SqlKeywords()) words_.Add(w, w, TCandidateKind::Keyword);
  words_.Sort();
  // Ahead of the main window's key preview, which would swallow
  // Ctrl+Space as a key typed with a modifier.
  qApp->installEventFilter(this);
}

TSqlCompleter::~TSqlCompleter() { qApp->removeEventFilter(this); }

bool TSqlCompleter::EngineIdle() const {
  TfrmMain& m = app_.Main();
  return m.IsConnected() && !m.IsRunning() && !m.IsSelect && !m.IsProcessing() && m.SqlManager().Database();
}

void TSqlCompleter::ReadTables() {
  // A reading under way is not replaced from inside its own busy handler.
  if (reading_) {
    Stale = true;
    return;
  }
  Stale = false;
  Close();
  model_->Set({});
  columns_.clear();
  schemaTables_.Clear();
  schemaOf_.clear();
  catalog_ = {};
  if (TDatabase* db = app_.Main().SqlManager().Database()) {
    TRaised reading(reading_);
    // The window goes on working while the database reads; its end gives
    // the reading up.
    auto busy = [this]() -> TBusyAnswer {
      app_.Platform().ProcessMessages();
      const TfrmMain& m = app_.Main();
      if (m.IsClosed() || m.ClosePending()) return TBusyAnswer::Abandon();
      return true;
    };
    try {
      catalog_ = ::ReadCatalog(*db, busy);
    } catch (const TSessionError& e) {
      // The names are a help, not the command's work: without them the
      // keywords are still offered.
      catalog_ = {};
      ReportLostConnection(app_, e);
    }
  }
  words_.Clear();
  for (const std::string& w : SqlKeywords()) words_.Add(w, w, TCandidateKind::Keyword);
  for (const TCatalogTable& t : catalog_.Tables)
    if (!IsSystemSchema(t.Schema))
      words_.Add(TableReference(catalog_, t), t.Name, t.Kind == "VIEW" ? TCandidateKind::View : TCandidateKind::Table);
  words_.Sort();
}

const TNameList* TSqlCompleter::Columns(int table) {
  auto it = columns_.find(table);
  if (it != columns_.end()) return &it->second;
  // Between runs only: the engine has one connection, and a run or a
  // command may be using it.
  if (reading_ || !EngineIdle()) return nullptr;
  TRaised reading(reading_);
  std::vector<TCatalogColumn> read;
  try {
    read = ::ReadColumns(*app_.Main().SqlManager().Database(), catalog_.Tables[static_cast<size_t>(table)],
                         BriefWait());
  } catch (const TSessionError& e) {
    ReportLostConnection(app_, e);
    return nullptr;  // asked again next time
  }
  TNameList& list = columns_[table];
  for (const TCatalogColumn& c : read) list.Add(QuoteName(c.Name, catalog_.Dialect), c.Name, TCandidateKind::Column);
  list.Sort();
  return &list;
}

std::vector<const TCandidate*> TSqlCompleter::Candidates(const TCompletionContext& ctx) {
  if (ctx.Kind == TCompletionKind::Word) return words_.Match(ctx.Prefix);
  if (ctx.Kind != TCompletionKind::Member) return {};
  const int table = ResolveTable(catalog_, ctx.Qualifier, ctx.Tables);
  if (table >= 0) {
    const TNameList* columns = Columns(table);
    return columns ? columns->Match(ctx.Prefix) : std::vector<const TCandidate*>{};
  }
  // schema. offers the tables of that schema.
  if (ctx.Qualifier.size() != 1 || !IsCatalogSchema(catalog_, ctx.Qualifier[0])) return {};
  const std::string schema = UpperSjis(ctx.Qualifier[0].Text);
  if (schemaOf_ != schema) {
    schemaTables_.Clear();
    for (const TCatalogTable& t : catalog_.Tables)
      if (UpperSjis(t.Schema) == schema)
        schemaTables_.Add(QuoteName(t.Name, catalog_.Dialect), t.Name,
                          t.Kind == "VIEW" ? TCandidateKind::View : TCandidateKind::Table);
    schemaTables_.Sort();
    schemaOf_ = schema;
  }
  return schemaTables_.Match(ctx.Prefix);
}

void TSqlCompleter::Complete(bool automatic) {
  const TfrmMain& m = app_.Main();
  if (!m.IsConnected() || !edit_.isEnabled() || composing_ || reading_ || (automatic && !m.SqlHasFocus())) {
    Close();
    return;
  }
  const QString text = edit_.toPlainText();
  const int caret = edit_.textCursor().position();
  const std::string before = FromQ(text.left(caret));
  const std::string all = before + FromQ(text.mid(caret));
  const TCompletionContext ctx = CompletionAt(all, before.size());
  if (ctx.Kind == TCompletionKind::None) {
    Close();
    return;
  }
  const int start =
      caret - static_cast<int>(ToQ(std::string_view(all).substr(ctx.Start, before.size() - ctx.Start)).size());
  if (popup_->isVisible()) {
    // The popup belongs to the word it opened for, and one that came by
    // itself goes when the word is gone.
    if (start != start_ || (automatic && ctx.Kind == TCompletionKind::Word && ctx.Prefix.empty())) {
      Close();
      return;
    }
  } else if (automatic && ctx.Kind == TCompletionKind::Word && CharCount(ctx.Prefix) < 3) {
    return;
  }
  std::vector<const TCandidate*> names = Candidates(ctx);
  // What the user typed in full needs no popup that would take the Enter.
  const bool typedInFull = names.size() == 1 && names[0]->Key == UpperSjis(ctx.Prefix);
  if (names.empty() || (automatic && typedInFull)) {
    Close();
    return;
  }
  start_ = start;
  end_ = caret + static_cast<int>(ToQ(std::string_view(all).substr(before.size(), ctx.End - before.size())).size());
  automatic_ = automatic;
  Show(std::move(names));
}

void TSqlCompleter::Show(std::vector<const TCandidate*> names) {
  const int count = static_cast<int>(names.size());
  int widest = 0;
  const QFontMetrics metrics(popup_->font());
  for (size_t i = 0; i < names.size() && i < 200; ++i)
    widest = std::max(widest, metrics.horizontalAdvance(ToQ(names[i]->Text)));
  model_->Set(std::move(names));
  popup_->setCurrentIndex(model_->index(0, 0));
  const int frame = 2 * popup_->frameWidth();
  const int rowHeight = std::max(popup_->sizeHintForRow(0), metrics.height());
  const int scroll = count > kVisibleRows ? popup_->verticalScrollBar()->sizeHint().width() : 0;
  popup_->resize(std::clamp(widest + 16 + scroll + frame, 160, 480), std::min(count, kVisibleRows) * rowHeight + frame);
  Place();
  popup_->scrollToTop();
  if (!popup_->isVisible()) popup_->show();
}

void TSqlCompleter::Place() {
  popup_->move(edit_.viewport()->mapToGlobal(edit_.cursorRect().bottomLeft()) + QPoint(0, 2));
}

void TSqlCompleter::Refresh() {
  if (popup_->isVisible()) Complete(automatic_);
}

void TSqlCompleter::Take() {
  const TCandidate* chosen = model_->At(popup_->currentIndex().row());
  const QString text = chosen ? ToQ(chosen->Text) : QString();
  Close();
  if (!chosen) return;
  QTextCursor cursor = edit_.textCursor();
  cursor.setPosition(start_);
  cursor.setPosition(end_, QTextCursor::KeepAnchor);
  cursor.insertText(text);
  edit_.setTextCursor(cursor);
}

void TSqlCompleter::Close() {
  delay_->stop();
  if (popup_->isVisible()) popup_->hide();
}

bool TSqlCompleter::HandleKey(QKeyEvent& key) {
  const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
  const bool press = key.type() == QEvent::KeyPress;
  if ((key.key() == Qt::Key_Space || key.key() == Qt::Key_J) && mods == Qt::ControlModifier) {
    if (press) Complete(false);
    return true;
  }
  if (popup_->isVisible() && mods == Qt::NoModifier) {
    if (IsListKey(key.key())) {
      if (press) {
        const int rows = model_->rowCount({});
        const int step = key.key() == Qt::Key_Up ? -1 : key.key() == Qt::Key_Down ? 1
                         : key.key() == Qt::Key_PageUp ? -(kVisibleRows - 1) : kVisibleRows - 1;
        const int row = std::clamp(popup_->currentIndex().row() + step, 0, rows - 1);
        popup_->setCurrentIndex(model_->index(row, 0));
      }
      return true;
    }
    if (IsTakeKey(key.key())) {
      if (press) Take();
      return true;
    }
    if (key.key() == Qt::Key_Escape) {
      if (press) Close();
      return true;
    }
  }
  // A typed character; what it leaves is looked at once the typing pauses
  // (an open popup follows every change at once).
  if (press && !popup_->isVisible() && !(mods & (Qt::ControlModifier | Qt::AltModifier)) && !key.text().isEmpty() &&
      key.text().front().isPrint())
    delay_->start(DelayMs);
  return false;
}

bool TSqlCompleter::eventFilter(QObject* watched, QEvent* event) {
  // ... and when the window moves or changes its size.
  if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched == edit_.window()) {
    if (popup_->isVisible()) Place();
    return false;
  }
  if (watched != &edit_) return false;
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
      if (HandleKey(static_cast<QKeyEvent&>(*event))) {
        event->accept();
        return true;
      }
      break;
    case QEvent::InputMethod: {
      // A composition is the input method's: nothing may cover or take
      // its keys. What it commits is typing as any other.
      const auto& im = static_cast<const QInputMethodEvent&>(*event);
      composing_ = !im.preeditString().isEmpty();
      if (composing_) Close();
      else if (!im.commitString().isEmpty()) delay_->start(DelayMs);
      break;
    }
    case QEvent::FocusOut:
    case QEvent::EnabledChange:
    case QEvent::Hide:
      Close();
      break;
    default:
      break;
  }
  return false;
}

void AttachSqlCompleter(TApp& app) { new TSqlCompleter(app, *app.Main().edtSql); }

TSqlCompleter* SqlCompleter(TApp& app) {
  return app.Main().edtSql->findChild<TSqlCompleter*>(QString(), Qt::FindDirectChildrenOnly);
}

void SchemaMayHaveChanged(TApp& app, const std::string& statement) {
  TSqlCompleter* completer = SqlCompleter(app);
  if (completer && ChangesSchema(statement)) completer->Stale = true;
}

void CompletionAfterRun(TApp& app) {
  TSqlCompleter* completer = SqlCompleter(app);
  if (completer && completer->Stale) completer->ReadTables();
}

void ConnectionOpened(TApp& app) {
  if (TSqlCompleter* completer = SqlCompleter(app)) completer->ReadTables();
}
