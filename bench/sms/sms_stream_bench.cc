// Streams a generated message database (1,000,000 messages in 20,000 conversations unless told otherwise) through
// the real Corvane process to a host, and runs the sqlite3 program on the same database with the same two
// statements, output to /dev/null. Prints messages per second end to end, Corvane's peak resident memory (also for
// a database a tenth the size, to show what grows with the messages), and the ratio to sqlite3.
//
// --baseline_corvane=PATH streams the same databases through that executable too (a build of an earlier commit),
// under "/today", so that before and after are measured side by side in one run.
//
//   sms_stream_bench [--sms_messages=N] [--sms_conversations=N] [--baseline_corvane=PATH] [benchmark flags]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/bench_options.h"
#include "common/corvane_start.h"
#include "common/process_figures.h"
#include "common/side_by_side.h"
#include "common/sqlite_program.h"
#include "hostlink/connection.h"
#include "utility/module/sms/sms_conversations.h"
#include "support/sms/sms_test_databases.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int64_t g_messages = 1000000;
int64_t g_conversations = 20000;
std::string g_folder;
std::string g_baseline_corvane;

struct StreamRun {
  bool ok = false;
  double seconds = 0;
  int64_t messages = 0;
  int64_t conversations = 0;
  int64_t peak_kib = 0;
  double corvane_cpu_seconds = 0;  // user and system time of the whole Corvane process
  double first_message_seconds = 0;
};
std::map<std::string, StreamRun> g_full, g_tenth;  // by Corvane: "now", and "today" with a baseline
double g_sqlite_seconds = 0;

std::string MakeDatabase(int64_t messages, int64_t conversations) {
  std::string path = g_folder + "/sms-" + std::to_string(messages) + ".db";
  if (std::filesystem::exists(path)) return path;
  std::string error;
  auto start = Clock::now();
  if (!sms_test::CreateDatabase(path, std::string(sms_test::kChatLayoutSchema) +
                                          sms_test::SyntheticChatsSql(messages, conversations),
                                &error)) {
    std::fprintf(stderr, "cannot generate %s: %s\n", path.c_str(), error.c_str());
    return std::string();
  }
  std::fprintf(stderr, "generated %lld messages in %lld conversations in %.1f s (%.0f MiB)\n",
               static_cast<long long>(messages), static_cast<long long>(conversations),
               std::chrono::duration<double>(Clock::now() - start).count(),
               std::filesystem::file_size(path) / 1048576.0);
  return path;
}

// Starts Corvane, sends the command for `path` and reads every report until the final one.
StreamRun StreamThroughCorvane(const std::string& path, const std::string& program) {
  StreamRun run;
  std::string error;
  std::unique_ptr<e2e::CorvaneHarness> corvane = bench::StartCorvane(g_folder, "", 0, &error, program);
  if (!corvane) return run;
  hostlink::Connection* host = &corvane->host();

  std::string command = R"({"uuid":"","info":{"sms_db_path":")" + path + R"("}})";
  auto start = Clock::now();
  if (!host->SendCommand(7, 201, command)) return run;
  for (;;) {
    std::optional<hostlink::Report> report = host->ReadReport(120s);
    if (!report) return run;
    if (report->task_id != 7) continue;
    if (report->is_final()) {
      run.ok = report->code == 0;
      break;
    }
    if (report->stage == 3 && run.messages == 0) {
      run.first_message_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    run.messages += report->stage == 3 ? 1 : 0;
    run.conversations += report->stage == 2 ? 1 : 0;
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.peak_kib = bench::PeakResidentKiB(corvane->corvane().pid());
  run.corvane_cpu_seconds = bench::CpuSeconds(corvane->corvane().pid());
  return run;
}

void StreamToHost(benchmark::State& state, std::string helper, std::string program) {
  std::string path = MakeDatabase(g_messages, g_conversations);
  std::string tenth = MakeDatabase(g_messages / 10, g_conversations);
  StreamRun& full = g_full[helper];
  for (auto _ : state) {
    g_tenth[helper] = StreamThroughCorvane(tenth, program);
    full = StreamThroughCorvane(path, program);
    state.SetIterationTime(full.seconds);
  }
  if (!full.ok || full.messages != g_messages) state.SkipWithError("the stream did not complete");
  state.counters["messages_per_s"] = full.messages / full.seconds;
  state.counters["cpu_us_per_message"] = 1e6 * full.corvane_cpu_seconds / static_cast<double>(full.messages);
  state.counters["peak_rss_MiB"] = full.peak_kib / 1024.0;
  state.counters["peak_rss_tenth_MiB"] = g_tenth[helper].peak_kib / 1024.0;
}

void BM_SqliteProgram(benchmark::State& state) {
  std::string path = MakeDatabase(g_messages, g_conversations);
  for (auto _ : state) {
    g_sqlite_seconds =
        bench::RunSqliteProgram(path, std::string(kSmsChatMessagesSql) + ";\n" + kSmsChatHandlesSql + ";\n");
    state.SetIterationTime(g_sqlite_seconds);
  }
  if (g_sqlite_seconds < 0) state.SkipWithError("sqlite3 failed");
  state.counters["messages_per_s"] = g_messages / g_sqlite_seconds;
}

BENCHMARK(BM_SqliteProgram)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest = bench::TakeOptions(argc, argv,
                                               {{"--baseline_corvane", nullptr, &g_baseline_corvane},
                                                {"--sms_messages", &g_messages},
                                                {"--sms_conversations", &g_conversations}});
  int rest_count = static_cast<int>(rest.size());
  g_folder = bench::MakeBenchFolder("sms-bench", false);
  benchmark::RegisterBenchmark("StreamToHost/now", StreamToHost, "now", "")
      ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  if (!g_baseline_corvane.empty()) {
    benchmark::RegisterBenchmark("StreamToHost/today", StreamToHost, "today", g_baseline_corvane)
        ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  bench::RunSideBySide(rest_count, rest.data(),
                       {{"StreamToHost/now", "StreamToHost/today", "messages_per_s"},
                        {"StreamToHost/now", "StreamToHost/today", "cpu_us_per_message"},
                        {"StreamToHost/now", "BM_SqliteProgram", "messages_per_s"}});
  for (const auto& [helper, full] : g_full) {
    if (!full.ok || g_sqlite_seconds <= 0) continue;
    std::printf("\nCorvane (%s)\n", helper.c_str());
    std::printf("messages: %lld in %lld conversations\n", static_cast<long long>(full.messages),
                static_cast<long long>(full.conversations));
    std::printf("Corvane end to end: %.2f s, %.0f messages/s (goal 100000), peak RSS %.1f MiB (%.1f MiB at a tenth)\n",
                full.seconds, full.messages / full.seconds, full.peak_kib / 1024.0, g_tenth[helper].peak_kib / 1024.0);
    std::printf("  first message after %.2f s; Corvane used %.2f s of CPU\n", full.first_message_seconds,
                full.corvane_cpu_seconds);
    std::printf("sqlite3 program, same statements to /dev/null: %.2f s, %.0f messages/s\n", g_sqlite_seconds,
                g_messages / g_sqlite_seconds);
    std::printf("ratio Corvane / sqlite3 time: %.2f\n", full.seconds / g_sqlite_seconds);
  }
  std::error_code error;
  std::filesystem::remove_all(g_folder, error);
  return 0;
}
