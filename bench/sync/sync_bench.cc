// Reading 10,000 contacts with their details (about 37,500 records) through a real Corvane process (command 100:
// the session, the conversion to the host's JSON, the reports over the host link, the host inflating them),
// beside libimobiledevice's own mobilesync client reading the same store from the same simulator in the same run.
// Prints records per second for both, the ratio (goal: at least 0.8 of the bare client's rate) and Corvane's
// peak resident memory (goal: under 100 MiB).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/process_figures.h"
#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "mobilesync_client.h"

namespace {

using namespace std::chrono_literals;

constexpr int kContacts = 10000;
constexpr char kUdid[] = "00008110-0000000000001000";
constexpr char kClass[] = "com.apple.Contacts";
constexpr uint64_t kRssGoalBytes = 100ull << 20;

struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  std::unique_ptr<e2e::CorvaneHarness> corvane;
  hostlink::Connection* host = nullptr;
  size_t records = 0;  // every record of the store, as the bare client counts them

  Rig() {
    dir = bench::MakeBenchFolder("corvane-sync-bench", false);
    std::string error;
    devicesim::ProfileBuilder phone(kUdid);
    phone.AddGeneratedContacts(kContacts);
    if (!phone.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error) ||
        !simulator.Start(dir + "/mux.sock", &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    corvane = bench::StartCorvane(dir, simulator.SocketAddress(), 1, &error);
    if (!corvane) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    host = &corvane->host();
  }
  ~Rig() {
    corvane.reset();
    simulator.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

void BM_BareClientReadsContacts(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError("no rig");
  size_t records = 0;
  for (auto _ : state) {
    devicesim::MobileSyncClient client(kUdid);
    devicesim::SyncedRecords read;
    if (client.Start(kClass, 106) != MOBILESYNC_E_SUCCESS || client.ReadAll(&read) != MOBILESYNC_E_SUCCESS ||
        client.ReadyToSend() != MOBILESYNC_E_SUCCESS || client.Finish() != MOBILESYNC_E_SUCCESS) {
      return state.SkipWithError("the bare read failed");
    }
    records += read.order.size();
    rig.records = read.order.size();
  }
  state.counters["records_per_second"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}

void BM_CorvaneListsContacts(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError("no rig");
  uint64_t task = 1000;
  size_t records = 0;
  for (auto _ : state) {
    ++task;
    if (!rig.host->SendCommand(task, 100, std::string("{\"uuid\":\"") + kUdid + "\"}")) {
      return state.SkipWithError("send failed");
    }
    auto done = rig.host->WaitFor(hostlink::FinalOf(task, 100), 600s);
    state.PauseTiming();
    size_t contacts = 0;
    for (const hostlink::Report& report : rig.host->pending()) {
      if (report.task_id == task && report.packet_type == 100 && report.stage == 2) {
        for (size_t at = report.data.find("\"first name\""); at != std::string::npos;
             at = report.data.find("\"first name\"", at + 1)) {
          ++contacts;
        }
      }
    }
    rig.host->pending().clear();
    state.ResumeTiming();
    if (!done || done->code != 0 || contacts != static_cast<size_t>(kContacts)) {
      return state.SkipWithError("Corvane's list was not complete");
    }
    // Corvane reads every record the bare client reads; only their shape differs.
    records += rig.records;
  }
  uint64_t peak = static_cast<uint64_t>(std::max<int64_t>(0, bench::PeakResidentKiB(rig.corvane->corvane().pid()))) * 1024;
  state.counters["records_per_second"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["corvane_peak_rss_MiB"] = static_cast<double>(peak) / (1 << 20);
  std::printf("Corvane peak resident memory %.1f MiB (goal: under %llu MiB): %s\n",
              static_cast<double>(peak) / (1 << 20), static_cast<unsigned long long>(kRssGoalBytes >> 20),
              peak > 0 && peak < kRssGoalBytes ? "met" : "MISSED");
}

// The bare client first: it also counts the records Corvane's rate is measured in.
BENCHMARK(BM_BareClientReadsContacts)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_CorvaneListsContacts)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv,
                              {{"BM_CorvaneListsContacts", "BM_BareClientReadsContacts", "records_per_second"}});
}
