#pragma once
// Pure helpers of the server backends (PostgreSQL and ODBC): column types to
// Oracle type codes, error numbers, and the text forms servers hand over.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/DateTime.h"
#include "core/SqlInfo.h"

struct TServerColumnType {
  int Code = otVarchar2;
  int Size = 0, Precision = 0, Scale = 0;
};

// A PostgreSQL column from its type OID and type modifier (PQftype, PQfmod).
// Every PostgreSQL type has a readable text form, so types without a closer
// Oracle code are shown as VARCHAR2; only binary data is RAW.
TServerColumnType MapPostgresType(unsigned oid, int typmod);

// An ODBC column from SQLDescribeCol's data type, column size and decimal
// digits. typeName, the data source's own name of the type (SQLColAttribute's
// SQL_DESC_TYPE_NAME), corrects drivers that describe a declared CHAR(n) as
// VARCHAR, a VARCHAR(n) beyond some length as LONGVARCHAR or a NUMERIC(p,s)
// as DOUBLE.
TServerColumnType MapOdbcType(int sqlType, uint64_t columnSize, int decimalDigits, std::string_view typeName = {});

// A five-character SQLSTATE as a stable error number: its characters read as
// one base-36 number ("0"-"9" are 0-9, "A"-"Z" are 10-35), so "42P01" is
// 4·36⁴ + 2·36³ + 25·36² + 0·36 + 1 = 6,844,177, and the SQLSTATE is read
// back by writing the number in base 36 with five digits. Never 0 for an
// error class; an empty or malformed SQLSTATE gives the number of "HY000"
// (general error).
int FoldSqlState(std::string_view sqlstate);

// ISO date-times as servers write them: "YYYY-MM-DD", optionally followed by
// " HH:MM[:SS[.fraction]]" (or "T…") and a zone ("Z", "+09", "+09:00",
// "-0330"). A value with a zone is turned into this machine's local time.
// Years before 1 or after 9999, "infinity" and BC dates are refused.
bool ParseIsoDateTime(std::string_view text, TDateTime& out);
// The cell text of the plainest of those, "YYYY-MM-DD HH:MM:SS" and
// "YYYY-MM-DD", written straight into `out` (see PlainDateCellText); false
// for any other form.
bool IsoDateCellText(std::string_view text, std::string& out);

// A decimal number's text without the zeros that trail its fraction, as
// a number reads in Oracle: "12.50" → "12.5", "3.000" → "3". Texts with an
// exponent or without a point are returned as they are.
std::string_view TrimNumberText(std::string_view text);

// An ODBC connection string with the login dialog's user and password put in
// as UID and PWD (braced where a character needs it), replacing those the
// string names itself; an empty user or password leaves the string's own.
// Drivers disagree on which of two copies of a keyword wins, hence the
// replacing.
std::string OdbcConnectionString(std::string_view connection, std::string_view user, std::string_view password);
// The value of the first pair named key (given in capitals; any letter case
// in the string) in a connection
// string, its braces removed; empty when there is none.
std::string OdbcConnectionValue(std::string_view connection, std::string_view key);

// A statement without its trailing blanks and semicolons (servers refuse a
// semicolon inside a wrapping query); empty when it holds nothing but
// blanks, semicolons and comments.
std::string_view TrimStatement(std::string_view statement);

// What a statement does to the transaction, by its leading words: begins
// one, ends one (ROLLBACK TO a savepoint does not), cannot run inside one
// (VACUUM, CREATE DATABASE, ATTACH …; manual commit opens no transaction
// for it), or none of these.
enum class TTransactionWord { Other, Begin, End, Outside };
TTransactionWord TransactionWord(std::string_view statement);

class TErrorMembers;

// The first step of every statement a server backend runs: the last error is
// cleared and the statement turned into UTF-8; one with nothing to run (see
// TrimStatement) fails through `errors` with `noStatementErr` and
// "実行するＳＱＬ文がありません".
std::string ServerStatement(const std::string& sqlCp932, TErrorMembers& errors, int noStatementErr);
