#include "common/corvane_start.h"

namespace bench {

std::unique_ptr<e2e::CorvaneHarness> StartCorvane(const std::string& parent, const std::string& device_socket,
                                                  int devices, std::string* error, const std::string& program) {
  auto corvane = std::make_unique<e2e::CorvaneHarness>(parent);
  corvane->params().open_log = 0;
  corvane->options().program = program;
  if (!device_socket.empty()) corvane->SetDeviceSocket(device_socket);
  if (!corvane->Start()) {
    *error = "Corvane did not connect";
    return nullptr;
  }
  if (devices == 0 && !corvane->WaitForType(19)) {
    *error = "Corvane sent no start report";
    return nullptr;
  }
  for (int i = 0; i < devices; ++i) {
    if (!corvane->WaitForType(1, std::chrono::seconds(60))) {
      *error = "Corvane did not see every device";
      return nullptr;
    }
  }
  corvane->host().pending().clear();
  return corvane;
}

}  // namespace bench
