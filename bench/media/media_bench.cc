// Lists a generated media library (100,000 tracks with their files, 1,000 playlists of 100 tracks unless told
// otherwise) through the whole path: the snapshot over the simulator's file service, the queries, the list filter's
// file-information request per track, the JSON and the host link. Side by side in the same run:
//   - the sqlite3 program running the same item query on the same file (output to /dev/null);
//   - the listing with every file-service request answered a millisecond late (the simulator's delay fault, as a
//     device over USB), which is what the overlapped filter is for;
//   - the filter's requests for the first 10,000 tracks made in this process on one connection, one at a time,
//     and spread as Corvane spreads them, under the same delay: the speed-up of the overlap.
// Prints tracks per second, Corvane's peak resident memory and the ratios.
//
//   media_bench [--media_tracks=N] [--media_playlists=N] [--media_delay_us=N] [benchmark flags]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/device_layer_watch.h"
#include "common/process_figures.h"
#include "common/side_by_side.h"
#include "common/sqlite_program.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "iOSAPI/mobile_device.h"
#include "support/media/media_test_databases.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/media_file_check.h"
#include "utility/module/media/media_queries.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kUdid[] = "00008030-00000000BE4C0001";
constexpr size_t kFilterSample = 10000;

int64_t g_tracks = 100000;
int64_t g_playlists = 1000;
int64_t g_delay_us = 1000;

std::string TrackFile(int64_t i) { return "T" + std::to_string(i) + ".mp3"; }

struct Rig {
  std::string dir;
  std::string library;  // the generated database, also on the device
  devicesim::Simulator simulator;
  std::unique_ptr<e2e::CorvaneHarness> corvane;
  hostlink::Connection* host = nullptr;
  std::unique_ptr<bench::DeviceLayerWatch> layer;
  AMDeviceHandle device;
  std::string error;

  Rig() {
    dir = bench::MakeBenchFolder("corvane-media-bench", true);
    if (!Build() || !StartCorvane() || !StartLayer()) device.reset();
  }

  bool Build() {
    auto start = Clock::now();
    std::vector<media_test::TrackRow> tracks;
    tracks.reserve(g_tracks);
    for (int64_t i = 0; i < g_tracks; ++i) {
      tracks.push_back({i + 1, "Track " + std::to_string((i * 7919) % g_tracks), 1 + (i % 50 == 0 ? 1 : 0),
                        180000.0 + i % 1000, TrackFile(i), 4000000 + i});
    }
    std::vector<media_test::PlaylistRow> playlists;
    for (int64_t p = 0; p < g_playlists; ++p) {
      media_test::PlaylistRow playlist{1000000 + p, "Playlist " + std::to_string(p), {}};
      for (int64_t k = 0; k < 100; ++k) playlist.item_pids.push_back(1 + (p * 100 + k) % g_tracks);
      playlists.push_back(std::move(playlist));
    }
    library = dir + "/MediaLibrary.sqlitedb";
    if (!media_test::WriteCurrentLibrary(library, tracks, playlists, true, &error)) return false;
    devicesim::ProfileBuilder phone(kUdid);
    std::ifstream in(library, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    phone.AddFile("iTunes_Control/iTunes/MediaLibrary.sqlitedb", bytes);
    for (int64_t i = 0; i < g_tracks; ++i) phone.AddFile("iTunes_Control/Music/F00/" + TrackFile(i), "a");
    if (!phone.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error)) return false;
    if (!simulator.Start(dir + "/mux.sock", &error)) return false;
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    std::fprintf(stderr, "generated %lld tracks, %lld playlists and the files in %.1f s (%.0f MiB database)\n",
                 static_cast<long long>(g_tracks), static_cast<long long>(g_playlists),
                 std::chrono::duration<double>(Clock::now() - start).count(),
                 std::filesystem::file_size(library) / 1048576.0);
    return true;
  }

  bool StartCorvane() {
    corvane = bench::StartCorvane(dir, simulator.SocketAddress(), 1, &error);
    if (!corvane) return false;
    host = &corvane->host();
    return true;
  }

  bool StartLayer() {
    layer = std::make_unique<bench::DeviceLayerWatch>();
    if (!layer->Start(kUdid, 15s, &error)) return false;
    device = layer->device();
    return true;
  }

  bool SetDelay(int64_t delay_us) {
    devicesim::ServiceFault fault;
    if (delay_us > 0) {
      fault.kind = devicesim::FaultKind::kDelayEachRequest;
      fault.delay_us = static_cast<uint64_t>(delay_us);
    }
    return simulator.SetServiceFault(kUdid, "com.apple.afc", fault, &error);
  }

  ~Rig() {
    corvane.reset();
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

// Runs 1000 and counts the listed items; false unless it ends with 0 and lists every track.
bool ListLibrary(Rig& rig, uint64_t task, int64_t* items) {
  *items = 0;
  if (!rig.host->SendCommand(task, 1000, std::string("{\"uuid\":\"") + kUdid + "\",\"info\":{}}")) return false;
  for (;;) {
    std::optional<hostlink::Report> report = rig.host->ReadReport(300s);
    if (!report) return false;
    if (report->task_id != task) continue;
    if (report->is_final()) return report->code == 0;
    if (report->stage == 2 && report->packet_type >= 1004 && report->packet_type <= 1007) {
      // Each item report is an array of records, one "item_pid" each.
      for (size_t at = report->data.find("\"item_pid\""); at != std::string::npos;
           at = report->data.find("\"item_pid\"", at + 1)) {
        ++*items;
      }
    }
  }
}

void ListThroughCorvane(benchmark::State& state, int64_t delay_us) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  if (!rig.SetDelay(delay_us)) return state.SkipWithError(rig.error.c_str());
  static uint64_t task = 100;
  int64_t items = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    if (!ListLibrary(rig, ++task, &items) || items != g_tracks) {
      rig.SetDelay(0);
      return state.SkipWithError("the listing did not complete");
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  rig.SetDelay(0);
  state.counters["tracks_per_s"] = benchmark::Counter(static_cast<double>(g_tracks) * state.iterations(),
                                                      benchmark::Counter::kIsRate);
  state.counters["peak_rss_MiB"] = bench::PeakResidentKiB(rig.corvane->corvane().pid()) / 1024.0;
}

void BM_ListLibrary(benchmark::State& state) { ListThroughCorvane(state, 0); }
void BM_ListLibraryDelayed(benchmark::State& state) { ListThroughCorvane(state, g_delay_us); }

// The sqlite3 program running the item query on the same file, output to /dev/null.
void BM_SqliteItemQuery(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  for (auto _ : state) {
    double seconds = bench::RunSqliteProgram(rig.library, media::kItemSql);
    if (seconds < 0) return state.SkipWithError("sqlite3 failed");
    state.SetIterationTime(seconds);
  }
  state.counters["tracks_per_s"] = benchmark::Counter(static_cast<double>(g_tracks) * state.iterations(),
                                                      benchmark::Counter::kIsRate);
}

// The filter's device requests for the first tracks, in this process, under the delay: `lanes` 1 is one request
// at a time on one connection.
void FilterRequests(benchmark::State& state, int lanes) {
  Rig& rig = TheRig();
  if (!rig.device) return state.SkipWithError(rig.error.c_str());
  if (!rig.SetDelay(g_delay_us)) return state.SkipWithError(rig.error.c_str());
  std::vector<std::string> paths;
  for (size_t i = 0; i < kFilterSample && static_cast<int64_t>(i) < g_tracks; ++i) {
    paths.push_back("iTunes_Control/Music/F00/" + TrackFile(static_cast<int64_t>(i)));
  }
  for (auto _ : state) {
    int error = 0;
    auto record = std::make_shared<ZEBDeviceConnection>(rig.device, 0);
    ZEBDeviceServicePtr afc = StartService(*record, kServiceAfc, &error, {}, true);
    if (!afc) break;
    media::RegularFileCheck check = media::DeviceRegularFileCheck(record, afc, nullptr, lanes);
    auto start = Clock::now();
    std::vector<bool> regular = check(paths);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (std::count(regular.begin(), regular.end(), true) != static_cast<long>(paths.size())) {
      rig.SetDelay(0);
      return state.SkipWithError("a file was not found");
    }
  }
  rig.SetDelay(0);
  state.counters["requests_per_s"] = benchmark::Counter(static_cast<double>(paths.size()) * state.iterations(),
                                                        benchmark::Counter::kIsRate);
}

void BM_FilterOneAtATime(benchmark::State& state) { FilterRequests(state, 1); }
void BM_FilterOverlapped(benchmark::State& state) { FilterRequests(state, media::kFileCheckLanes); }

BENCHMARK(BM_SqliteItemQuery)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListLibrary)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListLibraryDelayed)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterOneAtATime)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterOverlapped)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest = bench::TakeOptions(argc, argv,
                                               {{"--media_tracks", &g_tracks},
                                                {"--media_playlists", &g_playlists},
                                                {"--media_delay_us", &g_delay_us}});
  return bench::RunSideBySide(static_cast<int>(rest.size()), rest.data(),
                              {{"BM_ListLibrary/", "BM_SqliteItemQuery", "tracks_per_s"},
                               {"BM_ListLibraryDelayed", "BM_ListLibrary/", "tracks_per_s"},
                               {"BM_FilterOverlapped", "BM_FilterOneAtATime", "requests_per_s"}});
}
