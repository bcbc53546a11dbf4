// Lists a generated iOS 16-shaped photo library (200,000 photos in 500 albums unless told otherwise) on a simulated
// phone through the real Corvane process to a host: the camera roll with a fresh copy of the library (refresh),
// the camera roll again from the copy, and the album list. Beside it, the sqlite3 program runs the same camera
// roll statement and the same album statements on the same file, output to /dev/null. Prints photos per second,
// Corvane's peak resident memory (also for a library a tenth the size, to show what grows with the photos), and
// the ratio to sqlite3; and, for the module's own share, the camera roll query with its listing in this process.
//
//   photo_bench [--photo_assets=N] [--photo_albums=N] [benchmark flags]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/process_figures.h"
#include "common/side_by_side.h"
#include "common/sqlite_program.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "support/photo/photo_test_databases.h"
#include "utility/module/photo/photo_forms.h"
#include "utility/module/photo/photo_listing.h"
#include "utility/module/photo/photo_sql.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kUdid[] = "00008120-0011223344556677";

int64_t g_assets = 200000;
int64_t g_albums = 500;
std::string g_folder;

struct Listing {
  bool ok = false;
  double seconds = 0;
  int64_t objects = 0;
};

struct Session {
  Listing roll_with_copy, roll, albums;
  int64_t peak_kib = 0;
};
Session g_full, g_tenth;
double g_sqlite_roll_seconds = -1, g_sqlite_albums_seconds = -1;

std::string LibraryPath(int64_t assets) {
  return g_folder + "/library-" + std::to_string(assets) + "/Photos.sqlite";
}

// The library and a phone profile whose media partition holds it.
std::string MakeProfile(int64_t assets) {
  std::string library = LibraryPath(assets);
  std::string profile = g_folder + "/phone-" + std::to_string(assets);
  if (std::filesystem::exists(profile)) return profile;
  std::filesystem::create_directories(std::filesystem::path(library).parent_path());
  PhotoLibrarySpec spec;
  spec.join_number = 28;
  spec.photos = static_cast<int>(assets);
  spec.albums = static_cast<int>(g_albums);
  spec.negative_sizes = false;  // every size known: no device look-ups the sqlite3 program would not make
  std::string error;
  auto start = Clock::now();
  if (!WritePhotoLibrary(library, spec, &error)) {
    std::fprintf(stderr, "cannot generate %s: %s\n", library.c_str(), error.c_str());
    return std::string();
  }
  std::fprintf(stderr, "generated %lld photos in %lld albums in %.1f s (%.0f MiB)\n", static_cast<long long>(assets),
               static_cast<long long>(g_albums), std::chrono::duration<double>(Clock::now() - start).count(),
               std::filesystem::file_size(library) / 1048576.0);
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetDeviceName("Bench Phone").SetProductVersion("16.4.1").AddFolder("PhotoData");
  if (!phone.Write(profile, &error)) {
    std::fprintf(stderr, "profile: %s\n", error.c_str());
    return std::string();
  }
  std::filesystem::copy_file(library, profile + "/afc/PhotoData/Photos.sqlite");
  return profile;
}

size_t Occurrences(const std::string& text, const char* needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

Listing RunListing(hostlink::Connection& host, uint64_t task, uint32_t type, const std::string& info) {
  Listing listing;
  std::string command = std::string("{\"uuid\":\"") + kUdid + "\",\"info\":" + info + "}";
  auto start = Clock::now();
  if (!host.SendCommand(task, type, command)) return listing;
  const char* object = type == 401 ? "{\"COUNT\":" : "{\"PATH\":";
  for (;;) {
    std::optional<hostlink::Report> report = host.ReadReport(300s);
    if (!report) return listing;
    if (report->task_id != task) continue;
    if (report->is_final()) {
      listing.ok = report->code == 0;
      break;
    }
    if (report->stage == 2) listing.objects += static_cast<int64_t>(Occurrences(report->data, object));
  }
  listing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return listing;
}

// A simulator with the phone, Corvane pointed at it, and the three listings.
Session ListThroughCorvane(const std::string& profile) {
  Session session;
  devicesim::Simulator simulator;
  std::string error;
  if (!simulator.Start(g_folder + "/usbmuxd.sock", &error) || !simulator.AddProfile(profile, true, &error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return session;
  }
  std::unique_ptr<e2e::CorvaneHarness> corvane = bench::StartCorvane(g_folder, simulator.SocketAddress(), 1, &error);
  if (!corvane) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return session;
  }
  hostlink::Connection& host = corvane->host();
  session.roll_with_copy = RunListing(host, 11, 400, "{\"refresh\":1}");
  session.roll = RunListing(host, 12, 400, "{\"refresh\":0}");
  session.albums = RunListing(host, 13, 401, "{\"refresh\":0}");
  session.peak_kib = bench::PeakResidentKiB(corvane->corvane().pid());
  corvane.reset();
  simulator.Stop();
  return session;
}

double PerSecond(const Listing& listing) { return listing.seconds > 0 ? listing.objects / listing.seconds : 0; }

void BM_CorvaneListings(benchmark::State& state) {
  std::string full = MakeProfile(g_assets);
  std::string tenth = MakeProfile(g_assets / 10);
  for (auto _ : state) {
    g_tenth = ListThroughCorvane(tenth);
    g_full = ListThroughCorvane(full);
    state.SetIterationTime(g_full.roll.seconds);
  }
  int64_t visible = 0;
  for (int64_t i = 1; i <= g_assets; ++i) visible += i % 29 != 0 ? 1 : 0;  // the generator's trash
  if (!g_full.roll.ok || g_full.roll.objects != visible || !g_full.albums.ok) {
    state.SkipWithError("a listing did not complete");
  }
  state.counters["roll_photos_per_s"] = PerSecond(g_full.roll);
  state.counters["roll_with_copy_photos_per_s"] = PerSecond(g_full.roll_with_copy);
  state.counters["album_list_s"] = g_full.albums.seconds;
  state.counters["albums"] = static_cast<double>(g_full.albums.objects);
  state.counters["peak_rss_MiB"] = g_full.peak_kib / 1024.0;
  state.counters["peak_rss_tenth_MiB"] = g_tenth.peak_kib / 1024.0;
}

void BM_SqliteProgram(benchmark::State& state) {
  MakeProfile(g_assets);
  std::string path = LibraryPath(g_assets);
  AssetColumns columns{.trashed_state = true, .favorite = true, .kind_subtype = true};
  JoinTable join{"Z_28ASSETS", "z_28albums", "Z_3ASSETS"};
  std::string album_statements;
  for (const AlbumCountSql& query : AlbumListSql("ZASSET", join, columns, true)) album_statements += query.sql + ";\n";
  for (auto _ : state) {
    g_sqlite_roll_seconds = bench::RunSqliteProgram(path, CameraRollSql("ZASSET", columns));
    g_sqlite_albums_seconds = bench::RunSqliteProgram(path, album_statements);
    state.SetIterationTime(g_sqlite_roll_seconds);
  }
  if (g_sqlite_roll_seconds < 0 || g_sqlite_albums_seconds < 0) state.SkipWithError("sqlite3 failed");
  int64_t visible = 0;
  for (int64_t i = 1; i <= g_assets; ++i) visible += i % 29 != 0 ? 1 : 0;
  state.counters["roll_photos_per_s"] = visible / g_sqlite_roll_seconds;
  state.counters["album_list_s"] = g_sqlite_albums_seconds;
}

// The module's own share: the camera roll query, its objects spooled and replayed into reports that go nowhere,
// in this process (no copy, no compression, no host).
void BM_ModuleCameraRoll(benchmark::State& state) {
  MakeProfile(g_assets);
  PhotoRequest request{LibraryPath(g_assets), "16.4.1", 0, 0};
  int64_t objects = 0;
  for (auto _ : state) {
    PhotoForms forms;
    PhotoListing listing(nullptr, nullptr);
    if (forms.Run(PhotoQuery::kCameraRoll, request, listing) != 0) state.SkipWithError("the query failed");
    ListingOptions options;
    options.batch = kPhotosPerReport;
    ListingReporter reporter("", options, [](const TaskReport& report) { benchmark::DoNotOptimize(report.data); });
    listing.Replay(reporter);
    objects = listing.count();
  }
  state.counters["roll_photos_per_s"] = benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ModuleCameraRoll)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorvaneListings)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteProgram)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest =
      bench::TakeOptions(argc, argv, {{"--photo_assets", &g_assets}, {"--photo_albums", &g_albums}});
  g_folder = bench::MakeBenchFolder("photo_bench", false);
  if (g_folder.empty()) return 1;
  int rest_count = static_cast<int>(rest.size());
  int result = bench::RunSideBySide(rest_count, rest.data(),
                                    {{"BM_CorvaneListings", "BM_SqliteProgram", "roll_photos_per_s"},
                                     {"BM_ModuleCameraRoll", "BM_SqliteProgram", "roll_photos_per_s"}});
  std::filesystem::remove_all(g_folder);
  return result;
}
