#pragma once
// The effects of the connect, disconnect, start and stop commands. Their
// enable rules live with the command table; each effect assumes its rule
// held when it was executed.

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
