// Throughput of the device simulator as libimobiledevice sees it: a 512 MiB file written and read over AFC in
// 4 MiB requests, beside the bare usbmuxd tunnel (the simulator's raw stream service) on the same socket in the
// same run, and sixteen devices with four busy AFC connections each. Prints MiB/s and AFC's ratio to the tunnel.
#include <benchmark/benchmark.h>
#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/bench_options.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"

namespace {

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint32_t kRequest = 4u << 20;
constexpr char kUdid[] = "00008110-00BE0C4AB1B2C3D4";
constexpr char kStreamService[] = "com.corvane.devicesim.stream";
constexpr int kDevices = 16;
constexpr int kConnectionsPerDevice = 4;
constexpr uint32_t kManyFileSize = 32u << 20;

std::string ManyUdid(int device) {
  char text[32];
  std::snprintf(text, sizeof(text), "00008110-0001%012d", device);
  return text;
}

// The simulator and its profiles, made once for the whole run.
struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  bool ready = false;

  Rig() {
    // A memory file system when there is one, so the figures are the simulator's and not the disk's block
    // allocation (a fresh 512 MiB file on ext4 here writes at about 0.8 GB/s).
    dir = bench::MakeBenchFolder("devicesim-bench", true);
    std::string error;
    devicesim::ProfileBuilder main(kUdid);
    main.EnableService(kStreamService);
    if (!main.Write(dir + "/main", &error) || !simulator.AddProfile(dir + "/main", true, &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    for (int device = 0; device < kDevices; ++device) {
      std::string name = dir + "/many" + std::to_string(device);
      devicesim::ProfileBuilder profile(ManyUdid(device));
      profile.AddGeneratedFile("shared.bin", kManyFileSize, device);
      if (!profile.Write(name, &error) || !simulator.AddProfile(name, true, &error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return;
      }
    }
    if (!simulator.Start(dir + "/mux.sock", &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    ready = true;
  }
  ~Rig() {
    simulator.Stop();
    std::filesystem::remove_all(dir);
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// A lockdown session and one started service on a device, freed at the end of the scope.
struct Connection {
  idevice_t device = nullptr;
  lockdownd_client_t lockdown = nullptr;
  lockdownd_service_descriptor_t service = nullptr;

  Connection(const std::string& udid, const char* name) {
    if (idevice_new(&device, udid.c_str()) != IDEVICE_E_SUCCESS) return;
    if (lockdownd_client_new_with_handshake(device, &lockdown, "devicesim-bench") != LOCKDOWN_E_SUCCESS) return;
    lockdownd_start_service(lockdown, name, &service);
  }
  ~Connection() {
    if (service) lockdownd_service_descriptor_free(service);
    if (lockdown) lockdownd_client_free(lockdown);
    if (device) idevice_free(device);
  }
};

afc_client_t OpenAfc(Connection& connection) {
  afc_client_t afc = nullptr;
  if (!connection.service || afc_client_new(connection.device, connection.service, &afc) != AFC_E_SUCCESS) {
    return nullptr;
  }
  return afc;
}

bool WriteFile(afc_client_t afc, const std::vector<char>& chunk) {
  uint64_t handle = 0;
  if (afc_file_open(afc, "bench.bin", AFC_FOPEN_WRONLY, &handle) != AFC_E_SUCCESS) return false;
  bool ok = true;
  for (uint64_t done = 0; ok && done < kFileSize; done += kRequest) {
    uint32_t written = 0;
    ok = afc_file_write(afc, handle, chunk.data(), kRequest, &written) == AFC_E_SUCCESS && written == kRequest;
  }
  afc_file_close(afc, handle);
  return ok;
}

void BM_AfcWrite512MiB(benchmark::State& state) {
  TheRig();
  Connection connection(kUdid, "com.apple.afc");
  afc_client_t afc = OpenAfc(connection);
  if (!TheRig().ready || !afc) return state.SkipWithError("no AFC connection");
  std::vector<char> chunk(kRequest, 'w');
  for (auto _ : state) {
    if (!WriteFile(afc, chunk)) return state.SkipWithError("AFC write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  afc_client_free(afc);
}

void BM_AfcRead512MiB(benchmark::State& state) {
  TheRig();
  Connection connection(kUdid, "com.apple.afc");
  afc_client_t afc = OpenAfc(connection);
  if (!TheRig().ready || !afc) return state.SkipWithError("no AFC connection");
  std::vector<char> buffer(kRequest);
  uint64_t largest_answer = 0;
  for (auto _ : state) {
    uint64_t handle = 0;
    if (afc_file_open(afc, "bench.bin", AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) {
      return state.SkipWithError("run the write benchmark first");
    }
    uint64_t done = 0;
    while (done < kFileSize) {
      uint32_t got = 0;
      if (afc_file_read(afc, handle, buffer.data(), kRequest, &got) != AFC_E_SUCCESS || got == 0) break;
      largest_answer = std::max<uint64_t>(largest_answer, got);
      done += got;
    }
    afc_file_close(afc, handle);
    if (done != kFileSize) return state.SkipWithError("short read");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  // What libimobiledevice's afc_file_read hands back per 4 MiB request (a cap would show here).
  state.counters["bytes_per_read"] = static_cast<double>(largest_answer);
  afc_client_free(afc);
}

// The raw stream service: 16 bytes (operation, count), then the bytes; a receive is acknowledged with 8 bytes.
bool RawTransfer(idevice_connection_t link, uint64_t operation, std::vector<char>& buffer) {
  char request[16];
  for (int i = 0; i < 8; ++i) {
    request[i] = static_cast<char>(operation >> (8 * i));
    request[8 + i] = static_cast<char>(kFileSize >> (8 * i));
  }
  uint32_t moved = 0;
  if (idevice_connection_send(link, request, sizeof(request), &moved) != IDEVICE_E_SUCCESS) return false;
  for (uint64_t done = 0; done < kFileSize;) {
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kRequest, kFileSize - done));
    idevice_error_t result = operation == 1 ? idevice_connection_receive(link, buffer.data(), want, &moved)
                                            : idevice_connection_send(link, buffer.data(), want, &moved);
    if (result != IDEVICE_E_SUCCESS || moved == 0) return false;
    done += moved;
  }
  if (operation == 2) {
    char ack[8];
    for (uint32_t got = 0; got < sizeof(ack); got += moved) {
      if (idevice_connection_receive(link, ack + got, sizeof(ack) - got, &moved) != IDEVICE_E_SUCCESS) return false;
    }
  }
  return true;
}

void RawTunnel(benchmark::State& state, uint64_t operation) {
  TheRig();
  Connection connection(kUdid, kStreamService);
  idevice_connection_t link = nullptr;
  if (!TheRig().ready || !connection.service ||
      idevice_connect(connection.device, connection.service->port, &link) != IDEVICE_E_SUCCESS) {
    return state.SkipWithError("no raw tunnel");
  }
  std::vector<char> buffer(kRequest, 'r');
  for (auto _ : state) {
    if (!RawTransfer(link, operation, buffer)) return state.SkipWithError("raw transfer failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  idevice_disconnect(link);
}

void BM_RawTunnelDeviceToHost512MiB(benchmark::State& state) { RawTunnel(state, 1); }
void BM_RawTunnelHostToDevice512MiB(benchmark::State& state) { RawTunnel(state, 2); }

// The file system's own cost of a fresh 512 MiB file in the same folder, 4 MiB per write: an AFC upload can be
// no faster than this, whatever the tunnel does.
void BM_LocalFreshFileWrite512MiB(benchmark::State& state) {
  if (!TheRig().ready) return state.SkipWithError("no rig");
  std::vector<char> chunk(kRequest, 'l');
  std::string path = TheRig().dir + "/local.bin";
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return state.SkipWithError("cannot write locally");
    std::setvbuf(file, nullptr, _IONBF, 0);
    for (uint64_t done = 0; done < kFileSize; done += kRequest) std::fwrite(chunk.data(), 1, kRequest, file);
    std::fclose(file);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_SixteenDevicesFourConnectionsEach(benchmark::State& state) {
  if (!TheRig().ready) return state.SkipWithError("no simulator");
  for (auto _ : state) {
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int device = 0; device < kDevices; ++device) {
      for (int c = 0; c < kConnectionsPerDevice; ++c) {
        workers.emplace_back([device, &failures] {
          Connection connection(ManyUdid(device), "com.apple.afc");
          afc_client_t afc = OpenAfc(connection);
          uint64_t handle = 0;
          if (!afc || afc_file_open(afc, "shared.bin", AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) {
            ++failures;
            if (afc) afc_client_free(afc);
            return;
          }
          std::vector<char> buffer(kRequest);
          uint64_t done = 0;
          for (uint32_t got = 1; got > 0 && done < kManyFileSize; done += got) {
            if (afc_file_read(afc, handle, buffer.data(), kRequest, &got) != AFC_E_SUCCESS) break;
          }
          if (done != kManyFileSize) ++failures;
          afc_file_close(afc, handle);
          afc_client_free(afc);
        });
      }
    }
    for (std::thread& worker : workers) worker.join();
    if (failures > 0) return state.SkipWithError("a connection failed");
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * uint64_t{kManyFileSize} * kDevices * kConnectionsPerDevice));
}

BENCHMARK(BM_AfcWrite512MiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfcRead512MiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawTunnelDeviceToHost512MiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawTunnelHostToDevice512MiB)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocalFreshFileWrite512MiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SixteenDevicesFourConnectionsEach)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps each benchmark's bytes per second so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second.value / (1 << 20);
    }
  }
  std::map<std::string, double> rates;  // MiB/s by benchmark name
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto rate = [&](const char* prefix) {
    for (const auto& [name, value] : reporter.rates) {
      if (name.rfind(prefix, 0) == 0) return value;
    }
    return 0.0;
  };
  double afc_read = rate("BM_AfcRead"), afc_write = rate("BM_AfcWrite");
  double raw_down = rate("BM_RawTunnelDeviceToHost"), raw_up = rate("BM_RawTunnelHostToDevice");
  std::printf("\nAFC read  %8.1f MiB/s   raw tunnel device->host %8.1f MiB/s   ratio %.2f\n", afc_read, raw_down,
              raw_down > 0 ? afc_read / raw_down : 0.0);
  std::printf("AFC write %8.1f MiB/s   raw tunnel host->device %8.1f MiB/s   ratio %.2f\n", afc_write, raw_up,
              raw_up > 0 ? afc_write / raw_up : 0.0);
  double local = rate("BM_LocalFreshFileWrite");
  std::printf("AFC write %8.1f MiB/s   local fresh-file write  %8.1f MiB/s   ratio %.2f\n", afc_write, local,
              local > 0 ? afc_write / local : 0.0);
  std::printf("16 devices x 4 AFC connections: %.1f MiB/s in total\n", rate("BM_SixteenDevices"));
  benchmark::Shutdown();
  return 0;
}
