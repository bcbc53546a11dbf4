// The device layer's file transfers against a bare libimobiledevice loop, on the same simulated device in the same
// run: DownloadFile of a 512 MiB device file into a local file beside afc_file_read requests of 4 MiB written to a
// local file, and UploadFile beside afc_file_write requests. Prints MiB/s and the layer's ratio to the bare loop.
#include <benchmark/benchmark.h>
#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "common/bench_options.h"
#include "common/device_layer_watch.h"
#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"

namespace {

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint32_t kRequest = 4u << 20;
constexpr char kUdid[] = "00008110-00000000BE0C0001";

// A simulated device with a 512 MiB file, and the device layer's reference to it.
struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  std::unique_ptr<bench::DeviceLayerWatch> layer;
  AMDeviceHandle device;
  ZEBDeviceServicePtr afc;

  Rig() {
    dir = bench::MakeBenchFolder("corvane-afc-bench", true);
    std::string error;
    devicesim::ProfileBuilder profile(kUdid);
    profile.AddGeneratedFile("big.bin", kFileSize, 1);
    if (!profile.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error) ||
        !simulator.Start(dir + "/mux.sock", &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    layer = std::make_unique<bench::DeviceLayerWatch>();
    if (!layer->Start(kUdid, std::chrono::seconds(10), &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      return;
    }
    device = layer->device();
    int start_error = 0;
    afc = StartService(ZEBDeviceConnection(device, 0), kServiceAfc, &start_error, {}, true);
  }
  ~Rig() {
    afc.reset();
    device.reset();
    layer.reset();
    simulator.Stop();
    std::filesystem::remove_all(dir);
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// A bare libimobiledevice AFC client on the same device.
struct BareAfc {
  idevice_t device = nullptr;
  lockdownd_client_t lockdown = nullptr;
  lockdownd_service_descriptor_t service = nullptr;
  afc_client_t afc = nullptr;

  BareAfc() {
    if (idevice_new(&device, kUdid) != IDEVICE_E_SUCCESS) return;
    if (lockdownd_client_new_with_handshake(device, &lockdown, "bench") != LOCKDOWN_E_SUCCESS) return;
    if (lockdownd_start_service(lockdown, "com.apple.afc", &service) != LOCKDOWN_E_SUCCESS) return;
    afc_client_new(device, service, &afc);
  }
  ~BareAfc() {
    if (afc) afc_client_free(afc);
    if (service) lockdownd_service_descriptor_free(service);
    if (lockdown) lockdownd_client_free(lockdown);
    if (device) idevice_free(device);
  }
};

void BM_LayerDownloadFile(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.afc) return state.SkipWithError("no device");
  std::string local = rig.dir + "/layer-copy.bin";
  for (auto _ : state) {
    if (!DownloadFile(*rig.afc, "/big.bin", local)) return state.SkipWithError("download failed");
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_BareAfcReadLoop(benchmark::State& state) {
  Rig& rig = TheRig();
  BareAfc bare;
  if (!rig.afc || !bare.afc) return state.SkipWithError("no device");
  std::vector<char> buffer(kRequest);
  std::string local = rig.dir + "/bare-copy.bin";
  for (auto _ : state) {
    uint64_t handle = 0;
    FILE* out = std::fopen(local.c_str(), "wb");
    if (out == nullptr || afc_file_open(bare.afc, "/big.bin", AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) {
      return state.SkipWithError("open failed");
    }
    uint32_t read = 0;
    while (afc_file_read(bare.afc, handle, buffer.data(), kRequest, &read) == AFC_E_SUCCESS && read > 0) {
      std::fwrite(buffer.data(), 1, read, out);
    }
    afc_file_close(bare.afc, handle);
    std::fclose(out);
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_LayerUploadFile(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.afc) return state.SkipWithError("no device");
  std::string local = rig.dir + "/phone/afc/big.bin";  // the device's own file, read as a local one
  for (auto _ : state) {
    if (!UploadFile(*rig.afc, local, "/layer-upload.bin")) return state.SkipWithError("upload failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_BareAfcWriteLoop(benchmark::State& state) {
  Rig& rig = TheRig();
  BareAfc bare;
  if (!rig.afc || !bare.afc) return state.SkipWithError("no device");
  std::vector<char> buffer(kRequest);
  std::string local = rig.dir + "/phone/afc/big.bin";
  for (auto _ : state) {
    uint64_t handle = 0;
    FILE* in = std::fopen(local.c_str(), "rb");
    if (in == nullptr || afc_file_open(bare.afc, "/bare-upload.bin", AFC_FOPEN_WRONLY, &handle) != AFC_E_SUCCESS) {
      return state.SkipWithError("open failed");
    }
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
      uint32_t written = 0;
      afc_file_write(bare.afc, handle, buffer.data(), static_cast<uint32_t>(n), &written);
    }
    afc_file_close(bare.afc, handle);
    std::fclose(in);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(BM_LayerDownloadFile)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BareAfcReadLoop)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_LayerUploadFile)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BareAfcWriteLoop)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv,
                              {{"BM_LayerDownloadFile", "BM_BareAfcReadLoop", "bytes_per_second"},
                               {"BM_LayerUploadFile", "BM_BareAfcWriteLoop", "bytes_per_second"}});
}
