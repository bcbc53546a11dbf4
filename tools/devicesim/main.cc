// corvane-devicesim: the device simulator as a program. Serves the given profiles on a UNIX socket, prints the
// USBMUXD_SOCKET_ADDRESS line clients need once it listens, and takes line commands on standard input.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "devicesim/control_commands.h"
#include "devicesim/simulator.h"

namespace {

const char kUsage[] =
    "usage: corvane-devicesim --socket PATH --profile DIR [--profile DIR ...] [--detached]\n"
    "Serves each profile folder as a device behind an emulated usbmuxd socket at PATH.\n"
    "Clients find it with USBMUXD_SOCKET_ADDRESS=UNIX:PATH. Commands on standard input: type 'help'.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string socket_path;
  std::vector<std::string> profiles;
  bool detached = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--socket" || arg == "--profile") && i + 1 < argc) {
      (arg == "--socket" ? socket_path : profiles.emplace_back()) = argv[++i];
    } else if (arg == "--detached") {
      detached = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "corvane-devicesim: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (socket_path.empty() || profiles.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  // Termination signals are taken by one thread that stops the simulator cleanly (the socket file goes away).
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  devicesim::Simulator simulator;
  std::string error;
  for (const std::string& profile : profiles) {
    if (!simulator.AddProfile(profile, !detached, &error)) {
      std::fprintf(stderr, "corvane-devicesim: %s\n", error.c_str());
      return 1;
    }
  }
  if (!simulator.Start(socket_path, &error)) {
    std::fprintf(stderr, "corvane-devicesim: %s\n", error.c_str());
    return 1;
  }
  std::printf("USBMUXD_SOCKET_ADDRESS=%s\n", simulator.SocketAddress().c_str());
  std::fflush(stdout);

  std::thread([&simulator, signals] {
    int received = 0;
    sigwait(&signals, &received);
    simulator.Stop();
    std::fflush(stdout);
    _exit(0);
  }).detach();

  bool quit = false;
  std::string line;
  while (!quit && std::getline(std::cin, line)) {
    std::string out = devicesim::RunControlCommand(simulator, line, &quit);
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
  }
  simulator.Stop();
  return 0;
}
