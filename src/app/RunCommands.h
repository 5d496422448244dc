#pragma once
// The effects of the connect, disconnect, start and stop commands. Their
// enable rules live with the command table; each effect assumes its rule
// held when it was executed.

#include <functional>
#include <string>

#include "core/Session.h"
#include "core/StrUtil.h"

class TApp;

// Shows the login dialog and opens the database.
void ConnectExecute(TApp& app);
// Saves the favourites and the history, then leaves the connected state.
void DisConnectExecute(TApp& app);
// The run driver: executes the edit area's text as one statement and, for a
// query, fetches its rows while keeping the window responsive.
void StartExecute(TApp& app);
// Asks a running query to end after the row being fetched.
void StopExecute(TApp& app);

// The pieces of the run driver that running one statement of many, or a
// script, shares with the start command.

// The busy handler of the database while a command waits for it: the
// window works, the wait goes on while goOn() holds, and the window's end
// gives up on a server that does not answer.
TDatabase::TBusyHandler WindowWhileBusy(TApp& app, std::function<bool()> goOn);
// The busy handler of a short reading that lets no message through (one
// table's columns, asked for while a list or the editor waits): a database
// that answers does so at once; one that does not is asked to stop after
// 2 s and given up a second later, rather than letting the window hang.
TDatabase::TBusyHandler BriefWait();

// Runs body in the run's busy state, when still connected; the run's end
// step (flags, cursor, the grid focused, a pending close) follows it.
void WithRunState(TApp& app, const std::function<void()>& body);

struct TRunOutcome {
  enum TKind { Completed, Stopped, Failed } Kind = Completed;
  // A failure the user has not been told of yet (cp932); empty when it has
  // been reported already (the run's result file could not be written).
  std::string Error;
};
// One ordinary run of a statement given as typed: the result cleared, the
// remarks blanked, the statement executed or its rows fetched, the run
// recorded in the history and the final message shown. Must run inside
// WithRunState; leaves the running flag up for the caller.
TRunOutcome RunStatement(TApp& app, const TStrings& typed);
// Shows a run's failure, or only the status message when the window is
// going away and nobody is left to read a box.
void ReportRunError(TApp& app, const std::string& text);
