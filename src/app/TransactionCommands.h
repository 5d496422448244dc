#pragma once
// The commit mode, COMMIT and ROLLBACK as commands, the 未コミット indicator,
// and the question asked before a session with uncommitted changes ends.
// Each effect assumes its command's rule held.

class TApp;

// Puts the settings' commit mode on the engine and the command, at start.
void ApplyCommitMode(TApp& app);
// Switches the mode; back to auto-commit with a transaction open, the user
// first decides what becomes of it.
void AutoCommitExecute(TApp& app);
void CommitExecute(TApp& app);
void RollbackExecute(TApp& app);
// Shows the indicator while the server holds a transaction of the user's.
void ShowTransactionState(TApp& app);
// Before the session ends. With a transaction open, asks whether to commit
// it (はい), roll it back (いいえ) or stay connected (キャンセル); false when
// the session must stay (キャンセル, or the commit or rollback failed).
// mayAsk false (the desktop is ending the program): no question, the
// changes are rolled back, and the history records the rollback.
bool SettleTransaction(TApp& app, bool mayAsk);
