#include <signal.h>

#include <thread>

#include "platform/platform.h"

namespace platform {

void CallOnTerminationSignal(std::function<void()> handler) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, handler = std::move(handler)] {
    for (;;) {
      int received = 0;
      if (sigwait(&signals, &received) == 0) handler();
    }
  }).detach();
}

}  // namespace platform
