// The SQL function regexp, so that queries may say `X REGEXP Y`.
//
// SQLite calls it as regexp(Y, X): the pattern first, then the subject. Both are upper-cased byte by byte (so the
// match ignores the case of ASCII letters), and the subject is searched for the pattern anywhere in it with
// std::regex in its default ECMAScript grammar. The result is 1 when found, else 0. An empty pattern or subject,
// or a call with other than two arguments, is the error "SQL function regexp() called with invalid arguments.\n";
// a pattern std::regex cannot compile (or a search it gives up on) is an error too, never an exception through
// SQLite.
//
// Thread safety: the function keeps no state; it may be registered on, and run on, any number of connections.
#pragma once

#include <sqlite3.h>

// Registers regexp on the connection; SQLite's result code (0 on success).
int RegisterRegexpFunction(sqlite3* db);
