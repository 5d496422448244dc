#pragma once
// An ODBC logon: the driver a connection string leads to, the settings this
// program asks of the drivers it knows, and the connection itself. Runs on
// the connection's worker.
//
// Texts cross the driver manager as UTF-16 (the wide API). A driver with
// wide entry points gets them as they are. For a driver without them (the
// SQLite driver is one) unixODBC converts between UTF-16 and narrow text
// with the codeset of the locale in force when the connection handle is
// made, and keeps that choice for the connection's life; in the C locale
// every character is cut to its low byte. So the handle is made and opened
// under a UTF-8 codeset for the worker's thread only: narrow drivers then
// always see UTF-8, wide drivers are not affected, and neither the process's
// locale nor anything a driver does to it later changes the text. The
// connection string is the exception: unixODBC cuts its characters to the
// low byte on the way to a narrow driver whatever the locale, so a string
// with non-ASCII text (a Japanese file name, a password) goes to such a
// driver through the narrow call as UTF-8. Wide drivers need the wide call
// (psqlODBC otherwise takes its text encoding from the environment's locale).
//
// Drivers known to give text as UTF-8 through SQL_C_CHAR are asked for it:
// their own conversion to UTF-16 costs more than the rest of a fetch.
// MariaDB's Connector/ODBC gives the connection's character set, which is
// set to utf8mb4 unless the user's settings name one. psqlODBC gives the
// codeset of the thread's locale, so its rows are read under a UTF-8 one.
//
// psqlODBC left to itself reads a whole result into memory before it hands
// over the first row: memory then grows with the query instead of with the
// row limit. Unless the user's settings say otherwise it is told to fetch
// through a server cursor, a few thousand rows at a time; its row count of
// a SELECT is then no longer the rows of the result, so a statement run for
// its count has the rows of its results counted as they are read.

#include <string>

#include "core/sessions/OdbcHandles.h"
#include "core/sessions/OdbcWorker.h"

// What a logon found out about the driver.
struct TOdbcDriverTraits {
  bool CountByFetch = false;  // the driver's row count of a result is not its rows
  bool NarrowText = false;    // the driver gives text as UTF-8 through SQL_C_CHAR
};

// Allocates connection's handles and connects them to the data source of the
// connection string (UTF-8) with the login dialog's user and password.
TOdbcStatus OdbcConnect(TOdbcConnection& connection, const std::string& text, const std::string& user,
                        const std::string& password, TOdbcDriverTraits& traits);
