// The anchor for backup speed: Debian's idevicebackup2 backing up a simulated device whose backup source holds
// 1 GiB of media and 20,000 small files, beside libimobiledevice's AFC reading the same bytes (one large file in
// 4 MiB requests and 20,000 small ones, each opened, read and closed) from the same simulator in the same run.
// Prints MiB/s and files/s of both and the backup's ratio to AFC. The media file is sparse and everything lives
// in a memory file system when there is one, so the figures are the protocol's and not the disk's.
#include <benchmark/benchmark.h>
#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "common/quiet_program.h"
#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"

namespace {

constexpr uint64_t kMediaSize = 1ull << 30;
constexpr int kSmallFiles = 20000;
constexpr uint64_t kSmallSize = 4096;
constexpr uint32_t kRequest = 4u << 20;
constexpr char kUdid[] = "00008110-00BE0C4AB1B2C3D5";
constexpr char kMediaPath[] = "Media/DCIM/100APPLE/IMG_0001.MOV";
constexpr char kTreeFolder[] = "Library/Caches/Small";

uint64_t TotalBytes() { return kMediaSize + kSmallFiles * kSmallSize; }

struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  bool ready = false;

  Rig() {
    dir = bench::MakeBenchFolder("devicesim-backup-bench", true);
    devicesim::ProfileBuilder phone(kUdid);
    // The same bytes twice: in the backup source for the backup, in afc/ for AFC.
    phone.AddBackupSparseFile("CameraRollDomain", kMediaPath, kMediaSize)
        .AddBackupTree("HomeDomain", kTreeFolder, kSmallFiles, kSmallSize, 7)
        .AddSparseFile(kMediaPath, kMediaSize);
    for (int i = 0; i < kSmallFiles; ++i) {
      phone.AddGeneratedFile(std::string(kTreeFolder) + "/" + std::to_string(i % 100) + "/" + std::to_string(i) +
                                 ".dat",
                             kSmallSize, 7 + i);
    }
    std::string error;
    if (!phone.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error) ||
        !simulator.Start(dir + "/mux.sock", &error)) {
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

// Runs idevicebackup2 with its output discarded; true when it exits 0.
bool RunBackup(const std::string& folder) {
  return bench::RunQuietly({"idevicebackup2", "-u", kUdid, "backup", "--full", folder}).ok;
}

void SetFigures(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes()));
  state.counters["files_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * (kSmallFiles + 1)), benchmark::Counter::kIsRate);
}

void BM_Idevicebackup2FullBackup(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ready) return state.SkipWithError("simulator not ready");
  std::string folder = rig.dir + "/backups";
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    if (!RunBackup(folder)) return state.SkipWithError("idevicebackup2 failed");
  }
  std::filesystem::remove_all(folder);
  SetFigures(state);
}

bool ReadWhole(afc_client_t afc, const std::string& path, std::vector<char>& buffer) {
  uint64_t handle = 0;
  if (afc_file_open(afc, path.c_str(), AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) return false;
  uint32_t got = 0;
  do {
    if (afc_file_read(afc, handle, buffer.data(), kRequest, &got) != AFC_E_SUCCESS) break;
  } while (got == kRequest);
  afc_file_close(afc, handle);
  return true;
}

void BM_AfcReadOfTheSameBytes(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ready) return state.SkipWithError("simulator not ready");
  idevice_t device = nullptr;
  lockdownd_client_t lockdown = nullptr;
  lockdownd_service_descriptor_t service = nullptr;
  afc_client_t afc = nullptr;
  if (idevice_new(&device, kUdid) != IDEVICE_E_SUCCESS ||
      lockdownd_client_new_with_handshake(device, &lockdown, "bench") != LOCKDOWN_E_SUCCESS ||
      lockdownd_start_service(lockdown, "com.apple.afc", &service) != LOCKDOWN_E_SUCCESS ||
      afc_client_new(device, service, &afc) != AFC_E_SUCCESS) {
    return state.SkipWithError("no AFC connection");
  }
  std::vector<char> buffer(kRequest);
  for (auto _ : state) {
    bool ok = ReadWhole(afc, std::string("/") + kMediaPath, buffer);
    for (int i = 0; ok && i < kSmallFiles; ++i) {
      ok = ReadWhole(afc, std::string("/") + kTreeFolder + "/" + std::to_string(i % 100) + "/" + std::to_string(i) + ".dat",
                     buffer);
    }
    if (!ok) return state.SkipWithError("AFC read failed");
  }
  afc_client_free(afc);
  lockdownd_service_descriptor_free(service);
  lockdownd_client_free(lockdown);
  idevice_free(device);
  SetFigures(state);
}

BENCHMARK(BM_Idevicebackup2FullBackup)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfcReadOfTheSameBytes)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv,
                              {{"BM_Idevicebackup2FullBackup", "BM_AfcReadOfTheSameBytes", "bytes_per_second"},
                               {"BM_Idevicebackup2FullBackup", "BM_AfcReadOfTheSameBytes", "files_per_second"}});
}
