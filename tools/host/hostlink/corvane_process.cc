#include "hostlink/corvane_process.h"

namespace hostlink {

bool CorvaneProcess::Start(const StartParams& params, const CorvaneOptions& options) {
  command_line_ = params.ToJson();
  SpawnOptions spawn;
  spawn.program = options.program.empty() ? ProgramBesideSelf("Corvane") : options.program;
  spawn.args = {command_line_};
  spawn.env = options.env;
  spawn.stdout_path = options.stdout_path;
  spawn.stderr_path = options.stderr_path;
  spawn.stdout_to_stderr = options.stdout_to_stderr && options.stdout_path.empty();
  return Spawn(spawn);
}

}  // namespace hostlink
