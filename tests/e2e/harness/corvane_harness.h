// CorvaneHarness: one real Corvane process driven over the real host link, for scenario tests.
//
// Each harness has its own temporary folder (Corvane's TMPDIR, so its work folder lives there too), its own
// listening port and its own device socket. The benchmarks use it too, to start the Corvane they measure. Start launches Corvane beside the test
// binaries and accepts its connection; the destructor stops the process and removes the folder.
//
// Thread safety: one test thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/connection.h"
#include "hostlink/corvane_process.h"
#include "hostlink/listener.h"
#include "hostlink/report.h"
#include "hostlink/start_params.h"

namespace e2e {

using namespace std::chrono_literals;

class CorvaneHarness {
 public:
  // The harness's folder is made in `parent`, or in the temporary folder when it is empty.
  explicit CorvaneHarness(const std::string& parent = std::string());
  ~CorvaneHarness();
  CorvaneHarness(const CorvaneHarness&) = delete;
  CorvaneHarness& operator=(const CorvaneHarness&) = delete;

  // Start parameters and process options, adjustable before Start.
  hostlink::StartParams& params() { return params_; }
  hostlink::CorvaneOptions& options() { return options_; }
  // Points Corvane at a usbmuxd socket ("UNIX:<path>"); by default it sees none.
  void SetDeviceSocket(const std::string& address);

  // Starts Corvane; with `accept`, waits for its connection (false when it does not come).
  bool Start(bool accept = true);
  // Starts Corvane again with the same parameters (for example after it was killed) and accepts anew.
  bool Restart();

  hostlink::Connection& host() { return *host_; }
  hostlink::CorvaneProcess& corvane() { return *corvane_; }
  const std::string& temp_dir() const { return temp_dir_; }
  // Corvane's work folder: temp dir + brand + "/" + today's date.
  std::string WorkFolder() const;
  std::string ProcessFolder() const;

  std::optional<hostlink::Report> WaitForType(uint32_t packet_type, std::chrono::milliseconds timeout = 15s);
  // Sends a command and waits for its final report; the reports of the task before it stay in host().pending().
  std::optional<hostlink::Report> Run(uint64_t task_id, uint32_t packet_type, const std::string& json,
                                      const std::string& data = {}, std::chrono::milliseconds timeout = 30s);
  // The reports of a task received so far (taken out of the pending queue), in arrival order.
  std::vector<hostlink::Report> TakeReportsOf(uint64_t task_id);

 private:
  std::string temp_dir_;
  hostlink::StartParams params_;
  hostlink::CorvaneOptions options_;
  hostlink::HostListener listener_;
  std::unique_ptr<hostlink::CorvaneProcess> corvane_;
  std::unique_ptr<hostlink::Connection> host_;
};

// A fresh folder "<prefix>-XXXXXX" in `parent`, or in the test's own temporary directory when it is empty.
std::string MakeTempDir(const std::string& prefix, const std::string& parent = std::string());

}  // namespace e2e
