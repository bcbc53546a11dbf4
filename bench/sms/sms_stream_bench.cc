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
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/side_by_side.h"
#include "hostlink/connection.h"
#include "hostlink/corvane_process.h"
#include "hostlink/listener.h"
#include "utility/module/sms/sms_conversations.h"
#include "support/sms/sms_test_databases.h"
#include "support/sms/sms_test_support.h"

extern char** environ;

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

int64_t PeakResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

double CpuSeconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t end_of_name = content.rfind(')');
  if (end_of_name == std::string::npos) return -1;
  std::istringstream fields(content.substr(end_of_name + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoll(field);
    if (i == 15) stime = std::stoll(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Starts Corvane, sends the command for `path` and reads every report until the final one.
StreamRun StreamThroughCorvane(const std::string& path, const std::string& program) {
  StreamRun run;
  hostlink::HostListener listener;
  if (!listener.Listen(0)) return run;
  hostlink::StartParams params = hostlink::StartParams::ForListener(listener.port());
  params.open_log = 0;
  hostlink::CorvaneOptions options;
  options.program = program;
  options.env.push_back({"TMPDIR", g_folder});
  options.env.push_back({"USBMUXD_SOCKET_ADDRESS", "UNIX:" + g_folder + "/no-usbmuxd"});
  options.stdout_path = g_folder + "/corvane.out";
  options.stderr_path = g_folder + "/corvane.out";
  hostlink::CorvaneProcess corvane;
  if (!corvane.Start(params, options)) return run;
  std::unique_ptr<hostlink::Connection> host = listener.Accept(15s);
  if (!host || !host->WaitFor(hostlink::OfType(19), 15s)) return run;
  host->pending().clear();

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
  run.peak_kib = PeakResidentKiB(corvane.pid());
  run.corvane_cpu_seconds = CpuSeconds(corvane.pid());
  corvane.Stop(2s);
  return run;
}

// The sqlite3 program with the same two statements, output to /dev/null.
double RunSqliteProgram(const std::string& path) {
  std::string statements = std::string(kSmsChatMessagesSql) + ";\n" + kSmsChatHandlesSql + ";\n";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv = {const_cast<char*>("sqlite3"), const_cast<char*>("-batch"),
                             const_cast<char*>(path.c_str()), const_cast<char*>(statements.c_str()), nullptr};
  auto start = Clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, "sqlite3", &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
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
    g_sqlite_seconds = RunSqliteProgram(path);
    state.SetIterationTime(g_sqlite_seconds);
  }
  if (g_sqlite_seconds < 0) state.SkipWithError("sqlite3 failed");
  state.counters["messages_per_s"] = g_messages / g_sqlite_seconds;
}

BENCHMARK(BM_SqliteProgram)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

bool TakeFlag(const char* arg, const char* name, int64_t* value) {
  size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0 || arg[length] != '=') return false;
  *value = std::stoll(arg + length + 1);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], "--baseline_corvane=", 19) == 0) {
      g_baseline_corvane = argv[i] + 19;
      continue;
    }
    if (i > 0 && (TakeFlag(argv[i], "--sms_messages", &g_messages) ||
                  TakeFlag(argv[i], "--sms_conversations", &g_conversations))) {
      continue;
    }
    rest.push_back(argv[i]);
  }
  int rest_count = static_cast<int>(rest.size());
  g_folder = sms_test::MakeTempFolder("sms-bench");
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
