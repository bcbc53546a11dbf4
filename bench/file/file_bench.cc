// The file module's transfers through the whole path, beside the device layer's bare calls in the same run.
//
//  - 702: a device file streamed to a host: a real Corvane process, the simulator (in this process) and hostlink
//    as the host, which takes each 4 MiB chunk and inflates it. Two files: 512 MiB of incompressible bytes (what
//    photos and films look like) and 128 MiB of log-like text; beside them DownloadFile of the same files by the
//    device layer in this process, to a local file. "wire" is the data bytes sent over the zlib level 9 size.
//  - 702 on sixteen devices at once, each streaming 32 MiB of incompressible bytes or 8 MiB of text.
//  - 703: 512 MiB uploaded by the host block by block (journal rewritten after each block, MD5 checked at the
//    end), beside the device layer's UploadFile of the same bytes.
//  - What one 4 MiB chunk costs the report compressor, zlib (level 9 is what type 0 reports used) and libdeflate
//    at several levels, on both kinds of data; and what the upload's MD5 costs per chunk.
//
// --baseline_corvane=PATH runs every Corvane benchmark a second time against that executable (a build of an
// earlier commit), under "/today", so that before and after are measured side by side in one run.
// --device_delay_us=N makes the first device answer each file-service request N microseconds late, as a device
// at the end of a cable does, so that what overlaps the device's time shows.
// Prints MiB/s and the ratios. Files live in /dev/shm when there is one, so the disk does not set the pace.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/device_layer_watch.h"
#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/report_data_compressor.h"
#include "utility/zeb_utility.h"

namespace {

using namespace std::chrono_literals;

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint64_t kTextSize = 128ull << 20;
constexpr uint64_t kChunk = 4ull << 20;
constexpr int kDevices = 16;
constexpr uint64_t kManyRandomSize = 32ull << 20;
constexpr uint64_t kManyTextSize = 8ull << 20;
constexpr uint32_t kSeed = 702;
constexpr char kDeviceFile[] = "/Bench/source.bin";
constexpr char kDeviceText[] = "/Bench/text.log";
constexpr char kManyFile[] = "/Bench/many.bin";
constexpr char kManyText[] = "/Bench/many.log";

std::string g_baseline_corvane;
int64_t g_device_delay_us = 0;

std::string Udid(int device) {
  char udid[32];
  std::snprintf(udid, sizeof udid, "00008110-00000000BE7C%04d", device);
  return udid;
}

std::string Generated(uint64_t size) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(devicesim::ProfileBuilder::GeneratedByte(kSeed, i));
  return bytes;
}

// Log-like text (a log or a database looks more like this than a photo or a film does).
std::string Text(uint64_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += "2023-06-01 10:15:" + std::to_string(line % 60) + " item " + std::to_string(line * 7919 % 100003) +
            " in album Holidays, 4032x3024, IMG_" + std::to_string(line) + ".HEIC\n";
  }
  text.resize(size);
  return text;
}

// The simulator with sixteen devices, Corvane processes that see them (this build's, and the baseline when one is
// named), and the device layer in this process.
struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  std::map<std::string, std::unique_ptr<e2e::CorvaneHarness>> helpers;  // "now", and "today" with a baseline
  std::string content;  // what the first device's source.bin holds, also what the uploads send
  std::string content_md5;
  std::unique_ptr<bench::DeviceLayerWatch> layer;
  AMDeviceHandle device;  // the first device
  std::string error;

  Rig() {
    dir = bench::MakeBenchFolder("corvane-file-bench", true);
    content = Generated(kFileSize);
    content_md5 = Md5Hex(content);
    std::string many_text = Text(kManyTextSize);
    for (int i = 0; i < kDevices; ++i) {
      devicesim::ProfileBuilder phone(Udid(i));
      if (i == 0) {
        phone.AddGeneratedFile(std::string(kDeviceFile).substr(1), kFileSize, kSeed);
        phone.AddFile(std::string(kDeviceText).substr(1), Text(kTextSize));
      }
      phone.AddGeneratedFile(std::string(kManyFile).substr(1), kManyRandomSize, kSeed + i);
      phone.AddFile(std::string(kManyText).substr(1), many_text);
      std::string folder = dir + "/phone" + std::to_string(i);
      if (!phone.Write(folder, &error) || !simulator.AddProfile(folder, true, &error)) return;
    }
    if (!simulator.Start(dir + "/mux.sock", &error) || !DelayFirstDevice()) return;
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    if (!StartCorvane("now", "") || (!g_baseline_corvane.empty() && !StartCorvane("today", g_baseline_corvane)) ||
        !StartLayer()) {
      device.reset();
    }
  }

  bool DelayFirstDevice() {
    if (g_device_delay_us <= 0) return true;
    devicesim::ServiceFault fault;
    fault.kind = devicesim::FaultKind::kDelayEachRequest;
    fault.delay_us = static_cast<uint64_t>(g_device_delay_us);
    return simulator.SetServiceFault(Udid(0), "com.apple.afc", fault, &error);
  }

  bool StartCorvane(const std::string& name, const std::string& program) {
    auto helper = bench::StartCorvane(dir, simulator.SocketAddress(), kDevices, &error, program);
    if (!helper) {
      error = "Corvane (" + name + "): " + error;
      return false;
    }
    helpers[name] = std::move(helper);
    return true;
  }

  bool StartLayer() {
    layer = std::make_unique<bench::DeviceLayerWatch>();
    if (!layer->Start(Udid(0), 15s, &error)) return false;
    device = layer->device();
    return true;
  }

  ~Rig() {
    helpers.clear();
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

hostlink::Connection* HostOf(benchmark::State& state, const std::string& helper) {
  Rig& rig = TheRig();
  if (!rig.device) {
    state.SkipWithError(rig.error.c_str());
    return nullptr;
  }
  return &rig.helpers.at(helper)->host();
}

// The data bytes of a report as they travelled (before the host inflated them).
uint64_t WireDataBytes(const hostlink::Report& report) {
  return report.payload_size - report.marker.size() - report.text_json.size() - 2;
}

// Streams `path` from every device in `devices` at once; adds the bytes received and sent over the wire.
bool Stream702(hostlink::Connection& host, uint64_t* task, int devices, const char* path, uint64_t size,
               uint64_t* wire) {
  std::set<uint64_t> running;
  for (int i = 0; i < devices; ++i) {
    ++*task;
    running.insert(*task);
    host.SendCommand(*task, 702, R"({"uuid":")" + Udid(i) + R"(","stage":1,"info":{"path":")" + path + "\"}}");
  }
  std::map<uint64_t, uint64_t> received;
  while (!running.empty()) {
    std::optional<hostlink::Report> report = host.ReadReport(60s);
    if (!report) return false;
    if (!running.count(report->task_id)) continue;  // a device event, or a late report of an earlier run
    if (report->is_final()) {
      if (report->code != 0 || received[report->task_id] != size) return false;
      running.erase(report->task_id);
      continue;
    }
    received[report->task_id] += report->data.size();
    *wire += WireDataBytes(*report);
  }
  return true;
}

void Download702(benchmark::State& state, std::string helper, int devices, const char* path, uint64_t size,
                 double zlib9_ratio) {
  hostlink::Connection* host = HostOf(state, helper);
  if (host == nullptr) return;
  static uint64_t task = 7020;
  uint64_t wire = 0;
  for (auto _ : state) {
    if (!Stream702(*host, &task, devices, path, size, &wire)) return state.SkipWithError("the download failed");
  }
  uint64_t bytes = state.iterations() * devices * size;
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["wire_over_zlib9"] = static_cast<double>(wire) / (zlib9_ratio * static_cast<double>(bytes));
}

ZEBDeviceServicePtr LayerAfc(Rig& rig) {
  int error = 0;
  ZEBDeviceConnection record(rig.device, 0);
  return StartService(record, kServiceAfc, &error, {}, true);
}

void DownloadFileBareLayer(benchmark::State& state, const char* path, uint64_t size) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  ZEBDeviceServicePtr afc = LayerAfc(rig);
  if (!afc) return state.SkipWithError("no file service");
  std::string local = rig.dir + "/downloaded.bin";
  for (auto _ : state) {
    if (!DownloadFile(*afc, path, local)) return state.SkipWithError("DownloadFile failed");
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void Upload703(benchmark::State& state, std::string helper) {
  hostlink::Connection* host = HostOf(state, helper);
  if (host == nullptr) return;
  Rig& rig = TheRig();
  static uint64_t task = 7030;
  std::string start = R"({"uuid":")" + Udid(0) +
                      R"(","stage":1,"info":{"name":"uploaded-)" + helper + R"(.bin","media":true,"dir":"/Bench","size":)" +
                      std::to_string(kFileSize) + R"(,"md5":")" + rig.content_md5 + "\"}}";
  for (auto _ : state) {
    ++task;
    host->SendCommand(task, 703, start);
    for (;;) {
      std::optional<hostlink::Report> report = host->WaitFor([](const hostlink::Report& r) { return r.task_id == task; }, 60s);
      if (!report) return state.SkipWithError("no report");
      if (report->is_final()) {
        if (report->code != 0) return state.SkipWithError("the upload failed");
        break;
      }
      long long offset = 0, length = 0;
      std::sscanf(report->info.c_str(), "{\"offset\":%lld,\"offset_length\":%lld}", &offset, &length);
      host->SendCommand(task, 703, R"({"stage":2,"code":0,"info":)" + report->info + "}",
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
    if (!UploadFile(*afc, local, "/Bench/bare-uploaded.bin")) {
      return state.SkipWithError("UploadFile failed");
    }
  }
  std::filesystem::remove(local);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

const std::string& RandomChunk() {
  static const std::string chunk = Generated(kChunk);
  return chunk;
}

const std::string& TextChunk() {
  static const std::string chunk = Text(kChunk);
  return chunk;
}

// Out bytes over in bytes at zlib level 9, what the wire figures are measured against.
double Zlib9Ratio(const std::string& chunk) {
  std::string out;
  ZlibCompress(chunk, 9, &out);
  return static_cast<double>(out.size()) / static_cast<double>(chunk.size());
}

template <typename Compress>
void CompressChunk(benchmark::State& state, const std::string& chunk, Compress compress) {
  size_t out_size = 0;
  for (auto _ : state) {
    out_size = compress(chunk);
    if (out_size == 0) return state.SkipWithError("the compressor failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk.size()));
  state.counters["ratio_out_in"] = static_cast<double>(out_size) / static_cast<double>(chunk.size());
}

void ZlibChunk(benchmark::State& state, const std::string& chunk, int level) {
  std::string out;
  CompressChunk(state, chunk, [&](const std::string& in) { return ZlibCompress(in, level, &out) ? out.size() : 0; });
}

void LibdeflateChunk(benchmark::State& state, const std::string& chunk, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_zlib_compress_bound(compressor, chunk.size()), '\0');
  CompressChunk(state, chunk, [&](const std::string& in) {
    return libdeflate_zlib_compress(compressor, in.data(), in.size(), out.data(), out.size());
  });
  libdeflate_free_compressor(compressor);
}

void ReportDataChunk(benchmark::State& state, const std::string& chunk) {
  std::string out;
  CompressChunk(state, chunk, [&](const std::string& in) { return report_data::Compress(in, &out) ? out.size() : 0; });
}

void StoredChunk(benchmark::State& state, const std::string& chunk) {
  std::string out;
  CompressChunk(state, chunk, [&](const std::string& in) {
    report_data::Store(in, &out);
    return out.size();
  });
}

// The upload's own MD5 of every block it receives in order.
void BM_Md5Chunk(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Md5Hex(RandomChunk()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}

void Register() {
  auto timed = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2); };
  std::vector<std::string> helpers = {"now"};
  if (!g_baseline_corvane.empty()) helpers.push_back("today");
  double random9 = Zlib9Ratio(RandomChunk()), text9 = Zlib9Ratio(TextChunk());
  for (const std::string& h : helpers) {
    timed(benchmark::RegisterBenchmark(("702_random/" + h).c_str(), Download702, h, 1, kDeviceFile, kFileSize, random9));
    timed(benchmark::RegisterBenchmark(("702_text/" + h).c_str(), Download702, h, 1, kDeviceText, kTextSize, text9));
    timed(benchmark::RegisterBenchmark(("702_16_devices_random/" + h).c_str(), Download702, h, kDevices, kManyFile,
                                       kManyRandomSize, random9));
    timed(benchmark::RegisterBenchmark(("702_16_devices_text/" + h).c_str(), Download702, h, kDevices, kManyText,
                                       kManyTextSize, text9));
    timed(benchmark::RegisterBenchmark(("703/" + h).c_str(), Upload703, h));
  }
  timed(benchmark::RegisterBenchmark("DownloadFileBare_random", DownloadFileBareLayer, kDeviceFile, kFileSize));
  timed(benchmark::RegisterBenchmark("DownloadFileBare_text", DownloadFileBareLayer, kDeviceText, kTextSize));
  timed(benchmark::RegisterBenchmark("UploadFileBare", BM_UploadFileBareLayer));
  for (auto [name, chunk] : {std::pair{"random", &RandomChunk}, std::pair{"text", &TextChunk}}) {
    const std::string& data = chunk();
    std::string n = name;
    benchmark::RegisterBenchmark(("chunk_report_data/" + n).c_str(), ReportDataChunk, std::cref(data))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("chunk_stored/" + n).c_str(), StoredChunk, std::cref(data))
        ->Unit(benchmark::kMillisecond);
    for (int level : {9, 6, 1}) {
      benchmark::RegisterBenchmark(("chunk_zlib" + std::to_string(level) + "/" + n).c_str(), ZlibChunk,
                                   std::cref(data), level)
          ->Unit(benchmark::kMillisecond);
    }
    for (int level : {12, 9, 8, 7, 6, 1}) {
      benchmark::RegisterBenchmark(("chunk_libdeflate" + std::to_string(level) + "/" + n).c_str(), LibdeflateChunk,
                                   std::cref(data), level)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RegisterBenchmark("chunk_md5", BM_Md5Chunk)->Unit(benchmark::kMillisecond);
  // One message of a 201 listing: small data compressed one report at a time.
  static const std::string message =
      R"({"ROWID":123456,"guid":"6F1C2D3E-4B5A-4C6D-8E9F-0A1B2C3D4E5F","text":"See you at the station at 8, )"
      R"(bring the tickets please","handle_id":42,"service":"SMS","date":"2023-06-01 10:15:42","is_from_me":0,)"
      R"("is_read":1,"cache_roomnames":"","account":"p:+447700900123"})";
  benchmark::RegisterBenchmark("message_report_data", ReportDataChunk, std::cref(message));
  benchmark::RegisterBenchmark("message_zlib9", ZlibChunk, std::cref(message), 9);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest = bench::TakeOptions(
      argc, argv, {{"--baseline_corvane", nullptr, &g_baseline_corvane}, {"--device_delay_us", &g_device_delay_us}});
  int rest_count = static_cast<int>(rest.size());
  Register();
  const std::string bytes = "bytes_per_second";
  std::vector<bench::Ratio> ratios = {
      {"702_random/now", "DownloadFileBare_random", bytes},
      {"702_random/today", "DownloadFileBare_random", bytes},
      {"702_text/now", "DownloadFileBare_text", bytes},
      {"702_text/now", "702_text/today", bytes},
      {"702_random/now", "702_random/today", bytes},
      {"702_16_devices_random/now", "702_16_devices_random/today", bytes},
      {"702_16_devices_text/now", "702_16_devices_text/today", bytes},
      {"702_16_devices_random/now", "DownloadFileBare_random", bytes},
      {"703/now", "UploadFileBare", bytes},
      {"703/today", "UploadFileBare", bytes},
      {"703/now", "703/today", bytes},
      {"chunk_report_data/random", "chunk_zlib9/random", bytes},
      {"chunk_report_data/text", "chunk_zlib9/text", bytes},
      {"chunk_report_data/text", "chunk_zlib9/text", "ratio_out_in"},
      {"chunk_libdeflate9/text", "chunk_zlib9/text", "ratio_out_in"},
      {"chunk_libdeflate6/text", "chunk_zlib9/text", "ratio_out_in"},
      {"chunk_md5", "UploadFileBare", bytes},
      {"message_report_data", "message_zlib9", bytes},
      {"message_report_data", "message_zlib9", "ratio_out_in"}};
  return bench::RunSideBySide(rest_count, rest.data(), ratios);
}
