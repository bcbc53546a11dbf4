// The anchor of the database benchmarks: the sqlite3 program running the same statements on the same file, its
// output thrown away, so that Corvane's rows per second can be set beside the engine's own.
//
// Thread safety: any thread.
#pragma once

#include <string>

namespace bench {

// Runs `sqlite3 -batch <database> <statements>` with its output to /dev/null; the seconds it took, or -1 when it
// could not be run or failed.
double RunSqliteProgram(const std::string& database, const std::string& statements);

}  // namespace bench
