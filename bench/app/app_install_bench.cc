// Installing a very large application package (5 GiB by default) through a real Corvane process and the device
// simulator: the time, the throughput, and Corvane's peak resident memory (VmHWM), which must stay under 64 MiB
// because the package streams from disk in 4 MiB chunks. Beside it, the same bytes uploaded by a bare
// libimobiledevice AFC loop to the same simulator, as the anchor of the ratio.
//
//   build/bin/app_install_bench                       # 5 GiB
//   build/bin/app_install_bench --package_gib=0.5     # smaller, for a quick look
//
// The package is a sparse stored zip64 archive (no disk blocks for its big member; devicesim's WriteLargeIpa) with
// its property lists in front, because the simulator reads packages with minizip 1.1, which cannot open members
// beyond 4 GiB here (Corvane can; its unit tests cover that). The simulated device's copy is real, so the working
// folder goes to /dev/shm when it has room for it, else to /tmp. Everything is removed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/process_figures.h"
#include "common/side_by_side.h"
#include "devicesim/ipa_builder.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"

namespace {

using namespace std::chrono_literals;

constexpr char kUdid[] = "00008110-001A2D3C0E38801E";
constexpr char kBundleId[] = "com.example.benchmark.big";
constexpr uint64_t kGiB = 1ull << 30;
constexpr uint64_t kRssGoalBytes = 64ull << 20;
constexpr size_t kChunk = 4u << 20;

uint64_t g_package_bytes = 5 * kGiB;

uint64_t FreeBytes(const char* folder) {
  struct statvfs info;
  if (statvfs(folder, &info) != 0) return 0;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

struct Rig {
  std::string dir;
  std::string package;
  devicesim::Simulator simulator;
  std::unique_ptr<e2e::CorvaneHarness> corvane;
  hostlink::Connection* host = nullptr;
  std::string error;

  Rig() {
    // The device's copy is real: room for it and some slack.
    uint64_t needed = g_package_bytes + g_package_bytes / 10 + (256ull << 20);
    const char* base = FreeBytes("/dev/shm") >= needed ? "/dev/shm" : "/tmp";
    if (FreeBytes(base) < needed) {
      error = "not enough free space for the device's copy of the package";
      return;
    }
    dir = bench::MakeBenchFolder("app-install-bench", base == std::string("/dev/shm"));
    if (dir.empty()) {
      error = "cannot make a folder in " + std::string(base);
      return;
    }
    std::printf("working folder %s, package %.2f GiB\n", dir.c_str(), static_cast<double>(g_package_bytes) / kGiB);
    package = dir + "/big.ipa";
    devicesim::ProfileBuilder phone(kUdid);
    devicesim::Value meta = devicesim::Value::Dict();
    meta.Set("itemName", "Big Benchmark App");
    devicesim::LargeIpaSpec spec{.app = {.bundle_id = kBundleId, .executable = "Big", .itunes_metadata = meta},
                                 .payload_bytes = g_package_bytes};
    if (!devicesim::WriteLargeIpa(package, spec, &error) || !phone.Write(dir + "/phone", &error) ||
        !simulator.AddProfile(dir + "/phone", true, &error) || !simulator.Start(dir + "/mux.sock", &error)) {
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    corvane = bench::StartCorvane(dir, simulator.SocketAddress(), 1, &error);
    if (corvane) host = &corvane->host();
  }
  ~Rig() {
    corvane.reset();
    simulator.Stop();
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string DeviceFile(const std::string& device_path) const { return dir + "/phone/afc/" + device_path; }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

void BM_CorvaneInstallsLargePackage(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string command = std::string("{\"uuid\":\"") + kUdid + "\"}";
  std::string arguments = "[\"" + rig.package + "\"]";
  uint64_t task = 5000;
  for (auto _ : state) {
    ++task;
    if (!rig.host->SendCommand(task, 504, command, arguments)) return state.SkipWithError("send failed");
    auto done = rig.host->WaitFor(hostlink::FinalOf(task, 504), 3600s);
    state.PauseTiming();
    bool complete = false;
    std::string outcome;
    for (const hostlink::Report& report : rig.host->pending()) {
      if (report.task_id != task || report.info.find("\"complete\"") == std::string::npos) continue;
      outcome = report.info;
      complete = report.info.find("\"complete\":true") != std::string::npos;
    }
    rig.host->pending().clear();
    std::string copy = rig.DeviceFile(std::string("general_storage/") + kBundleId + ".ipa");
    std::error_code ignored;
    bool whole = std::filesystem::file_size(copy, ignored) == std::filesystem::file_size(rig.package, ignored);
    std::filesystem::remove(copy, ignored);
    state.ResumeTiming();
    if (!done || done->code != 0 || !complete || !whole) {
      std::printf("install outcome: %s; device copy %s\n", outcome.c_str(), whole ? "whole" : "not whole");
      return state.SkipWithError("the install did not complete");
    }
  }
  uint64_t peak = static_cast<uint64_t>(std::max<int64_t>(0, bench::PeakResidentKiB(rig.corvane->corvane().pid()))) * 1024;
  uint64_t size = std::filesystem::file_size(rig.package);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["corvane_peak_rss_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["package_GiB"] = static_cast<double>(size) / kGiB;
  std::printf("Corvane peak resident memory %.1f MiB (goal: under %llu MiB): %s\n", static_cast<double>(peak) / (1 << 20),
              static_cast<unsigned long long>(kRssGoalBytes >> 20), peak > 0 && peak < kRssGoalBytes ? "met" : "MISSED");
}

// The anchor: the same file uploaded over AFC by libimobiledevice alone, 4 MiB per write.
void BM_BareAfcUpload(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  idevice_t device = nullptr;
  lockdownd_client_t lockdown = nullptr;
  lockdownd_service_descriptor_t service = nullptr;
  afc_client_t afc = nullptr;
  if (idevice_new(&device, kUdid) != IDEVICE_E_SUCCESS ||
      lockdownd_client_new_with_handshake(device, &lockdown, "app-install-bench") != LOCKDOWN_E_SUCCESS ||
      lockdownd_start_service(lockdown, "com.apple.afc", &service) != LOCKDOWN_E_SUCCESS ||
      afc_client_new(device, service, &afc) != AFC_E_SUCCESS) {
    state.SkipWithError("no AFC connection");
  }
  std::vector<char> buffer(kChunk);
  uint64_t size = std::filesystem::file_size(rig.package);
  for (auto _ : state) {
    if (afc == nullptr) break;
    int local = ::open(rig.package.c_str(), O_RDONLY);
    uint64_t handle = 0;
    if (local < 0 || afc_file_open(afc, "bare.ipa", AFC_FOPEN_WRONLY, &handle) != AFC_E_SUCCESS) {
      if (local >= 0) ::close(local);
      state.SkipWithError("cannot open the files");
      break;
    }
    ssize_t n = 0;
    bool ok = true;
    while (ok && (n = ::read(local, buffer.data(), buffer.size())) > 0) {
      uint32_t written = 0;
      ok = afc_file_write(afc, handle, buffer.data(), static_cast<uint32_t>(n), &written) == AFC_E_SUCCESS &&
           written == static_cast<uint32_t>(n);
    }
    afc_file_close(afc, handle);
    ::close(local);
    afc_remove_path(afc, "bare.ipa");
    if (!ok || n < 0) {
      state.SkipWithError("upload failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  if (afc) afc_client_free(afc);
  if (service) lockdownd_service_descriptor_free(service);
  if (lockdown) lockdownd_client_free(lockdown);
  if (device) idevice_free(device);
}

BENCHMARK(BM_CorvaneInstallsLargePackage)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_BareAfcUpload)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  std::string package_gib;
  std::vector<char*> rest = bench::TakeOptions(argc, argv, {{"--package_gib", nullptr, &package_gib}});
  if (double gib = std::atof(package_gib.c_str()); gib > 0) g_package_bytes = static_cast<uint64_t>(gib * kGiB);
  return bench::RunSideBySide(static_cast<int>(rest.size()), rest.data(),
                              {{"BM_CorvaneInstallsLargePackage", "BM_BareAfcUpload", "bytes_per_second"}});
}
