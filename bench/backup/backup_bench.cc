// Corvane's backup (1600, a real Corvane process driven by hostlink) beside Debian's idevicebackup2 backing up the
// same simulated device in the same run: 1 GiB of media (a sparse file) and 20,000 files of 4 KiB. Both write a
// full backup into a memory file system when there is one, so the disk does not set the pace.
//
// Figures per program: MiB/s and files/s of the whole backup; the computer side's processor time per GiB (user +
// system of the backing-up process only; the simulated device runs in this process and is counted for neither);
// and the peak resident memory of that process (Corvane's VmHWM over its whole life, idevicebackup2's maxrss).
// The ratios Corvane / idevicebackup2 of each are printed at the end.
//
// CORVANE_BACKUP_BENCH_MEDIA_GIB=N makes the media file N GiB (whole numbers), to see that memory does not grow
// with the size of a backup (run it with --benchmark_filter=BM_CorvaneBackup).
//
// Backup extraction beside it, on a second phone of the same size whose messages database comes early in the
// backup (before the media): the time from 1608 to the messages' report, and to its final report (the run ends
// early once every job has its files), each beside the time of a whole backup (1600) of that phone; and the
// extraction that cannot end early (it also asks for a database the phone lacks) beside the one that can.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/process_figures.h"
#include "common/quiet_program.h"
#include "common/side_by_side.h"
#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"

namespace {

using namespace std::chrono_literals;

uint64_t MediaSize() {
  static const uint64_t size = [] {
    const char* text = std::getenv("CORVANE_BACKUP_BENCH_MEDIA_GIB");
    long gib = text == nullptr ? 1 : std::atol(text);
    return static_cast<uint64_t>(gib > 0 ? gib : 1) << 30;
  }();
  return size;
}
constexpr int kSmallFiles = 20000;
constexpr uint64_t kSmallSize = 4096;
constexpr char kUdid[] = "00008110-00BE0C4AB1B2C3D5";
constexpr double kGiB = 1024.0 * 1024 * 1024;

uint64_t TotalBytes() { return MediaSize() + kSmallFiles * kSmallSize; }

devicesim::ProfileBuilder BackupPhone() {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("16.4.1")
      .AddBackupSparseFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.MOV", MediaSize())
      .AddBackupTree("HomeDomain", "Library/Caches/Small", kSmallFiles, kSmallSize, 7);
  return phone;
}

// The same backup, but its media in MediaDomain, which the device sends after HomeDomain's messages database.
devicesim::ProfileBuilder ExtractPhone() {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("16.4.1")
      .AddBackupGeneratedFile("HomeDomain", "Library/SMS/sms.db", 4 << 20, 11)
      .AddBackupSparseFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.MOV", MediaSize())
      .AddBackupTree("MediaDomain", "Media/Small", kSmallFiles, kSmallSize, 7);
  return phone;
}

struct Rig {
  std::string dir;
  devicesim::Simulator simulator;
  std::unique_ptr<e2e::CorvaneHarness> corvane;
  hostlink::Connection* host = nullptr;
  std::string error;

  explicit Rig(const devicesim::ProfileBuilder& phone) {
    dir = bench::MakeBenchFolder("corvane-backup-bench", true);
    if (!phone.Write(dir + "/phone", &error) || !simulator.AddProfile(dir + "/phone", true, &error) ||
        !simulator.Start(dir + "/mux.sock", &error)) {
      return;
    }
    setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
    corvane = bench::StartCorvane(dir, simulator.SocketAddress(), 1, &error);
    if (corvane) host = &corvane->host();
  }
  ~Rig() {
    corvane.reset();
    simulator.Stop();
    std::filesystem::remove_all(dir);
  }
};

// One rig at a time: each holds its phone's backup source and Corvane's backups in memory.
enum class Phone { kBackup, kExtract };

Rig& RigFor(Phone phone) {
  static std::unique_ptr<Rig> rig;
  static Phone current = Phone::kBackup;
  if (!rig || current != phone) {
    rig.reset();
    rig = std::make_unique<Rig>(phone == Phone::kBackup ? BackupPhone() : ExtractPhone());
    current = phone;
  }
  return *rig;
}

Rig& TheRig() { return RigFor(Phone::kBackup); }
Rig& TheExtractRig() { return RigFor(Phone::kExtract); }

void SetFigures(benchmark::State& state, double cpu_seconds, double peak_bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes()));
  state.counters["files_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * (kSmallFiles + 1)), benchmark::Counter::kIsRate);
  state.counters["cpu_s_per_GiB"] =
      cpu_seconds / (static_cast<double>(state.iterations()) * static_cast<double>(TotalBytes()) / kGiB);
  state.counters["peak_rss_MiB"] = peak_bytes / (1024.0 * 1024.0);
}

void BM_CorvaneBackup(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string root = rig.dir + "/corvane-backups";
  std::string json = std::string(R"({"uuid":")") + kUdid + R"(","path":")" + root + R"("})";
  double cpu = 0;
  uint64_t task = 1000;
  for (auto _ : state) {
    std::filesystem::remove_all(root);
    double before = bench::CpuSeconds(rig.corvane->corvane().pid());
    if (!rig.host->SendCommand(++task, 1600, json)) return state.SkipWithError("send failed");
    auto final = rig.host->WaitFor(hostlink::FinalOf(task, 1600), 600s);
    cpu += bench::CpuSeconds(rig.corvane->corvane().pid()) - before;
    rig.host->pending().clear();
    if (!final || final->code != 0) return state.SkipWithError("Corvane's backup failed");
  }
  std::filesystem::remove_all(root);
  SetFigures(state, cpu, bench::PeakResidentKiB(rig.corvane->corvane().pid()) * 1024.0);
}

void BM_Idevicebackup2Backup(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string folder = rig.dir + "/tool-backups";
  double cpu = 0, peak = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    bench::ProgramRun run = bench::RunQuietly({"idevicebackup2", "-u", kUdid, "backup", "--full", folder});
    if (!run.ok) return state.SkipWithError("idevicebackup2 failed");
    cpu += run.cpu_seconds;
    peak = std::max(peak, run.peak_bytes);
  }
  std::filesystem::remove_all(folder);
  SetFigures(state, cpu, peak);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A whole backup (1600) of the extraction phone: the anchor of the two below.
void BM_ExtractPhoneWholeBackup(benchmark::State& state) {
  Rig& rig = TheExtractRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string root = rig.dir + "/corvane-backups";
  std::string json = std::string(R"({"uuid":")") + kUdid + R"(","path":")" + root + R"("})";
  double seconds = 0;
  uint64_t task = 2000;
  for (auto _ : state) {
    std::filesystem::remove_all(root);
    auto start = std::chrono::steady_clock::now();
    if (!rig.host->SendCommand(++task, 1600, json)) return state.SkipWithError("send failed");
    auto final = rig.host->WaitFor(hostlink::FinalOf(task, 1600), 600s);
    seconds += SecondsSince(start);
    rig.host->pending().clear();
    if (!final || final->code != 0) return state.SkipWithError("Corvane's backup failed");
  }
  std::filesystem::remove_all(root);
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
}

// 1608 for the messages database: "seconds" until its report, "final_seconds" until the command's end.
void BM_ExtractMessages(benchmark::State& state) {
  Rig& rig = TheExtractRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string json = std::string(R"({"uuid":")") + kUdid + R"(","info":{"types":[1]}})";
  double to_report = 0, to_final = 0;
  uint64_t task = 3000;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    uint64_t id = ++task;
    if (!rig.host->SendCommand(id, 1608, json)) return state.SkipWithError("send failed");
    auto report = rig.host->WaitFor([id](const hostlink::Report& r) { return r.task_id == id && r.stage == 2; }, 600s);
    to_report += SecondsSince(start);
    auto final = rig.host->WaitFor(hostlink::FinalOf(id, 1608), 600s);
    to_final += SecondsSince(start);
    rig.host->pending().clear();
    if (!report || !final || final->code != 0) return state.SkipWithError("Corvane's extraction failed");
  }
  state.counters["seconds"] = to_report / static_cast<double>(state.iterations());
  state.counters["final_seconds"] = to_final / static_cast<double>(state.iterations());
}

// The extraction's end, under the counter the ratios need. With only the messages asked for, the run ends early;
// with the contacts too (which this phone does not have), it goes to the end of the backup: the difference is
// what ending early saves.
void ExtractToTheEnd(benchmark::State& state, const char* types) {
  Rig& rig = TheExtractRig();
  if (!rig.host) return state.SkipWithError(rig.error.c_str());
  std::string json = std::string(R"({"uuid":")") + kUdid + R"(","info":{"types":)" + types + "}}";
  double seconds = 0;
  uint64_t task = 4000;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    uint64_t id = ++task;
    if (!rig.host->SendCommand(id, 1608, json)) return state.SkipWithError("send failed");
    auto final = rig.host->WaitFor(hostlink::FinalOf(id, 1608), 600s);
    seconds += SecondsSince(start);
    rig.host->pending().clear();
    if (!final || final->code != 0) return state.SkipWithError("Corvane's extraction failed");
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
}

BENCHMARK(BM_CorvaneBackup)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Idevicebackup2Backup)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractPhoneWholeBackup)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractMessages)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
void BM_ExtractEnd(benchmark::State& state) { ExtractToTheEnd(state, "[1]"); }
void BM_ExtractWithoutEarlyEnd(benchmark::State& state) { ExtractToTheEnd(state, "[1,2]"); }

BENCHMARK(BM_ExtractEnd)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractWithoutEarlyEnd)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv,
                              {{"BM_CorvaneBackup", "BM_Idevicebackup2Backup", "bytes_per_second"},
                               {"BM_CorvaneBackup", "BM_Idevicebackup2Backup", "files_per_second"},
                               {"BM_CorvaneBackup", "BM_Idevicebackup2Backup", "cpu_s_per_GiB"},
                               {"BM_CorvaneBackup", "BM_Idevicebackup2Backup", "peak_rss_MiB"},
                               {"BM_ExtractMessages", "BM_ExtractPhoneWholeBackup", "seconds"},
                               {"BM_ExtractEnd", "BM_ExtractPhoneWholeBackup", "seconds"},
                               {"BM_ExtractEnd", "BM_ExtractWithoutEarlyEnd", "seconds"},
                               {"BM_ExtractWithoutEarlyEnd", "BM_ExtractPhoneWholeBackup", "seconds"}});
}
