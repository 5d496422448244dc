#pragma once
// Running one statement of many, or all of them in turn. The edit area may
// hold many statements; these commands cut it with the statement splitter
// and run each piece as an ordinary run of the start command: status panels,
// stop, a history entry holding that statement's text, its result file.

class TApp;

// Runs the selection as it stands, or else the statement that holds the
// caret, after selecting it in the edit area. A caret between statements
// runs nothing and says so.
void RunCaretExecute(TApp& app);
// Runs every statement of the selection, or of the whole edit area, in
// order. The first failure or a stop ends the script; the failing statement
// is selected and the message says which one it was.
void RunScriptExecute(TApp& app);
