// corvane-host: starts Corvane, talks to it over the host link and prints its reports. See UsageText().
#include <cstdio>
#include <string>
#include <vector>

#include "host_run.h"
#include "options.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(corvane_host::UsageText().c_str(), stdout);
    return corvane_host::kExitOk;
  }
  corvane_host::HostOptions options;
  std::string error;
  if (!corvane_host::ParseHostArgs(args, &options, &error)) {
    corvane_host::Complain(error);
    std::fputs("run corvane-host --help for the usage\n", stderr);
    return corvane_host::kExitUsage;
  }
  corvane_host::InstallStopSignals();
  corvane_host::HostRun run(std::move(options));
  return run.Run();
}
