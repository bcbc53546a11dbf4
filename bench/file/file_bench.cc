// The file module's transfers through the whole path, beside the device layer's bare calls in the same run.
//
//  - 702: a 512 MiB device file streamed to a host: a real Corvane process, the simulator (in this process) and
//    hostlink as the host, which takes each 4 MiB chunk and inflates it (type 0 data are zlib level 9);
//    beside it DownloadFile of the same file by the device layer in this process, to a local file.
//  - 703: 512 MiB uploaded by the host block by block (journal rewritten after each block, MD5 checked at the
//    end), beside the device layer's UploadFile of the same bytes.
//  - What zlib costs per 4 MiB chunk of that file at level 9 (what type 0 reports use), 6, 1 and 0, and on
//    text-like data; and what the upload's MD5 costs per chunk.
// Prints MiB/s and the ratios. Files live in /dev/shm when there is one, so the disk does not set the pace.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "hostlink/corvane_process.h"
#include "hostlink/listener.h"
#include "iOSAPI/mobile_device.h"
#include "iOSAPI/mobile_export_fun.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/zeb_utility.h"

namespace {

using namespace std::chrono_literals;

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint64_t kChunk = 4ull << 20;
constexpr uint32_t kSeed = 702;
constexpr char kUdid[] = "00008110-00000000BE7C0702";
constexpr char kDeviceFile[] = "/Bench/source.bin";

std::string Generated(uint64_t size) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(devicesim::ProfileBuilder::GeneratedByte(kSeed, i));
  return bytes;
}

// The simulator with one device, a Corvane process that sees it, and the device layer in this process.
struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  hostlink::HostListener listener;
  hostlink::CorvaneProcess corvane;
  std::unique_ptr<hostlink::Connection> host;
  std::string content;  // what the device file holds, also what the uploads send
  std::string content_md5;
  std::thread run_loop;
  std::mutex mutex;
  std::condition_variable attached;
  AMDeviceHandle device;
  std::string error;

  Rig() {
    char shm_pattern[] = "/dev/shm/corvane-file-bench.XXXXXX";
    char tmp_pattern[] = "/tmp/corvane-file-bench.XXXXXX";
    char* made = mkdtemp(shm_pattern);
    dir = made ? made : mkdtemp(tmp_pattern);
    content = Generated(kFileSize);
    content_md5 = Md5Hex(content);
    devicesim::ProfileBuilder phone(kUdid);
    phone.AddGeneratedFile(std::string(kDeviceFile).substr(1), kFileSize, kSeed);
    if (!phone.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error) ||
        !simulator.Start(dir + "/mux.sock", &error)) {
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    if (!StartCorvane() || !StartLayer()) device.reset();
  }

  bool StartCorvane() {
    listener.Listen(0);
    hostlink::StartParams params = hostlink::StartParams::ForListener(listener.port());
    params.open_log = 0;
    hostlink::CorvaneOptions options;
    options.env = {{"TMPDIR", dir}, {"USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress()}};
    options.stdout_path = dir + "/corvane.out";
    options.stderr_path = dir + "/corvane.out";
    if (!corvane.Start(params, options) || !(host = listener.Accept(15s))) {
      error = "Corvane did not connect";
      return false;
    }
    if (!host->WaitFor([](const hostlink::Report& r) { return r.packet_type == 1; }, 30s)) {
      error = "Corvane did not see the device";
      return false;
    }
    host->pending().clear();
    return true;
  }

  bool StartLayer() {
    if (!CMobileExportFun::GetInstance().Init() ||
        AMDeviceNotificationSubscribe(&Rig::OnNotification, this) != kAMDSuccess) {
      error = "the device library did not load";
      return false;
    }
    run_loop = std::thread(&AMDeviceRunLoopRun);
    std::unique_lock<std::mutex> lock(mutex);
    if (!attached.wait_for(lock, 15s, [this] { return device != nullptr; })) {
      error = "the device layer did not see the device";
      return false;
    }
    return true;
  }

  static void OnNotification(const AMDeviceNotification& notification, void* context) {
    auto* rig = static_cast<Rig*>(context);
    if (notification.message != kAMDeviceAttached) return;
    std::lock_guard<std::mutex> lock(rig->mutex);
    rig->device = notification.device;
    rig->attached.notify_all();
  }

  ~Rig() {
    host.reset();
    corvane.Stop(2s);
    device.reset();
    AMDeviceRunLoopStop();
    if (run_loop.joinable()) run_loop.join();
    AMDeviceNotificationUnsubscribe();
    simulator.Stop();
    std::filesystem::remove_all(dir);
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

std::optional<hostlink::Report> NextOf(hostlink::Connection& host, uint64_t task) {
  return host.WaitFor([task](const hostlink::Report& r) { return r.task_id == task; }, 60s);
}

void BM_Download702ThroughCorvane(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  uint64_t task = 7020;
  for (auto _ : state) {
    ++task;
    rig.host->SendCommand(task, 702, std::string(R"({"uuid":")") + kUdid + R"(","stage":1,"info":{"path":")" +
                                         kDeviceFile + "\"}}");
    uint64_t received = 0;
    for (;;) {
      std::optional<hostlink::Report> report = NextOf(*rig.host, task);
      if (!report) return state.SkipWithError("no report");
      if (report->is_final()) {
        if (report->code != 0) return state.SkipWithError("the download failed");
        break;
      }
      received += report->data.size();
    }
    if (received != kFileSize) return state.SkipWithError("short download");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

ZEBDeviceServicePtr LayerAfc(Rig& rig) {
  int error = 0;
  return StartService(rig.device.get(), kServiceAfc, &error, {}, true);
}

void BM_DownloadFileBareLayer(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  ZEBDeviceServicePtr afc = LayerAfc(rig);
  if (!afc) return state.SkipWithError("no file service");
  std::string local = rig.dir + "/downloaded.bin";
  for (auto _ : state) {
    if (!DownloadFile(afc->afcConnection, kDeviceFile, local)) return state.SkipWithError("DownloadFile failed");
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_Upload703ThroughCorvane(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  uint64_t task = 7030;
  std::string start = std::string(R"({"uuid":")") + kUdid +
                      R"(","stage":1,"info":{"name":"uploaded.bin","media":true,"dir":"/Bench","size":)" +
                      std::to_string(kFileSize) + R"(,"md5":")" + rig.content_md5 + "\"}}";
  for (auto _ : state) {
    ++task;
    rig.host->SendCommand(task, 703, start);
    for (;;) {
      std::optional<hostlink::Report> report = NextOf(*rig.host, task);
      if (!report) return state.SkipWithError("no report");
      if (report->is_final()) {
        if (report->code != 0) return state.SkipWithError("the upload failed");
        break;
      }
      long long offset = 0, length = 0;
      std::sscanf(report->info.c_str(), "{\"offset\":%lld,\"offset_length\":%lld}", &offset, &length);
      rig.host->SendCommand(task, 703, R"({"stage":2,"code":0,"info":)" + report->info + "}",
                            std::string_view(rig.content).substr(offset, length));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_UploadFileBareLayer(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  ZEBDeviceServicePtr afc = LayerAfc(rig);
  if (!afc) return state.SkipWithError("no file service");
  std::string local = rig.dir + "/to-upload.bin";
  std::ofstream(local, std::ios::binary).write(rig.content.data(), static_cast<std::streamsize>(rig.content.size()));
  for (auto _ : state) {
    if (!UploadFile(afc->afcConnection, local, "/Bench/bare-uploaded.bin")) {
      return state.SkipWithError("UploadFile failed");
    }
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

// 4 MiB of text-like bytes (a log or a database would look more like this than a photo or a film does).
std::string TextChunk() {
  std::string text;
  for (int line = 0; text.size() < kChunk; ++line) {
    text += "2023-06-01 10:15:" + std::to_string(line % 60) + " item " + std::to_string(line * 7919 % 100003) +
            " in album Holidays, 4032x3024, IMG_" + std::to_string(line) + ".HEIC\n";
  }
  text.resize(kChunk);
  return text;
}

// One 4 MiB chunk, compressed as a type 0 report's data are (level 9) and at other levels; level 0 writes the
// same zlib stream format with stored blocks, so a host would not notice the difference.
void ZlibChunk(benchmark::State& state, const std::string& chunk) {
  std::string out;
  int level = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!ZlibCompress(chunk, level, &out)) return state.SkipWithError("zlib failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
  state.counters["ratio_out_in"] = static_cast<double>(out.size()) / static_cast<double>(kChunk);
}

void BM_ZlibChunk(benchmark::State& state) {
  static const std::string chunk = Generated(kChunk);
  ZlibChunk(state, chunk);
}

void BM_ZlibTextChunk(benchmark::State& state) {
  static const std::string chunk = TextChunk();
  ZlibChunk(state, chunk);
}

// The upload's own MD5 of every block it receives in order.
void BM_Md5Chunk(benchmark::State& state) {
  static const std::string chunk = Generated(kChunk);
  for (auto _ : state) benchmark::DoNotOptimize(Md5Hex(chunk));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}

BENCHMARK(BM_Download702ThroughCorvane)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_DownloadFileBareLayer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Upload703ThroughCorvane)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_UploadFileBareLayer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ZlibChunk)->Arg(9)->Arg(6)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibTextChunk)->Arg(9)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5Chunk)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv,
                              {{"BM_Download702ThroughCorvane", "BM_DownloadFileBareLayer", "bytes_per_second"},
                               {"BM_Upload703ThroughCorvane", "BM_UploadFileBareLayer", "bytes_per_second"},
                               {"BM_ZlibChunk/9", "BM_DownloadFileBareLayer", "bytes_per_second"},
                               {"BM_ZlibChunk/1", "BM_ZlibChunk/9", "bytes_per_second"},
                               {"BM_ZlibChunk/0", "BM_ZlibChunk/9", "bytes_per_second"},
                               {"BM_Md5Chunk", "BM_UploadFileBareLayer", "bytes_per_second"}});
}
