#pragma once
// Host strings of the private test servers for the window tests, each with
// a fresh database; empty, with the reason in *why, where a server or its
// driver is missing.

#include <string>

#include "support/TempDir.h"

std::string PgHost(TTempDir& dir, std::string* why);
std::string OdbcPgHost(TTempDir& dir, std::string* why);
std::string MariaHost(TTempDir& dir, std::string* why);
