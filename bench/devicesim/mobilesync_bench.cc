// Reading an address book of 10,000 contacts with their details (about 45,000 records) from the simulator's
// synchronisation service through libimobiledevice's mobilesync client, in batches of 50 (the default) and of
// 500, beside the client's own share of the work: decoding the same batches from their bytes without any
// device. Prints records per second, the ratio of the whole read to the decoding alone, and the device's share
// of the processor time during the reads (the simulator runs in this process on its own threads).
#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "mobilesync_client.h"

namespace {

constexpr int kContacts = 10000;
constexpr char kSmallBatches[] = "00008110-00000000000005C0";
constexpr char kLargeBatches[] = "00008110-0000000000005000";
constexpr char kClass[] = "com.apple.Contacts";

struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  bool ready = false;
  std::vector<std::string> small_batches;  // the small-batch device's messages as binary property lists
  size_t records = 0;

  Rig() {
    dir = bench::MakeBenchFolder("devicesim-sync-bench", false);
    std::string error;
    for (auto [udid, batch] : {std::pair{kSmallBatches, 50}, std::pair{kLargeBatches, 500}}) {
      devicesim::ProfileBuilder phone(udid);
      phone.SetSyncBatchSize(batch).AddGeneratedContacts(kContacts);
      std::string folder = dir + "/" + udid;
      if (!phone.Write(folder, &error) || !simulator.AddProfile(folder, true, &error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return;
      }
    }
    if (!simulator.Start(dir + "/mux.sock", &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    ready = RecordBatches();
  }
  ~Rig() {
    simulator.Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // Reads both devices once (the device encodes its batches on the first read and keeps them while nothing
  // changes; the timed reads are the repeated ones) and keeps the small-batch device's batches as it sent them,
  // for the decoding alone.
  bool RecordBatches() {
    devicesim::MobileSyncClient warm(kLargeBatches);
    devicesim::SyncedRecords ignored;
    if (warm.Start(kClass, 106) != MOBILESYNC_E_SUCCESS || warm.ReadAll(&ignored) != MOBILESYNC_E_SUCCESS) return false;
    devicesim::MobileSyncClient client(kSmallBatches);
    devicesim::SyncedRecords read;
    if (client.Start(kClass, 106) != MOBILESYNC_E_SUCCESS || client.ReadAll(&read) != MOBILESYNC_E_SUCCESS ||
        client.ReadyToSend() != MOBILESYNC_E_SUCCESS || client.Finish() != MOBILESYNC_E_SUCCESS) {
      return false;
    }
    records = read.order.size();
    for (size_t first = 0; first < read.order.size(); first += 50) {
      plist_t message = plist_new_array();
      plist_array_append_item(message, plist_new_string("SDMessageProcessChanges"));
      plist_array_append_item(message, plist_new_string(kClass));
      plist_t entities = plist_new_dict();
      for (size_t i = first; i < std::min(read.order.size(), first + 50); ++i) {
        plist_dict_set_item(entities, read.order[i].c_str(), plist_copy(read.records.at(read.order[i])));
      }
      plist_array_append_item(message, entities);
      plist_array_append_item(message, plist_new_bool(first + 50 < read.order.size()));
      plist_array_append_item(message, plist_new_dict());
      char* bytes = nullptr;
      uint32_t length = 0;
      plist_to_bin(message, &bytes, &length);
      small_batches.emplace_back(bytes, length);
      plist_to_bin_free(bytes);
      plist_free(message);
    }
    return true;
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void ReadThroughClient(benchmark::State& state, const char* udid) {
  if (!TheRig().ready) return state.SkipWithError("no simulator");
  size_t records = 0;
  // The simulator serves on its own threads: the process's processor time less this thread's is the device's.
  double process_start = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID), thread_start = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  for (auto _ : state) {
    devicesim::MobileSyncClient client(udid);
    devicesim::SyncedRecords read;
    if (client.Start(kClass, 106) != MOBILESYNC_E_SUCCESS || client.ReadAll(&read) != MOBILESYNC_E_SUCCESS ||
        client.ReadyToSend() != MOBILESYNC_E_SUCCESS || client.Finish() != MOBILESYNC_E_SUCCESS) {
      return state.SkipWithError("the read failed");
    }
    records += read.order.size();
  }
  double process = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process_start;
  double client = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread_start;
  state.counters["records_per_second"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["device_cpu_share"] = process > 0 ? (process - client) / process : 0;
}

void BM_ReadContactsBatchesOf50(benchmark::State& state) { ReadThroughClient(state, kSmallBatches); }
void BM_ReadContactsBatchesOf500(benchmark::State& state) { ReadThroughClient(state, kLargeBatches); }

// What the client does with each batch whatever the device: decode the bytes, copy the records out (as the
// library does) and file them (as the read above does).
void BM_ClientDecodingAlone(benchmark::State& state) {
  if (!TheRig().ready) return state.SkipWithError("no simulator");
  size_t records = 0;
  for (auto _ : state) {
    devicesim::SyncedRecords read;
    for (const std::string& bytes : TheRig().small_batches) {
      plist_t message = nullptr;
      plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &message);
      plist_t entities = plist_copy(plist_array_get_item(message, 2));
      read.Take(entities);
      plist_free(entities);
      plist_free(message);
    }
    records += read.order.size();
  }
  state.counters["records_per_second"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ReadContactsBatchesOf50)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadContactsBatchesOf500)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientDecodingAlone)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto rate = run.counters.find("records_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second.value;
      auto share = run.counters.find("device_cpu_share");
      if (share != run.counters.end()) shares[run.benchmark_name()] = share->second.value;
    }
  }
  static double Find(const std::map<std::string, double>& values, const char* prefix) {
    for (const auto& [name, value] : values) {
      if (name.rfind(prefix, 0) == 0) return value;
    }
    return 0;
  }
  double Rate(const char* prefix) const { return Find(rates, prefix); }
  double Share(const char* prefix) const { return Find(shares, prefix); }
  std::map<std::string, double> rates;
  std::map<std::string, double> shares;  // the device's part of the processor time
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double small = reporter.Rate("BM_ReadContactsBatchesOf50"), large = reporter.Rate("BM_ReadContactsBatchesOf500");
  double decode = reporter.Rate("BM_ClientDecodingAlone");
  std::printf("\n%zu records (%d contacts with details)\n", TheRig().records, kContacts);
  std::printf("read, batches of 50   %10.0f records/s   decoding alone %10.0f records/s   ratio %.2f   "
              "device's share of the processor time %.2f\n",
              small, decode, decode > 0 ? small / decode : 0.0, reporter.Share("BM_ReadContactsBatchesOf50"));
  std::printf("read, batches of 500  %10.0f records/s   decoding alone %10.0f records/s   ratio %.2f   "
              "device's share of the processor time %.2f\n",
              large, decode, decode > 0 ? large / decode : 0.0, reporter.Share("BM_ReadContactsBatchesOf500"));
  benchmark::Shutdown();
  return 0;
}
