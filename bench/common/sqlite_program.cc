#include "common/sqlite_program.h"

#include "common/quiet_program.h"

namespace bench {

double RunSqliteProgram(const std::string& database, const std::string& statements) {
  ProgramRun run = RunQuietly({"sqlite3", "-batch", database, statements});
  return run.ok ? run.seconds : -1;
}

}  // namespace bench
